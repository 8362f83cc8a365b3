// Simulated recordings through the real converter: a clean recording converts
// with no warning besides the time-counter roll-overs, gaps and damage give
// exactly the warnings they call for.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "support/test_support.h"
#include "tools/recording_scan.h"

namespace {

using testsupport::RunResult;
using testsupport::TempDir;

// Warning and error lines of a conversion, sorted by what caused them.
struct Conversion {
  RunResult run;
  std::map<std::string, int> lines;
  std::vector<std::string> unexpected;
  std::vector<std::string> files;
  nlohmann::json report;  // the run's -jsonReport
};

const struct {
  const char* kind;
  const char* start;
} kLineKinds[] = {
    {"rollover", "# WARNING: ---------------------"},
    {"rollover", "# WARNING: HUX, PELG Packet "},
    {"rollover", "# WARNING: TIV, PELG Packet "},
    {"rollover", "# WARNING: Interrupt max: "},
    {"rollover", "# WARNING: This will be treated as a wrap around event"},
    {"header", "# WARNING: file index "},  // checked further below
    {"search start", "# WARNING: PELG Error mode, looking for new pelg packet, start pos: "},
    {"search end", "# WARNING: PELG Error mode, found new pelg packet, at pos: "},
    {"cut", "# ERROR: PELG Packet not enough data left to read length"},
    {"no audio", "# WARNING: No audio samples found, disabling .wav file writing"},
};

std::string kindOf(const std::string& line) {
  if (line.find(", WAV, Filling ") != std::string::npos && line.rfind("# WARNING: Packet ", 0) == 0) return "wav fill";
  if (line.find(" missing samples for field ") != std::string::npos && line.rfind("# WARNING: Packet ", 0) == 0)
    return "fill";
  if (line.rfind("# WARNING: file index ", 0) == 0) {
    if (line.find(", HUX2 Packet CRC invalid") != std::string::npos) return "crc";
    if (line.find(", PELG Packet's ID is invalid") != std::string::npos) return "header";
    return "";
  }
  if (line.rfind("# WARNING: HUX, PELG Packet ", 0) == 0 || line.rfind("# WARNING: TIV, PELG Packet ", 0) == 0)
    return line.find(", Break detected in timestamps, previous timeElapsed went from ") != std::string::npos
               ? "rollover"
               : "";
  for (const auto& k : kLineKinds)
    if (line.rfind(k.start, 0) == 0) return k.kind;
  return "";
}

std::vector<std::string> pelgFiles(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".pelg") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

Conversion simulateAndConvert(const TempDir& dir, std::vector<std::string> simArgs,
                              const std::vector<std::string>& convertArgs = {}) {
  const std::string recording = dir.file("recording"), out = dir.file("out");
  std::filesystem::create_directories(out);
  simArgs.insert(simArgs.begin(), {PELGSIM_BIN, "-q", "-o", recording});
  const RunResult sim = testsupport::runProgram(simArgs);
  EXPECT_EQ(sim.status, 0) << sim.err;

  Conversion c;
  c.files = pelgFiles(recording);
  std::vector<std::string> args = {"-outputdir", out + "/", "-jsonReport", out + "/report.json"};
  args.insert(args.end(), convertArgs.begin(), convertArgs.end());
  args.insert(args.end(), c.files.begin(), c.files.end());
  c.run = testsupport::runPelgToMatlab(args);
  c.report = testsupport::readJson(out + "/report.json");
  std::istringstream lines(c.run.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("# WARNING", 0) != 0 && line.rfind("# ERROR", 0) != 0) continue;
    const std::string kind = kindOf(line);
    if (kind.empty())
      c.unexpected.push_back(line);
    else
      ++c.lines[kind];
  }
  return c;
}

