// The check that the boards' clocks claim no more time than the files cover:
// the verdict on file records, and a small file of roll-over pairs through the
// real program, refused before any output is created unless -disableChecks.
#include "driver/clock_span_check.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "driver_test_util.h"
#include "pelg_builder/pelg_builder.h"

using namespace drivertest;

namespace {

// A file record starting `startSec` after kT whose last packet comes
// `packetSec` in, with the HUX time line at `clockSec` (M = 5120).
InputFileInfo record(double startSec, double packetSec, double clockSec) {
  InputFileInfo f;
  f.startTime = kT + static_cast<uint64_t>(startSec * 1000);
  f.lastPacketMs = static_cast<int64_t>(packetSec * 1000);
  f.huxLastTimeIndex = static_cast<int64_t>(clockSec * 512);
  return f;
}

TEST(ClockSpanCheck, ClocksMayClaimAtMostTwiceTheFilesSpanPlusAnHour) {
  struct Case {
    const char* name;
    std::vector<InputFileInfo> files;
    bool runsAhead;
    int fileIndex;
  };
  const Case cases[] = {
      {"a normal day", {record(0, 43200, 43200), record(43200, 43190, 86390)}, false, -1},
      {"a pause between files", {record(0, 600, 600), record(2600, 600, 3200)}, false, -1},
      {"an hour of clock from nothing", {record(0, 1, 3600)}, false, -1},
      {"34 roll-overs in a second", {record(0, 1, 34 * 2560)}, true, 0},
      {"the second file runs ahead", {record(0, 600, 600), record(600, 10, 600 + 20 * 2560)}, true, 1},
      {"a file without timed packets", {record(0, 600, 600), InputFileInfo{}}, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<InputFileInfo> files = c.files;
    if (files.size() > 1 && files[1].startTime == 0) files[1].startTime = kT + 700000;
    const ClockSpanVerdict v = judgeClockSpan(files.data(), static_cast<int>(files.size()), 5120);
    EXPECT_EQ(v.runsAhead, c.runsAhead);
    EXPECT_EQ(v.fileIndex, c.fileIndex);
  }
}

// Roll-over pairs: (255, M-1) then (0, 0) a millisecond later, each pair
// moving the board clock 2560 s on while the file covers milliseconds.
void writeRolloverPairs(const std::string& path, int pairs) {
  pelgbuild::HuxSchedule schedule;
  schedule.mic_hz = 0;
  schedule.accelerometer_hz = 10;
  schedule.amb_light_hz = schedule.barometer_hz = schedule.compass_hz = schedule.dals_hz = schedule.humidity_hz = 0;
  pelgbuild::PelgBuilder b(pelgbuild::standardHeader(kT, schedule));
  pelgbuild::HuxReadings readings;
  readings.accel = std::array<int16_t, 3>{1, 2, 3};
  uint32_t ms = 10;
  for (int i = 0; i < pairs; ++i) {
    b.packet(pelgbuild::kHuxId, ms++, pelgbuild::huxSensor(255, 5119, readings));
    b.packet(pelgbuild::kHuxId, ms++, pelgbuild::huxSensor(0, 0, readings));
  }
  b.writeTo(path);
}

class ClockSpanProgram : public ProgramTest {};

TEST_F(ClockSpanProgram, RolloverPairsAreRefusedBeforeAnyOutput) {
  struct Case {
    int pairs;
    bool disableChecks;
    int status;
  };
  const Case cases[] = {{1, false, 0}, {3, false, -17}, {3, true, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pairs << " pairs" << (c.disableChecks ? ", -disableChecks" : ""));
    const std::string out = dir.file("out" + std::to_string(c.pairs) + (c.disableChecks ? "d" : ""));
    std::filesystem::create_directories(out);
    writeRolloverPairs(dir.file("pairs.pelg"), c.pairs);
    std::vector<std::string> args = {"-outputdir", out + "/"};
    if (c.disableChecks) args.push_back("-disableChecks");
    args.push_back(dir.file("pairs.pelg"));
    const RunResult r = testsupport::runPelgToMatlab(args);
    EXPECT_EQ(r.status, c.status) << r.out;
    if (c.status == -17) {
      EXPECT_NE(r.out.find("# ERROR: File " + dir.file("pairs.pelg") + ": the board clock covers "),
                std::string::npos)
          << r.out;
      EXPECT_NE(r.out.find("ran ahead of its packets (-disableChecks converts it anyway)\n# ERROR: Exiting\n"),
                std::string::npos);
      EXPECT_TRUE(std::filesystem::is_empty(out)) << "nothing written";
    }
  }
}

}  // namespace
