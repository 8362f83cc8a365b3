// The phases after validation, through the real program: the scan pass, the
// .stats files of "-write_summaryFile", the end of a timestamp-mode run, and
// the output phase with its two summary reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "driver_test_util.h"
#include "pelg_builder/pelg_builder.h"

using namespace drivertest;

namespace {

pelgbuild::Bytes accelPacket(uint8_t timeCounter, uint16_t interruptCounter) {
  pelgbuild::HuxReadings readings;
  readings.accel = std::array<int16_t, 3>{100, -200, 300};
  return pelgbuild::huxSensor(timeCounter, interruptCounter, readings);
}

// Two timed HUX packets: (first time counter, interrupt counter) and (last ...).
void writeRecording(const std::string& path, uint64_t startTime, uint8_t firstTime, uint16_t firstInterrupt,
                    uint8_t lastTime, uint16_t lastInterrupt) {
  pelgbuild::PelgBuilder builder(pelgbuild::standardHeader(startTime));
  builder.packet(pelgbuild::kHuxId, 1000, accelPacket(firstTime, firstInterrupt));
  builder.packet(pelgbuild::kHuxId, 2000, accelPacket(lastTime, lastInterrupt));
  builder.writeTo(path);
}

class RunPhases : public ProgramTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir.file("rec"));
    // a: 0 to 5220 interrupts at 512 Hz (10.1953125 s); b, ten minutes later:
    // 307200 to 312520 (10.390625 s).
    writeRecording(dir.file("rec/a.pelg"), kT, 0, 0, 1, 100);
    writeRecording(dir.file("rec/b.pelg"), kT + 600000, 60, 0, 61, 200);
  }
  // Whether the transcript opens with the option lines then the first file's.
  static bool opensWith(const RunResult& r, const std::string& optionLines) {
    return r.out.rfind(optionLines + "# INFO: open file", 0) == 0;
  }
};

const std::string kScanEnd =
    "\n\n# INFO: Sequence appears to be valid\n"
    "# INFO: Parsing files to determine Matlab array dimensions and to find any errors:\n"
    "# INFO:   File [ 3]\n"
    "# INFO:   File [ 2]\n";

TEST_F(RunPhases, SummaryFilesGoNextToTheEarliestFile) {
  const RunResult r = run({"-write_summaryFile", "rec/b.pelg", "rec/a.pelg"});
  EXPECT_EQ(r.status, 0);
  ASSERT_GE(r.out.size(), kScanEnd.size());
  EXPECT_EQ(r.out.substr(r.out.size() - kScanEnd.size()), kScanEnd);
  EXPECT_EQ(r.out.find("Scanning complete"), std::string::npos);
  EXPECT_EQ(testsupport::readFile(dir.file("rec/a.pelg.stats")),
            "\"start_time\", 1700000000000\n\"duration_sec\", 10.195\n");
  EXPECT_EQ(testsupport::readFile(dir.file("rec/b.pelg.stats")),
            "\"start_time\", 1700000600000\n\"duration_sec\", 10.391\n");
  for (const char* output : {"rec/dataOut.mat", "rec/completeData.mat", "rec/completeSensorAudio.wav",
                             "rec/sirfGPSOutput.bin", "dataOut.mat"})
    EXPECT_FALSE(exists(output)) << output;
}

TEST_F(RunPhases, SummaryFilesGoToTheGivenDirectory) {
  const std::string lines = "# INFO: Summary information will be written to .stats file\n";
  std::filesystem::create_directory(dir.file("out"));
  RunResult r = run({"-outputdir", "out", "-write_summaryFile", "rec/a.pelg", "rec/b.pelg"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(opensWith(r, "# INFO: Data will be created in directory: out/\n" + lines)) << r.out;
  EXPECT_TRUE(exists("out/a.pelg.stats") && exists("out/b.pelg.stats"));
  EXPECT_FALSE(exists("rec/a.pelg.stats"));

  r = run({"-outputdir", "", "-write_summaryFile", "rec/a.pelg"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(opensWith(r, "# INFO: Data will be created in directory: ./\n" + lines)) << r.out;
  EXPECT_TRUE(exists("a.pelg.stats"));

  // A missing output folder is made, before the scan pass.
  r = run({"-outputdir", "nowhere", "-write_summaryFile", "rec/a.pelg"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("# INFO: Created output folder nowhere/\n\n\n# INFO: Sequence appears to be valid\n"),
            std::string::npos)
      << r.out;
  EXPECT_TRUE(exists("nowhere/a.pelg.stats"));
}

TEST_F(RunPhases, TimestampModeEndsAfterTheScanPass) {
  const RunResult r = run({"-write_timestampFile", "-write_summaryFile", "rec/a.pelg", "rec/b.pelg"});
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out.find("Scanning complete"), std::string::npos);
  EXPECT_TRUE(exists("rec/timestamps.txt"));
  EXPECT_FALSE(exists("rec/a.pelg.stats"));
  EXPECT_FALSE(exists("rec/dataOut.mat"));
}

TEST_F(RunPhases, FullRunReportsTwiceAndTheReportsAgree) {
  const RunResult r = run({"-NoWavFile", "rec/b.pelg", "rec/a.pelg"});
  EXPECT_EQ(r.status, 0);
  const std::string scanned = "\n\n# INFO: Scanning complete\n";
  const std::string creating = "\n\n# INFO: Creating output files\n";
  const std::string summary = "\n\n# INFO: Summary:\n";
  const size_t scannedAt = r.out.find(kScanEnd + scanned);
  const size_t creatingAt = r.out.find(creating);
  const size_t summaryAt = r.out.find(summary);
  ASSERT_NE(scannedAt, std::string::npos) << r.out;
  ASSERT_NE(creatingAt, std::string::npos);
  ASSERT_NE(summaryAt, std::string::npos);
  ASSERT_LT(creatingAt, summaryAt);

  const size_t reportAt = scannedAt + kScanEnd.size() + scanned.size();
  const std::string firstReport = r.out.substr(reportAt, creatingAt - reportAt);
  const std::string spans =
      "# INFO: File [ 3], HUX2 spans       0 to     5220      10.20 seconds (  0 hours  0 mins 10.20 seconds)\n"
      "# INFO: File [ 2], HUX2 spans  307200 to   312520      10.39 seconds (  0 hours  0 mins 10.39 seconds)\n"
      "# INFO:     10540 HUX2 interrupt counts\n"
      "# INFO: HUX2     20.59 seconds (  0 hours  0 mins 20.59 seconds)\n" +
      std::string(kTableHeader);
  EXPECT_EQ(firstReport.substr(0, spans.size()), spans);
  EXPECT_EQ(std::count(firstReport.begin(), firstReport.end(), '\n'), 5 + 13);

  // The write pass prints its file lines again, then the second report,
  // which matches the first line for line.
  const size_t secondAt = summaryAt + summary.size();
  const std::string rest = r.out.substr(secondAt);
  EXPECT_EQ(rest.substr(0, firstReport.size()), firstReport);

  // The outputs go next to the earliest file and are closed after the report.
  EXPECT_TRUE(exists("rec/dataOut.mat") && exists("rec/completeData.mat"));
  EXPECT_FALSE(exists("rec/completeSensorAudio.wav"));
  EXPECT_NE(rest.find("Closing dataOut.mat", firstReport.size()), std::string::npos);
}

}  // namespace
