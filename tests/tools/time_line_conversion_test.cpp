// The time line through the real converter: pauses between files and gaps
// inside files, with and without roll-overs of the boards' time counters
// inside them, and long gaps in which the logger's packet timestamps jump.
// Each recording must come out as long as it was recorded, every reading at
// its own time, the missing stretches filled and masked.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "output/mat_read_back.h"
#include "pelg_builder/pelg_builder.h"
#include "support/test_support.h"

namespace {

using testsupport::RunResult;
using testsupport::TempDir;

int countLines(const std::string& out, const std::string& needle) {
  int n = 0;
  for (size_t at = out.find(needle); at != std::string::npos; at = out.find(needle, at + 1)) ++n;
  return n;
}

RunResult convert(const TempDir& dir, const std::string& folder) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file(folder)))
    if (entry.path().extension() == ".pelg") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  std::filesystem::create_directories(dir.file("out"));
  std::vector<std::string> args = {"-outputdir", dir.file("out") + "/"};
  args.insert(args.end(), files.begin(), files.end());
  return testsupport::runPelgToMatlab(args);
}

// What one board's channel looks like in both MAT files.
struct ChannelCheck {
  const char* dataOutTime;       // dataOut time field
  const char* completeData;      // completeData field (its mask has the same name)
};

constexpr ChannelCheck kAccel{"accelTime", "accel"};
constexpr ChannelCheck kGyro{"gyroTime", "gyro"};

// The dataOut times of a channel rise strictly, from the start to the end of
// the recording; completeData holds `rows` rows of which `filled` are masked.
void expectChannel(const TempDir& dir, const ChannelCheck& channel, int64_t found, int64_t rows, int64_t filled,
                   double seconds) {
  SCOPED_TRACE(channel.completeData);
  const auto dataOut = readback::load(dir.file("out/dataOut.mat"), "dataOut");
  const std::vector<double> times = readback::doubles(readback::field(dataOut.get(), channel.dataOutTime));
  ASSERT_EQ(static_cast<int64_t>(times.size()), found);
  EXPECT_GE(times.front(), 0.0);
  EXPECT_NEAR(times.back(), seconds, 0.05);
  EXPECT_TRUE(std::adjacent_find(times.begin(), times.end(), std::greater_equal<double>()) == times.end())
      << "dataOut times step back";

  const auto completeData = readback::load(dir.file("out/completeData.mat"), "completeData");
  EXPECT_EQ(static_cast<int64_t>(readback::shape(readback::field(completeData.get(), channel.completeData)).rows),
            rows);
  matvar_t* masks = readback::field(completeData.get(), "missingSamples");
  EXPECT_EQ(static_cast<int64_t>(readback::trueRows(readback::field(masks, channel.completeData)).size()), filled);
}

// Recordings made by the simulator: 600 s at real rates with both boards.
// Every stretch without packets keeps one sample of slack (the fill rule),
// so a recording with one stretch has one row fewer than its length times
// the rate, and that stretch one masked row fewer than its length.
struct SimCase {
  const char* name;
  std::vector<std::string> args;
  int pauseLines;      // "rolled over ... during the pause" lines, both boards and passes
  int bridgedLines;    // "bridged as ... roll-over(s) ... inside a gap" lines
  int jumpLines;       // "timestamp jumped ahead" lines (one per pass)
  int64_t found;       // accelerometer and gyroscope readings in dataOut
  int64_t rows;        // their completeData rows
  int64_t filled;      // of them masked as filled
};

TEST(TimeLineConversion, PausesAndGapsKeepTheRecordingsLength) {
  const std::vector<std::string> pause = {"--duration", "600", "--files", "2", "--file-gap", "100", "--tiv"};
  auto with = [](std::vector<std::string> base, std::initializer_list<std::string> more) {
    base.insert(base.end(), more);
    return base;
  };
  const std::vector<std::string> oneFile = {"--duration", "600", "--files", "1", "--tiv"};
  const SimCase cases[] = {
      // The counters roll over at 300 s, inside the pause from 250 s to 350 s.
      {"pause spanning a roll-over", with(pause, {"--rollover-at", "300"}), 4, 0, 0, 50000, 59999, 9999},
      // Only the TIV board's counter rolls over inside the pause.
      {"pause spanning a TIV roll-over", with(pause, {"--rollover-at", "2000", "--tiv-rollover-at", "300"}), 2, 0, 0,
       50000, 59999, 9999},
      {"pause without a roll-over", with(pause, {"--time-counter", "100"}), 0, 0, 0, 50000, 59999, 9999},
      // A 90 s gap from 200 s in which the counters roll over at 250 s.
      {"gap spanning a roll-over", with(oneFile, {"--gap-at", "200", "--gap-length", "90", "--rollover-at", "250"}),
       0, 4, 0, 51000, 59999, 8999},
      // 150 s without packets: the logger's timestamps jump as well.
      {"150 s gap", with(oneFile, {"--gap-at", "200", "--gap-length", "150", "--time-counter", "100"}), 0, 0, 2,
       45000, 59999, 14999},
      {"150 s gap spanning a roll-over",
       with(oneFile, {"--gap-at", "200", "--gap-length", "150", "--rollover-at", "250"}), 0, 4, 2, 45000, 59999,
       14999},
  };
  for (const SimCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::vector<std::string> sim = {PELGSIM_BIN, "-q", "-o", dir.file("in")};
    sim.insert(sim.end(), c.args.begin(), c.args.end());
    ASSERT_EQ(testsupport::runProgram(sim).status, 0);
    const RunResult r = convert(dir, "in");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(countLines(r.out, "Algorithm error"), 0);
    EXPECT_EQ(countLines(r.out, "during the pause before this file"), c.pauseLines);
    EXPECT_EQ(countLines(r.out, "of the time counter inside a gap"), c.bridgedLines);
    EXPECT_EQ(countLines(r.out, "PELG Packet's timestamp jumped ahead"), c.jumpLines);
    expectChannel(dir, kAccel, c.found, c.rows, c.filled, 600.0);
    expectChannel(dir, kGyro, c.found, c.rows, c.filled, 600.0);
    EXPECT_NEAR(static_cast<double>(testsupport::wavFrames(dir.file("out/completeSensorAudio.wav"))), 600.0 * 8000.0, 2.0);
  }
}

