// The run through the real program, up to and including validation of the
// input sequence: every validation status, the board listing and the
// start-time listing, checked line for line.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "driver_test_util.h"
#include "pelg_builder/pelg_builder.h"

using namespace drivertest;

namespace {

using pelgbuild::HuxSchedule;
using pelgbuild::TivSchedule;

// A schedule whose rates differ from channel to channel, so that the listing
// shows which header word fed which channel.
HuxSchedule huxSchedule() {
  HuxSchedule s;
  s.interrupt_count = 5120;
  s.mic_hz = 8000;
  s.accelerometer_hz = 1001;
  s.amb_light_hz = 102;
  s.barometer_hz = 103;
  s.compass_hz = 104;
  s.dals_hz = 105;
  s.humidity_hz = 106;
  return s;
}

TivSchedule tivSchedule() {
  TivSchedule s;
  s.interrupt_count = 2560;
  return s;
}

// A schedule with one change made.
template <class Schedule, class Change>
Schedule with(Schedule schedule, Change change) {
  change(schedule);
  return schedule;
}

const std::string kHuxListing =
    "# INFO: HUX2 sensor schedule:\n"
    "# INFO:  hux/audio              80000\n"
    "# INFO:  hux/bar_press            103\n"
    "# INFO:  hux/compass              104\n"
    "# INFO:  hux/hf_vis_light         102\n"
    "# INFO:  hux/humidity             106\n"
    "# INFO:  hux/ir_light             105\n"
    "# INFO:  hux/amb_light            105\n"
    "# INFO:  hux/temp                 103\n"
    "# INFO:  hux/temp_sensiron        106\n"
    "# INFO:  hux/vis_light            105\n"
    "# INFO:  hux/x_accel             1001\n"
    "# INFO:  hux/y_accel             1001\n"
    "# INFO:  hux/z_accel             1001\n"
    "# INFO:  hux/mag_accel           1001\n"
    "# INFO:  interrupt count         5120\n"
    "# INFO: HUX2 Calibration data:\n"
    "# INFO:  hux2 bar C1            23673\n"
    "# INFO:  hux2 bar C2             1574\n"
    "# INFO:  hux2 bar C3              786\n"
    "# INFO:  hux2 bar C4              756\n"
    "# INFO:  hux2 bar C5              617\n"
    "# INFO:  hux2 bar C6               11\n"
    "# INFO:  hux2 board number    0x00001234\n"
    "# INFO:  hux2 hardware ver    0x00000002\n"
    "# INFO:  hux2 major ver       0x00000001\n"
    "# INFO:  hux2 minor ver       0x00000007\n"
    "# INFO:  hux2 micr gain       0x00000000\n";

const std::string kTivListing =
    "# INFO: TIV sensor schedule:\n"
    "# INFO:  tiv/x_gyro              1000\n"
    "# INFO:  tiv/y_gyro              1000\n"
    "# INFO:  tiv/z_gyro              1000\n"
    "# INFO:  tiv/x_gyroTemp          1000\n"
    "# INFO:  tiv/y_gyroTemp          1000\n"
    "# INFO:  tiv/z_gyroTemp          1000\n"
    "# INFO:  tiv/x_mag                100\n"
    "# INFO:  tiv/y_mag                100\n"
    "# INFO:  tiv/z_mag                100\n"
    "# INFO:  interrupt count         2560\n"
    "# INFO: TIV Calibration data:\n"
    "# INFO:  tiv word 1                11\n"
    "# INFO:  tiv word 2                22\n"
    "# INFO:  tiv word 3                33\n"
    "# INFO:  tiv word 4                44\n"
    "# INFO:  tiv board number     0x00000042\n"
    "# INFO:  tiv hardware ver     0x00000001\n"
    "# INFO:  tiv major ver        0x00000003\n"
    "# INFO:  tiv minor ver        0x00000002\n";

// The schedule block of a difference report, as printed for the reference
// file of these tests.
const std::string kHuxScheduleBlock =
    "# ERROR:  interrupt_count     5120\n"
    "# ERROR:  mic_hz              8000\n"
    "# ERROR:  compass_hz          104\n"
    "# ERROR:  amb_light_hz        102\n"
    "# ERROR:  barometer_hz        103\n"
    "# ERROR:  humidity_hz         106\n"
    "# ERROR:  accelerometer_hz    1001\n"
    "# ERROR:  dals_hz             105\n";

const std::string kValid =
    "\n\n# INFO: Sequence appears to be valid\n"
    "# INFO: Parsing files to determine Matlab array dimensions and to find any errors:\n";

const std::string kExiting = "# ERROR: Exiting\n";

std::string opened(int t, const std::string& name) {
  return "# INFO: open file [" + std::string(t < 10 ? " " : "") + std::to_string(t) + "] '" + name + "'\n";
}

// The lines a run prints before validation: "-disableChecks" lines and one
// open-file line per named file, in argument order.
std::string openingLines(const std::vector<std::string>& args) {
  std::string lines;
  int t = 0;
  for (const std::string& arg : args) lines += arg == "-disableChecks" ? kChecksDisabled : opened(++t, arg);
  return lines;
}

class Validation : public ProgramTest {
 protected:
  void write(const std::string& name, uint64_t startTime, const HuxSchedule& hux = huxSchedule(),
             const std::optional<TivSchedule>& tiv = std::nullopt) {
    writeHeader(name, pelgbuild::standardHeader(startTime, hux, tiv));
  }
  void writeHeader(const std::string& name, const pelgbuild::PelgHeader& header, size_t cut = 0) {
    pelgbuild::PelgBuilder builder(header);
    builder.cut(cut).writeTo(dir.file(name));
  }
  // The transcript up to the end of validation.
  static std::string validationPart(const std::string& out) {
    const size_t end = out.find(kValid);
    return end == std::string::npos ? out : out.substr(0, end + kValid.size());
  }
};

TEST_F(Validation, RejectedSequences) {
  pelgbuild::PelgHeader badMagic = pelgbuild::standardHeader(kT, huxSchedule());
  badMagic.magic = "PELX";
  pelgbuild::PelgHeader badVersion = pelgbuild::standardHeader(kT, huxSchedule());
  badVersion.version = 3;
  pelgbuild::PelgHeader gpsOnly;
  gpsOnly.startTime = kT;
  gpsOnly.devices.push_back(pelgbuild::plainDevice("sgps"));
  writeHeader("magic.pelg", badMagic);
  writeHeader("version.pelg", badVersion);
  writeHeader("cut.pelg", pelgbuild::standardHeader(kT, huxSchedule()), 3);
  writeHeader("gps.pelg", gpsOnly);

  using Hux = HuxSchedule&;
  using Tiv = TivSchedule&;
  write("a.pelg", kT);
  write("b.pelg", kT + 600000);
  write("tiv.pelg", kT + 600000, huxSchedule(), tivSchedule());
  write("calibration.pelg", kT + 600000, with(huxSchedule(), [](Hux s) { s.word1 = 0xB8F4; }));  // C1 + 1, C5 same
  write("compass.pelg", kT + 600000, with(huxSchedule(), [](Hux s) { s.compass_hz = 200; }));
  // The power word is not printed, but a difference all the same.
  write("power.pelg", kT + 600000, with(huxSchedule(), [](Hux s) { s.power = 0; }));
  write("serial.pelg", kT + 1200000, with(huxSchedule(), [](Hux s) { s.boardNumber = 0xBEEF; }));
  write("zero.pelg", kT, with(huxSchedule(), [](Hux s) { s.interrupt_count = 0; }));
  write("negative.pelg", kT, with(huxSchedule(), [](Hux s) { s.interrupt_count = -5; }));
  write("gyro.pelg", kT + 600000, huxSchedule(), with(tivSchedule(), [](Tiv s) { s.gyro = 2000; }));
  write("tivserial.pelg", kT + 600000, huxSchedule(), with(tivSchedule(), [](Tiv s) { s.boardNumber = 0x43; }));
  write("tivzero.pelg", kT, huxSchedule(), with(tivSchedule(), [](Tiv s) { s.interrupt_count = 0; }));

  const std::string noHeader = "# ERROR: file does not have a PELG v2 header\n";
  const std::string noTivBefore = "# ERROR: File tiv.pelg, contains TIV data wheareas the previous files do not!\n";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string lines;
    std::string err = "";
  } cases[] = {
      {{"a.pelg", "missing.pelg"}, -10, "# ERROR: Unable to open file missing.pelg\n",
       "ERROR: can't open file missing.pelg\n"},
      {{"magic.pelg"}, -11, noHeader},
      {{"version.pelg"}, -11, noHeader},
      {{"cut.pelg"}, -11, noHeader},
      {{"gps.pelg"}, -12, "# WARNING: no calibration/info data\n"},
      {{"a.pelg", "tiv.pelg"}, -10, noTivBefore},
      {{"-disableChecks", "a.pelg", "tiv.pelg"}, -10, noTivBefore},
      {{"a.pelg", "calibration.pelg"}, -13,
       "# ERROR: File calibration.pelg has a different calibration matrix than the other PELG files\n"
       "# ERROR:  hux2 bar C1 23673\n"
       "# ERROR:  hux2 bar C2 1574\n"
       "# ERROR:  hux2 bar C3 786\n"
       "# ERROR:  hux2 bar C4 756\n"
       "# ERROR:  hux2 bar C5 617\n"
       "# ERROR:  hux2 bar C6 11\n"
       "# ERROR: versus:\n"
       "# ERROR:  hux bar C1 23674\n"
       "# ERROR:  hux bar C2 1574\n"
       "# ERROR:  hux bar C3 786\n"
       "# ERROR:  hux bar C4 756\n"
       "# ERROR:  hux bar C5 617\n"
       "# ERROR:  hux bar C6 11\n"},
      {{"a.pelg", "compass.pelg"}, -14,
       "# ERROR: File compass.pelg has a different schedule than the other PELG files\n" + kHuxScheduleBlock +
           "# ERROR: versus:\n"
           "# ERROR:  interrupt_count     5120\n"
           "# ERROR:  mic_hz              8000\n"
           "# ERROR:  compass_hz          200\n"
           "# ERROR:  amb_light_hz        102\n"
           "# ERROR:  barometer_hz        103\n"
           "# ERROR:  humidity_hz         106\n"
           "# ERROR:  accelerometer_hz    1001\n"
           "# ERROR:  dals_hz             105\n"},
      {{"a.pelg", "power.pelg"}, -14,
       "# ERROR: File power.pelg has a different schedule than the other PELG files\n" + kHuxScheduleBlock +
           "# ERROR: versus:\n" + kHuxScheduleBlock},
      {{"tiv.pelg", "gyro.pelg"}, -14,
       "# ERROR: File gyro.pelg has a different schedule than the other PELG files\n"
       "# ERROR:  interrupt_count     2560\n"
       "# ERROR:  gyro                1000\n"
       "# ERROR:  magnetometer        100\n"
       "# ERROR: versus:\n"
       "# ERROR:  interrupt_count     2560\n"
       "# ERROR:  gyro                2000\n"
       "# ERROR:  magnetometer        100\n"},
      {{"a.pelg", "b.pelg", "serial.pelg"}, -15,
       "# ERROR: PELG files have different board serial numbers: 0xBEEF [ 2] versus 0x1234 [ 0]\n"},
      {{"tiv.pelg", "tivserial.pelg"}, -15,
       "# ERROR: PELG files have different board serial numbers: 0x0043 [ 1] versus 0x0042 [ 0]\n"},
      {{"zero.pelg"}, -12, "# ERROR: File zero.pelg, interrupt rate must be positive\n"},
      {{"-disableChecks", "a.pelg", "negative.pelg"}, -12,
       "# ERROR: File negative.pelg, interrupt rate must be positive\n"},
      {{"tivzero.pelg"}, -12, "# ERROR: File tivzero.pelg, interrupt rate must be positive\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const RunResult r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, openingLines(c.args) + c.lines + kExiting);
    EXPECT_EQ(r.err, c.err);
  }
}

// The listing is the first file's, TIV tables included when it has TIV data,
// whether or not the later files have any; numbers count the options too.
TEST_F(Validation, BoardListingWithTivAndOptionNumbering) {
  write("a.pelg", kT, huxSchedule(), tivSchedule());
  for (bool laterTiv : {true, false}) {
    SCOPED_TRACE(laterTiv ? "both with TIV" : "only the first with TIV");
    write("b.pelg", kT + 600000, huxSchedule(), laterTiv ? std::optional(tivSchedule()) : std::nullopt);
    const RunResult r = run({"-NoWavFile", "a.pelg", "b.pelg"});
    EXPECT_EQ(validationPart(r.out),
              "# INFO: writing of completeSensorAudio.wav disabled\n" + opened(1, "a.pelg") +
                  opened(2, "b.pelg") + kHuxListing + kTivListing +
                  "# INFO: [ 2] starts at Tue Nov 14 22:13:20 2023\n"
                  "# INFO: [ 3] starts at Tue Nov 14 22:23:20 2023\n"
                  "# INFO: Sorted order:\n"
                  "# INFO: [ 2] starts at Tue Nov 14 22:13:20 2023\n"
                  "# INFO: [ 3] starts at Tue Nov 14 22:23:20 2023   (  0 hours 10 mins  0.00 seconds from previous file)\n" +
                  kValid);
  }
}

TEST_F(Validation, ReverseOrderIsSorted) {
  write("c.pelg", kT + 10925500);  // 3 h 2 min 5.5 s after a
  write("b.pelg", kT + 1000);
  write("a.pelg", kT);
  const RunResult r = run({"-maxGap_sec", "20000", "c.pelg", "b.pelg", "a.pelg"});
  EXPECT_EQ(validationPart(r.out),
            "# INFO: Max gap between files is 20000 seconds\n" + opened(1, "c.pelg") + opened(2, "b.pelg") +
                opened(3, "a.pelg") + kHuxListing +
                "# INFO: [ 3] starts at Wed Nov 15 01:15:25 2023\n"
                "# INFO: [ 4] starts at Tue Nov 14 22:13:21 2023\n"
                "# INFO: [ 5] starts at Tue Nov 14 22:13:20 2023\n"
                "# INFO: Sorted order:\n"
                "# INFO: [ 5] starts at Tue Nov 14 22:13:20 2023\n"
                "# INFO: [ 4] starts at Tue Nov 14 22:13:21 2023   (  0 hours  0 mins  1.00 seconds from previous file)\n"
                "# INFO: [ 3] starts at Wed Nov 15 01:15:25 2023   (  3 hours  2 mins  4.00 seconds from previous file)\n" +
                kValid);
}

TEST_F(Validation, GapLargerThanMaxGap) {
  write("a.pelg", kT);
  write("b.pelg", kT + 3000000);  // exactly 3000 s after a: accepted
  write("c.pelg", kT + 6001000);  // 3001 s after b: rejected
  const RunResult r = run({"a.pelg", "b.pelg", "c.pelg"});
  EXPECT_EQ(r.status, -16);
  EXPECT_EQ(r.out,
            opened(1, "a.pelg") + opened(2, "b.pelg") + opened(3, "c.pelg") + kHuxListing +
                "# INFO: [ 1] starts at Tue Nov 14 22:13:20 2023\n"
                "# INFO: [ 2] starts at Tue Nov 14 23:03:20 2023\n"
                "# INFO: [ 3] starts at Tue Nov 14 23:53:21 2023\n"
                "# INFO: Sorted order:\n"
                "# INFO: [ 1] starts at Tue Nov 14 22:13:20 2023\n"
                "# INFO: [ 2] starts at Tue Nov 14 23:03:20 2023   (  0 hours 50 mins  0.00 seconds from previous file)\n"
                "# INFO: [ 3] starts at Tue Nov 14 23:53:21 2023   (  0 hours 50 mins  1.00 seconds from previous file)\n"
                "# ERROR: File [ 2]'s start time is more than 3000 seconds from trace [ 1]'s start time\n"
                "# ERROR: This sequence of PELG files has been rejected\n"
                "# ERROR: increase -maxGap_sec or choose a new sequence\n" +
                kExiting);

  const RunResult accepted = run({"-maxGap_sec", "3001", "a.pelg", "b.pelg", "c.pelg"});
  EXPECT_NE(validationPart(accepted.out).find(kValid), std::string::npos);
}

TEST_F(Validation, GapsCountWholeSeconds) {
  write("a.pelg", kT + 1);
  write("b.pelg", kT + 999);   // same second as a
  write("c.pelg", kT + 1000);  // the next second
  RunResult r = run({"-maxGap_sec", "0", "a.pelg", "b.pelg"});
  EXPECT_NE(r.out.find(kValid), std::string::npos);
  r = run({"-maxGap_sec", "0", "b.pelg", "c.pelg"});
  EXPECT_EQ(r.status, -16);
  EXPECT_NE(r.out.find("# INFO: [ 4] starts at Tue Nov 14 22:13:21 2023   (  0 hours  0 mins  1.00 seconds "
                       "from previous file)\n"
                       "# ERROR: File [ 1]'s start time is more than 0 seconds from trace [ 0]'s start time\n"),
            std::string::npos);
  // A negative maximum never rejects.
  r = run({"-maxGap_sec", "-1", "a.pelg", "c.pelg"});
  EXPECT_NE(r.out.find(kValid), std::string::npos);
}

TEST_F(Validation, DisableChecksAcceptsDifferences) {
  HuxSchedule other = huxSchedule();
  other.word1 = 0xB8F4;
  other.compass_hz = 200;
  other.boardNumber = 0xBEEF;
  write("a.pelg", kT);
  write("b.pelg", kT + 5000000, other);  // 5000 s later
  const RunResult r = run({"-disableChecks", "a.pelg", "b.pelg"});
  EXPECT_EQ(validationPart(r.out),
            kChecksDisabled + opened(1, "a.pelg") + opened(2, "b.pelg") + kHuxListing +
                "# INFO: [ 2] starts at Tue Nov 14 22:13:20 2023\n"
                "# INFO: [ 3] starts at Tue Nov 14 23:36:40 2023\n"
                "# INFO: Sorted order:\n"
                "# INFO: [ 2] starts at Tue Nov 14 22:13:20 2023\n"
                "# INFO: [ 3] starts at Tue Nov 14 23:36:40 2023   (  1 hours 23 mins 20.00 seconds from previous file)\n" +
                kValid);
}

TEST_F(Validation, TooManyFilesOrNoneBeforeAnyIsOpened) {
  RunResult r = run(std::vector<std::string>(4097, "missing.pelg"));
  EXPECT_EQ(r.status, -4);
  EXPECT_EQ(r.out,
            "# ERROR: Too many pelg files on input path, unable to process\n"
            "# ERROR:  max files for this version is set to 4096\n" +
                kExiting);
  EXPECT_EQ(r.err, "");
  r = run({});
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out, kUsage);
}

}  // namespace
