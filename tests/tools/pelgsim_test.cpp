// The recording simulator: command line, determinism, the sample totals its
// schedule implies, its time line (files, gaps, roll-overs, timestamps) and
// the damage it makes on request.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "tools/recording_scan.h"

namespace {

using testsupport::RunResult;
using testsupport::TempDir;

RunResult runSim(const std::string& outDir, std::vector<std::string> args) {
  args.insert(args.begin(), {PELGSIM_BIN, "-o", outDir, "-q"});
  return testsupport::runProgram(args);
}

std::vector<std::string> pelgFiles(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".pelg") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<simtest::RecordingScan> simulate(const TempDir& dir, const std::vector<std::string>& args) {
  const RunResult r = runSim(dir.path(), args);
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<simtest::RecordingScan> scans;
  for (const std::string& f : pelgFiles(dir.path())) scans.push_back(simtest::scanRecording(f));
  return scans;
}

int64_t total(const std::vector<simtest::RecordingScan>& scans, const std::string& sensor) {
  int64_t sum = 0;
  for (const auto& s : scans) {
    const auto it = s.readings.find(sensor);
    if (it != s.readings.end()) sum += it->second;
  }
  return sum;
}

TEST(PelgsimCommandLine, HelpBadOptionsAndImpossiblePlans) {
  TempDir dir;
  const RunResult help = testsupport::runProgram({PELGSIM_BIN, "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: pelgsim [options]"), std::string::npos);
  EXPECT_NE(help.out.find("--bad-checksums N"), std::string::npos);

  const struct {
    std::vector<std::string> args;
    std::string message;
  } refused[] = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--seed"}, "option --seed needs a value"},
      {{"--duration", "ten"}, "bad value 'ten' for --duration"},
      {{"--time-counter", "256"}, "bad value '256' for --time-counter"},
      {{"--start", "2024-13-01T00:00:00"}, "bad value '2024-13-01T00:00:00' for --start"},
      {{"--gaps", "1", "--gap-length", "0"}, "--gap-length must be above 0 s"},
      {{"--time-counter", "5", "--rollover-at", "30"}, "--time-counter and --rollover-at both set"},
      {{"--duration", "60", "--gap-at", "500"}, "--gap-at 500 s lies outside the files"},
      {{"--duration", "60", "--files", "4"}, "the duration is too short for 4 files"},
      {{"--duration", "60", "--gaps", "3", "--gap-length", "20"}, "3 gaps of 20 s do not fit"},
      {{"--accel-rate", "6000"}, "--accel-rate is above the interrupt rate"},
      {{"--intr", "1000", "--mic-hz", "8000"}, "--mic-hz is too high"},
  };
  for (const auto& c : refused) {
    const RunResult r = runSim(dir.path(), c.args);
    EXPECT_EQ(r.status, 2) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_TRUE(pelgFiles(dir.path()).empty());
}

TEST(PelgsimCommandLine, SummaryLineNamesWhatWasWritten) {
  TempDir dir;
  const RunResult r = testsupport::runProgram({PELGSIM_BIN, "-o", dir.path(), "--duration", "30", "--time-counter",
                                               "254", "--tiv", "--start", "2024-05-01T12:00:00Z"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("pelgsim: wrote 1 file (" + dir.path() + "/recording_001.pelg), ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("30 s from 2024-05-01 12:00:00 UTC"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("0 gaps, 1 time-counter roll-over, TIV in "), std::string::npos) << r.out;
}

TEST(PelgsimOutput, SameSeedGivesTheSameBytes) {
  const std::vector<std::string> args = {"--duration", "90",       "--files", "2",          "--tiv",
                                         "--sirf",     "--gaps",    "1",       "--gap-length", "10",
                                         "--stray-bytes", "2",      "--bad-checksums", "1", "--cut-last"};
  TempDir a, b, c;
  ASSERT_EQ(runSim(a.path(), [&] { auto v = args; v.insert(v.end(), {"--seed", "7"}); return v; }()).status, 0);
  ASSERT_EQ(runSim(b.path(), [&] { auto v = args; v.insert(v.end(), {"--seed", "7"}); return v; }()).status, 0);
  ASSERT_EQ(runSim(c.path(), [&] { auto v = args; v.insert(v.end(), {"--seed", "8"}); return v; }()).status, 0);
  const auto filesA = pelgFiles(a.path()), filesB = pelgFiles(b.path()), filesC = pelgFiles(c.path());
  ASSERT_EQ(filesA.size(), 2u);
  ASSERT_EQ(filesB.size(), 2u);
  ASSERT_EQ(filesC.size(), 2u);
  for (size_t i = 0; i < filesA.size(); ++i) {
    const std::string bytesA = testsupport::readFile(filesA[i]);
    EXPECT_GT(bytesA.size(), 100000u);
    EXPECT_TRUE(bytesA == testsupport::readFile(filesB[i])) << filesA[i];
    EXPECT_FALSE(bytesA == testsupport::readFile(filesC[i])) << filesC[i];
  }
}

// A gap-free single file of d seconds covers T = d * M / 10 interrupts; a
// channel of rate r (tenths of a hertz) then holds floor(r * T / M) readings.
TEST(PelgsimOutput, SampleTotalsFollowTheSchedule) {
  const struct {
    std::vector<std::string> args;
    int64_t interrupts, m;
    int64_t mic, accel, baro, compass, hfLight, light, humidity, gyro, mag;
  } cases[] = {
      {{"--duration", "60"}, 30720, 5120, 80000, 1000, 100, 100, 100, 100, 100, 0, 0},
      {{"--duration", "60", "--tiv"}, 30720, 5120, 80000, 1000, 100, 100, 100, 100, 100, 1000, 100},
      {{"--duration", "61", "--intr", "1000", "--mic-hz", "4000", "--accel-rate", "333", "--baro-rate", "70",
        "--compass-rate", "10", "--hf-light-rate", "1000", "--light-rate", "25", "--humidity-rate", "1", "--tiv",
        "--gyro-rate", "999", "--mag-rate", "3"},
       6100, 1000, 40000, 333, 70, 10, 1000, 25, 1, 999, 3},
      {{"--duration", "45", "--mic-hz", "0", "--accel-rate", "0", "--time-counter", "255"},
       23040, 5120, 0, 0, 100, 100, 100, 100, 100, 0, 0},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const auto scans = simulate(dir, c.args);
    ASSERT_EQ(scans.size(), 1u);
    const auto& s = scans[0];
    const auto expected = [&](int64_t rate) { return rate * c.interrupts / c.m; };
    SCOPED_TRACE(c.args[1] + (c.args.size() > 2 ? " " + c.args[2] : ""));
    EXPECT_EQ(s.interruptRate, c.m);
    EXPECT_EQ(total(scans, "audio"), expected(c.mic));
    EXPECT_EQ(total(scans, "accel"), expected(c.accel));
    EXPECT_EQ(total(scans, "baro_temp"), expected(c.baro));
    EXPECT_EQ(total(scans, "baro_press"), expected(c.baro));
    EXPECT_EQ(total(scans, "compass"), expected(c.compass));
    EXPECT_EQ(total(scans, "hf_light"), expected(c.hfLight));
    EXPECT_EQ(total(scans, "vis_light"), expected(c.light));
    EXPECT_EQ(total(scans, "ir_light"), expected(c.light));
    EXPECT_EQ(total(scans, "sht_temp"), expected(c.humidity));
    EXPECT_EQ(total(scans, "humidity"), expected(c.humidity));
    EXPECT_EQ(total(scans, "gyro"), expected(c.gyro));
    EXPECT_EQ(total(scans, "mag"), expected(c.mag));
    // The board's counters cover the whole recording: first to last message.
    EXPECT_EQ(s.hux.span, c.interrupts - 1);
    EXPECT_EQ(s.hux.backwardSteps, 0);
    EXPECT_EQ(s.badChecksums, 0);
    EXPECT_EQ(s.strayRuns, 0);
    EXPECT_FALSE(s.cutShort);
  }
}

// Ten minutes in two files with a 30 s pause between them, two 15 s gaps and a
// roll-over of the time counter one minute in; the logger's clock is the
// boards' exactly, or runs 40 ppm fast and stamps packets in batches every
// 30 ms (up to 60 ms late).
TEST(PelgsimOutput, FilesGapsRolloversAndTimestamps) {
  const struct {
    const char* name;
    std::vector<std::string> clock;
    double rate;      // the logger's milliseconds per board millisecond
    uint32_t lateMs;  // how late a stamp may be
  } clocks[] = {{"exact clocks", {"--exact-clocks"}, 1.0, 0},
                {"drift and batches", {"--clock-drift", "40", "--stamp-batch", "30"}, 1.00004, 60}};
  for (const auto& clock : clocks) {
    SCOPED_TRACE(clock.name);
    TempDir dir;
    std::vector<std::string> args = {"--duration", "600", "--files", "2", "--file-gap", "30", "--gaps", "2",
                                     "--gap-length", "15", "--time-counter", "250", "--tiv", "--sirf", "--start",
                                     "1700000000000"};
    args.insert(args.end(), clock.clock.begin(), clock.clock.end());
    const auto scans = simulate(dir, args);
    ASSERT_EQ(scans.size(), 2u);
    const int64_t m = 5120;
    EXPECT_EQ(scans[0].startMs, 1700000000000u);
    EXPECT_EQ(scans[0].hux.firstTimeCounter, 250);
    EXPECT_EQ(scans[0].hux.firstInterruptCounter, 0);

    int rollovers = 0, longSteps = 0;
    double recordedSeconds = 0;
    for (const auto& s : scans) {
      EXPECT_TRUE(s.hasTiv);
      EXPECT_LT(s.firstTimestamp, 20u + clock.lateMs);  // the first packet comes with the first readings
      EXPECT_TRUE(s.timestampsMonotonic);
      EXPECT_LE(s.largestTimestampStep, 100000u);
      EXPECT_EQ(s.hux.backwardSteps, 0);
      EXPECT_EQ(s.tiv.backwardSteps, 0);
      EXPECT_EQ(s.tiv.rollovers, s.hux.rollovers);
      rollovers += s.hux.rollovers;
      longSteps += s.hux.longSteps;
      recordedSeconds += static_cast<double>(s.hux.span + 1) * 10.0 / m;
      // Timestamps are milliseconds since the file's start.
      EXPECT_NEAR(s.lastTimestamp - s.firstTimestamp, (s.hux.span * 10000.0) / m * clock.rate,
                  10.0 + clock.lateMs);
    }
    EXPECT_EQ(rollovers, 1);
    EXPECT_EQ(longSteps, 2);
    // The second file starts where the first ended plus the pause.
    const double firstFileMs = (scans[0].hux.span + 1) * 10000.0 / m;
    EXPECT_NEAR(static_cast<double>(scans[1].startMs - scans[0].startMs), (firstFileMs + 30000.0) * clock.rate,
                2.0);
    // Both files together cover the ten minutes less the pause.
    EXPECT_NEAR(recordedSeconds, 570.0, 0.01);
    // Readings follow the time actually recorded: 540 s without the gaps.
    EXPECT_NEAR(static_cast<double>(total(scans, "accel")), 54000.0, 3.0);
    EXPECT_NEAR(static_cast<double>(total(scans, "audio")), 540.0 * 8000.0, 3.0);
    EXPECT_NEAR(static_cast<double>(total(scans, "mag")), 5400.0, 3.0);
    EXPECT_NEAR(static_cast<double>(scans[0].sirfPackets + scans[1].sirfPackets), 540.0, 3.0);
  }
}

TEST(PelgsimOutput, DamageIsMadeAsAskedAndOnlyThen) {
  TempDir damaged, clean;
  const std::vector<std::string> common = {"--duration", "300", "--files", "3", "--tiv", "--seed", "11"};
  auto withDamage = common;
  withDamage.insert(withDamage.end(), {"--stray-bytes", "4", "--bad-checksums", "3", "--cut-last"});
  const auto bad = simulate(damaged, withDamage);
  const auto good = simulate(clean, common);
  ASSERT_EQ(bad.size(), 3u);
  ASSERT_EQ(good.size(), 3u);
  int strays = 0, checksums = 0;
  for (size_t i = 0; i < bad.size(); ++i) {
    strays += bad[i].strayRuns;
    checksums += bad[i].badChecksums;
    EXPECT_EQ(bad[i].cutShort, i + 1 == bad.size());
    EXPECT_EQ(good[i].strayRuns + good[i].badChecksums, 0);
    EXPECT_FALSE(good[i].cutShort);
  }
  EXPECT_EQ(strays, 3 + 1);
  EXPECT_EQ(checksums, 3);
  // The bad checksums hit audio messages: their samples are lost, and the
  // cut packet's.
  EXPECT_LT(total(bad, "audio"), total(good, "audio") - 3 * 60);
  EXPECT_EQ(total(bad, "accel"), total(good, "accel"));
}

}  // namespace