int count(const Conversion& c, const std::string& kind) {
  const auto it = c.lines.find(kind);
  return it == c.lines.end() ? 0 : it->second;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

// Rows of the final summary report: "+0   (100.0000%)" when the found
// samples equal the expected ones.
std::vector<std::string> finalSummaryRows(const std::string& out) {
  const size_t at = out.rfind("# INFO: Summary:");
  std::vector<std::string> rows;
  std::istringstream lines(at == std::string::npos ? "" : out.substr(at));
  for (std::string line; std::getline(lines, line);)
    if (line.find("Hz ") != std::string::npos && line.find("%)") != std::string::npos) rows.push_back(line);
  return rows;
}

// The report against the console and the folder: the status, each channel's
// expected and found samples as the last summary gives them, the WARNING
// lines of the write pass and outside the passes, the outputs' sizes.
void expectReportAsConsole(const Conversion& c, const TempDir& dir) {
  ASSERT_TRUE(c.report.is_object());
  EXPECT_EQ(c.report["version"], 1);
  EXPECT_EQ(c.report["status"], c.run.status);
  const std::vector<std::string> rows = finalSummaryRows(c.run.out);
  ASSERT_EQ(c.report["channels"].size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const nlohmann::json& channel = c.report["channels"][i];
    std::istringstream row(rows[i].substr(std::string("# INFO: ").size()));
    std::string name, rate;
    int64_t expected = 0, found = 0;
    row >> name >> rate >> expected >> found;
    EXPECT_EQ(channel["name"], name);
    EXPECT_EQ(channel["expected"], expected) << name;
    EXPECT_EQ(channel["found"], found) << name;
  }
  // The write pass repeats the scan pass's lines, which the report leaves out.
  const size_t scan = c.run.out.find("# INFO: Parsing files"), write = c.run.out.find("# INFO: Creating output files");
  const std::string counted = c.run.out.substr(0, scan) + c.run.out.substr(write);
  int64_t warnings = 0;
  for (const auto& [kind, n] : c.report["warnings"].items()) warnings += n.get<int64_t>();
  size_t lines = 0;
  for (size_t at = counted.find("# WARNING"); at != std::string::npos; at = counted.find("# WARNING", at + 1)) ++lines;
  EXPECT_EQ(warnings, static_cast<int64_t>(lines));
  for (const nlohmann::json& output : c.report["outputs"]) {
    const std::string path = dir.file("out/" + output["name"].get<std::string>());
    EXPECT_EQ(output["bytes"], static_cast<int64_t>(std::filesystem::file_size(path))) << path;
  }
}

// Five minutes in two files with TIV and GPS; the time counter rolls over
// once, 60 s in.
TEST(PelgsimConversion, CleanRecordingConvertsWithOnlyRolloverWarnings) {
  TempDir dir;
  const Conversion c =
      simulateAndConvert(dir, {"--duration", "300", "--files", "2", "--time-counter", "250", "--tiv", "--sirf"});
  ASSERT_EQ(c.run.status, 0) << c.run.out;
  EXPECT_TRUE(c.unexpected.empty()) << joined(c.unexpected);
  // Four lines per roll-over, for each board, in the scan and the write pass.
  EXPECT_EQ(count(c, "rollover"), 4 * 2 * 2);
  EXPECT_EQ(c.lines.size(), 1u);

  const auto rows = finalSummaryRows(c.run.out);
  EXPECT_EQ(rows.size(), 13u + 9u);
  for (const std::string& row : rows) EXPECT_NE(row.find("      +0   (100.0000%)"), std::string::npos) << row;

  EXPECT_EQ(testsupport::wavFrames(dir.file("out/completeSensorAudio.wav")), 300 * 8000);
  EXPECT_TRUE(testsupport::fileExists(dir.file("out/dataOut.mat")));
  EXPECT_TRUE(testsupport::fileExists(dir.file("out/completeData.mat")));
  int sirfPackets = 0;
  for (const std::string& f : c.files) sirfPackets += simtest::scanRecording(f).sirfPackets;
  EXPECT_EQ(sirfPackets, 300);
  EXPECT_EQ(testsupport::readFile(dir.file("out/sirfGPSOutput.bin")).size(), 300u * 49u);
  expectReportAsConsole(c, dir);
  EXPECT_EQ(c.report["rollovers"]["plain"], 1);
  std::vector<std::string> outputs;
  for (const nlohmann::json& o : c.report["outputs"]) outputs.push_back(o["name"].get<std::string>() + " " +
                                                                       o["format"].get<std::string>());
  EXPECT_EQ(outputs, (std::vector<std::string>{"completeSensorAudio.wav WAV", "dataOut.mat MAT v5",
                                               "completeData.mat MAT v5", "sirfGPSOutput.bin binary"}));
}

// Without microphone and accelerometer, a single file that starts at time
// counter 255: the roll-over comes 10 s in.
TEST(PelgsimConversion, RecordingWithoutAudioConvertsCleanly) {
  TempDir dir;
  const Conversion c = simulateAndConvert(dir, {"--duration", "40", "--mic-hz", "0", "--accel-rate", "0",
                                                "--time-counter", "255", "--intr", "1000"});
  ASSERT_EQ(c.run.status, 0) << c.run.out;
  EXPECT_TRUE(c.unexpected.empty()) << joined(c.unexpected);
  EXPECT_EQ(count(c, "rollover"), 4 * 2);
  EXPECT_EQ(count(c, "no audio"), 1);
  EXPECT_FALSE(testsupport::fileExists(dir.file("out/completeSensorAudio.wav")));
}

// Three gaps: two inside the files and the pause between them.
TEST(PelgsimConversion, GapsGiveOneFillWarningPerChannelAndGap) {
  TempDir dir;
  const Conversion c = simulateAndConvert(dir, {"--duration", "400", "--files", "2", "--file-gap", "20", "--gaps",
                                                "2", "--gap-length", "15", "--time-counter", "250", "--tiv"});
  ASSERT_EQ(c.run.status, 0) << c.run.out;
  EXPECT_TRUE(c.unexpected.empty()) << joined(c.unexpected);
  EXPECT_EQ(count(c, "rollover"), 4 * 2 * 2);
  // completeData: 12 HUX2 and 9 TIV channels (x/y/z columns counted apart).
  EXPECT_EQ(count(c, "fill"), 3 * (12 + 9));
  EXPECT_EQ(count(c, "wav fill"), 3);
  // The WAV file spans the whole recording, gaps as silence.
  EXPECT_NEAR(static_cast<double>(testsupport::wavFrames(dir.file("out/completeSensorAudio.wav"))), 400.0 * 8000.0, 3.0);
  expectReportAsConsole(c, dir);
  // The report's gaps as pelgsim laid them out: one gap in each file, the
  // pause between them, in time order.
  std::vector<std::string> gaps;
  for (const nlohmann::json& g : c.report["gaps"]) {
    gaps.push_back(g["kind"].get<std::string>() + " " + std::to_string(g["file"].get<int>()));
    EXPECT_NEAR(g["seconds"].get<double>(), g["kind"] == "gap" ? 15.0 : 20.0, 0.1);
    EXPECT_TRUE(g["filled"].get<bool>());
  }
  std::sort(gaps.begin(), gaps.end());
  EXPECT_EQ(gaps, (std::vector<std::string>{"gap 0", "gap 1", "pause 1"}));
  const nlohmann::json& rollovers = c.report["rollovers"];
  EXPECT_EQ(rollovers["plain"].get<int>() + rollovers["bridged"].get<int>(), 1);
}

TEST(PelgsimConversion, DamageGivesExactlyItsWarnings) {
  TempDir dir;
  const Conversion c = simulateAndConvert(dir, {"--duration", "300", "--files", "3", "--time-counter", "250",
                                                "--tiv", "--sirf", "--stray-bytes", "3", "--bad-checksums", "2",
                                                "--cut-last"});
  ASSERT_EQ(c.run.status, 0) << c.run.out;
  EXPECT_TRUE(c.unexpected.empty()) << joined(c.unexpected);
  EXPECT_EQ(count(c, "rollover"), 4 * 2 * 2);
  // Each in the scan pass and in the write pass.
  EXPECT_EQ(count(c, "header"), 3 * 2);
  EXPECT_EQ(count(c, "search start"), 3 * 2);
  EXPECT_EQ(count(c, "search end"), 3 * 2);
  EXPECT_EQ(count(c, "crc"), 2 * 2);
  EXPECT_EQ(count(c, "cut"), 2);
  // The samples of each rejected audio message are filled with silence.
  EXPECT_EQ(count(c, "wav fill"), 2);
  EXPECT_EQ(count(c, "fill"), 0);
  expectReportAsConsole(c, dir);
  // Every damage pelgsim put in, file by file as the report counts it.
  std::map<std::string, int64_t> events;
  for (const nlohmann::json& file : c.report["files"])
    for (const auto& [kind, n] : file["damage"].items()) events[kind] += n["events"].get<int64_t>();
  EXPECT_EQ(events, (std::map<std::string, int64_t>{{"badChecksum", 2}, {"clockJump", 0}, {"duplicatedSector", 0},
                                                     {"foreignStretch", 0}, {"skippedBytes", 3},
                                                     {"timestampOutlier", 0}, {"truncatedPacket", 1}}));
}

// A run that fails still leaves its report: the status and the ERROR lines,
// no outputs.
TEST(PelgsimConversion, FailedRunReportsItsStatusAndErrors) {
  TempDir dir;
  const Conversion c = simulateAndConvert(dir, {"--duration", "90", "--files", "2", "--file-gap", "30"},
                                          {"-maxGap_sec", "10"});
  EXPECT_EQ(c.run.status, -16);
  ASSERT_TRUE(c.report.is_object());
  EXPECT_EQ(c.report["status"], -16);
  std::vector<std::string> errors;
  std::istringstream lines(c.run.out);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("# ERROR: ", 0) == 0) errors.push_back(line.substr(9));
  EXPECT_EQ(c.report["errors"].get<std::vector<std::string>>(), errors);
  EXPECT_EQ(errors.size(), 4u);
  EXPECT_TRUE(c.report["outputs"].empty());
  EXPECT_FALSE(testsupport::fileExists(dir.file("out/dataOut.mat")));
}

}  // namespace