// Two 25 s files whose start times are 3000 s apart: the counters roll over
// twice in the pause, and the second file lands 3000 s after the first.
TEST(TimeLineConversion, PauseSpanningTwoRolloversPlacesTheLaterFileByTheWallClock) {
  TempDir dir;
  ASSERT_EQ(testsupport::runProgram({PELGSIM_BIN, "-q", "-o", dir.file("in"), "--duration", "3050", "--files", "2",
                                     "--file-gap", "2950", "--tiv", "--rollover-at", "60"})
                .status,
            0);
  const RunResult r = convert(dir, "in");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(countLines(r.out, "Algorithm error"), 0);
  EXPECT_EQ(countLines(r.out, "rolled over 2 time(s) during the pause before this file"), 4);
  expectChannel(dir, kAccel, 10000, 304999, 294999, 3050.0);
  EXPECT_NEAR(static_cast<double>(testsupport::wavFrames(dir.file("out/completeSensorAudio.wav"))), 3050.0 * 8000.0, 2.0);
}

// Hand-made files with one accelerometer reading per interrupt (M = 1000,
// 100 Hz), one packet per reading, timestamps 10 ms apart.
struct Stream {
  pelgbuild::PelgBuilder builder;
  int64_t interrupt = 0;  // the board's clock: time counter x M + interrupt counter
  uint32_t timestamp = 0;

  Stream() : builder(pelgbuild::standardHeader(1'710'406'800'000ull, schedule())) {}
  static pelgbuild::HuxSchedule schedule() {
    pelgbuild::HuxSchedule s;
    s.interrupt_count = 1000;
    s.mic_hz = 0;
    s.accelerometer_hz = 1000;
    s.amb_light_hz = s.barometer_hz = s.compass_hz = s.dals_hz = s.humidity_hz = 0;
    return s;
  }
  void packets(int n, uint32_t timestampOverride = 0) {
    for (int i = 0; i < n; ++i) {
      pelgbuild::HuxReadings readings;
      readings.accel = std::array<int16_t, 3>{1, 2, 3};
      const auto counter = interrupt % (256 * 1000);
      builder.packet(pelgbuild::kHuxId, timestampOverride ? timestampOverride : timestamp,
                     pelgbuild::huxSensor(static_cast<uint8_t>(counter / 1000), static_cast<uint16_t>(counter % 1000),
                                          readings));
      ++interrupt;
      timestamp += 10;
    }
  }
};

// Breaks that the packet timestamps do not explain keep the roll-over rule,
// and one damaged timestamp costs only its packet.
TEST(TimeLineConversion, UnexplainedBreaksAndSingleBadTimestampsAreHandledAsBefore) {
  {
    SCOPED_TRACE("counters jump back 150 s while the timestamps advance 10 ms");
    TempDir dir;
    std::filesystem::create_directories(dir.file("in"));
    Stream s;
    s.interrupt = 200'000;
    s.packets(500);
    s.interrupt = 50'000;
    s.packets(500);
    s.builder.writeTo(dir.file("in/a.pelg"));
    const RunResult r = convert(dir, "in");
    EXPECT_EQ(r.status, -11) << r.out;
    EXPECT_EQ(countLines(r.out, "inside a gap"), 0);
  }
  {
    SCOPED_TRACE("one packet's timestamp 1048576 ms ahead");
    TempDir dir;
    std::filesystem::create_directories(dir.file("in"));
    Stream s;
    s.packets(500);
    s.packets(1, s.timestamp + (1u << 20));
    s.packets(499);
    s.builder.writeTo(dir.file("in/a.pelg"));
    const RunResult r = convert(dir, "in");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(countLines(r.out, "PELG Packet's timestamp is invalid"), 2);
    EXPECT_EQ(countLines(r.out, "jumped ahead"), 0);
    const auto dataOut = readback::load(dir.file("out/dataOut.mat"), "dataOut");
    EXPECT_EQ(readback::doubles(readback::field(dataOut.get(), "accelTime")).size(), 999u);
  }
}

}  // namespace
