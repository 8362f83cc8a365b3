// The run through the real program, up to and including validation of the
// input sequence: every validation status, the board listing and the
// start-time listing, checked line for line.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "pelg_builder/pelg_builder.h"
#include "support/test_support.h"

namespace {

using pelgbuild::HuxSchedule;
using pelgbuild::TivSchedule;
using testsupport::RunResult;
using testsupport::TempDir;

constexpr uint64_t kT = 1700000000000ULL;  // Tue Nov 14 22:13:20 2023 UTC

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

const std::string kValid =
    "\n\n# INFO: Sequence appears to be valid\n"
    "# INFO: Parsing files to determine Matlab array dimensions and to find any errors:\n";

const std::string kExiting = "# ERROR: Exiting\n";

std::string opened(int t, const std::string& name) {
  return "# INFO: open file [" + std::string(t < 10 ? " " : "") + std::to_string(t) + "] '" + name + "'\n";
}

class Validation : public ::testing::Test {
 protected:
  void write(const std::string& name, uint64_t startTime, const HuxSchedule& hux = huxSchedule(),
             const std::optional<TivSchedule>& tiv = std::nullopt) {
    pelgbuild::PelgBuilder(pelgbuild::standardHeader(startTime, hux, tiv)).writeTo(dir.file(name));
  }
  void writeHeader(const std::string& name, const pelgbuild::PelgHeader& header, size_t cut = 0) {
    pelgbuild::PelgBuilder builder(header);
    builder.cut(cut).writeTo(dir.file(name));
  }
  RunResult run(const std::vector<std::string>& args) { return testsupport::runPelgToMatlab(args, dir.path()); }
  // The transcript up to the end of validation.
  static std::string validationPart(const std::string& out) {
    const size_t end = out.find(kValid);
    return end == std::string::npos ? out : out.substr(0, end + kValid.size());
  }

  TempDir dir;
};

TEST_F(Validation, UnopenableFile) {
  write("a.pelg", kT);
  const RunResult r = run({"a.pelg", "missing.pelg"});
  EXPECT_EQ(r.status, -10);
  EXPECT_EQ(r.out, opened(1, "a.pelg") + opened(2, "missing.pelg") +
                       "# ERROR: Unable to open file missing.pelg\n" + kExiting);
  EXPECT_EQ(r.err, "ERROR: can't open file missing.pelg\n");
}

TEST_F(Validation, NoPelgVersion2Header) {
  pelgbuild::PelgHeader badMagic = pelgbuild::standardHeader(kT, huxSchedule());
  badMagic.magic = "PELX";
  pelgbuild::PelgHeader badVersion = pelgbuild::standardHeader(kT, huxSchedule());
  badVersion.version = 3;
  writeHeader("magic.pelg", badMagic);
  writeHeader("version.pelg", badVersion);
  writeHeader("cut.pelg", pelgbuild::standardHeader(kT, huxSchedule()), 3);
  for (const char* name : {"magic.pelg", "version.pelg", "cut.pelg"}) {
    const RunResult r = run({name});
    EXPECT_EQ(r.status, -11) << name;
    EXPECT_EQ(r.out, opened(1, name) + "# ERROR: file does not have a PELG v2 header\n" + kExiting);
  }
}

TEST_F(Validation, NoCalibrationInfo) {
  pelgbuild::PelgHeader header;
  header.startTime = kT;
  header.devices.push_back(pelgbuild::plainDevice("sgps"));
  writeHeader("a.pelg", header);
  const RunResult r = run({"a.pelg"});
  EXPECT_EQ(r.status, -12);
  EXPECT_EQ(r.out, opened(1, "a.pelg") + "# WARNING: no calibration/info data\n" + kExiting);
}

TEST_F(Validation, TivDataAfterAFileWithoutIt) {
  write("a.pelg", kT);
  write("b.pelg", kT + 600000, huxSchedule(), tivSchedule());
  for (bool disableChecks : {false, true}) {
    std::vector<std::string> args{"a.pelg", "b.pelg"};
    if (disableChecks) args.insert(args.begin(), "-disableChecks");
    const RunResult r = run(args);
    EXPECT_EQ(r.status, -10);
    EXPECT_EQ(r.out, std::string(disableChecks ? "# INFO: Error checking for headers is disabled\n"
                                                 "# INFO: This may result in corrupt files\n"
                                               : "") +
                         opened(1, "a.pelg") + opened(2, "b.pelg") +
                         "# ERROR: File b.pelg, contains TIV data wheareas the previous files do not!\n" +
                         kExiting);
  }
}

TEST_F(Validation, DifferentCalibration) {
  HuxSchedule other = huxSchedule();
  other.word1 = 0xB8F4;  // C1 one higher, C5 unchanged
  write("a.pelg", kT);
  write("b.pelg", kT + 600000, other);
  const RunResult r = run({"a.pelg", "b.pelg"});
  EXPECT_EQ(r.status, -13);
  EXPECT_EQ(r.out, opened(1, "a.pelg") + opened(2, "b.pelg") +
                       "# ERROR: File b.pelg has a different calibration matrix than the other PELG files\n"
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
                       "# ERROR:  hux bar C6 11\n" +
                       kExiting);
}

TEST_F(Validation, DifferentHuxSchedule) {
  const std::string reference =
      "# ERROR:  interrupt_count     5120\n"
      "# ERROR:  mic_hz              8000\n"
      "# ERROR:  compass_hz          104\n"
      "# ERROR:  amb_light_hz        102\n"
      "# ERROR:  barometer_hz        103\n"
      "# ERROR:  humidity_hz         106\n"
      "# ERROR:  accelerometer_hz    1001\n"
      "# ERROR:  dals_hz             105\n";
  HuxSchedule compass = huxSchedule();
  compass.compass_hz = 200;
  HuxSchedule power = huxSchedule();
  power.power = 0;  // not printed, but a difference all the same
  write("a.pelg", kT);
  write("compass.pelg", kT + 600000, compass);
  write("power.pelg", kT + 600000, power);

  RunResult r = run({"a.pelg", "compass.pelg"});
  EXPECT_EQ(r.status, -14);
  EXPECT_EQ(r.out, opened(1, "a.pelg") + opened(2, "compass.pelg") +
                       "# ERROR: File compass.pelg has a different schedule than the other PELG files\n" +
                       reference + "# ERROR: versus:\n" +
                       "# ERROR:  interrupt_count     5120\n"
                       "# ERROR:  mic_hz              8000\n"
                       "# ERROR:  compass_hz          200\n"
                       "# ERROR:  amb_light_hz        102\n"
                       "# ERROR:  barometer_hz        103\n"
                       "# ERROR:  humidity_hz         106\n"
                       "# ERROR:  accelerometer_hz    1001\n"
                       "# ERROR:  dals_hz             105\n" +
                       kExiting);

  r = run({"a.pelg", "power.pelg"});
  EXPECT_EQ(r.status, -14);
  EXPECT_EQ(r.out, opened(1, "a.pelg") + opened(2, "power.pelg") +
                       "# ERROR: File power.pelg has a different schedule than the other PELG files\n" +
                       reference + "# ERROR: versus:\n" + reference + kExiting);
}

TEST_F(Validation, DifferentTivSchedule) {
  TivSchedule gyro = tivSchedule();
  gyro.gyro = 2000;
  write("a.pelg", kT, huxSchedule(), tivSchedule());
  write("b.pelg", kT + 600000, huxSchedule(), gyro);
  const RunResult r = run({"a.pelg", "b.pelg"});
  EXPECT_EQ(r.status, -14);
  EXPECT_EQ(r.out, opened(1, "a.pelg") + opened(2, "b.pelg") +
                       "# ERROR: File b.pelg has a different schedule than the other PELG files\n"
                       "# ERROR:  interrupt_count     2560\n"
                       "# ERROR:  gyro                1000\n"
                       "# ERROR:  magnetometer        100\n"
                       "# ERROR: versus:\n"
                       "# ERROR:  interrupt_count     2560\n"
                       "# ERROR:  gyro                2000\n"
                       "# ERROR:  magnetometer        100\n" +
                       kExiting);
}

TEST_F(Validation, DifferentSerialNumbers) {
  HuxSchedule hux = huxSchedule();
  hux.boardNumber = 0xBEEF;
  TivSchedule tiv = tivSchedule();
  tiv.boardNumber = 0x43;
  write("a.pelg", kT);
  write("b.pelg", kT + 600000);
  write("c.pelg", kT + 1200000, hux);
  RunResult r = run({"a.pelg", "b.pelg", "c.pelg"});
  EXPECT_EQ(r.status, -15);
  EXPECT_EQ(r.out, opened(1, "a.pelg") + opened(2, "b.pelg") + opened(3, "c.pelg") +
                       "# ERROR: PELG files have different board serial numbers: 0xBEEF [ 2] versus 0x1234 [ 0]\n" +
                       kExiting);

  write("ta.pelg", kT, huxSchedule(), tivSchedule());
  write("tb.pelg", kT + 600000, huxSchedule(), tiv);
  r = run({"ta.pelg", "tb.pelg"});
  EXPECT_EQ(r.status, -15);
  EXPECT_EQ(r.out, opened(1, "ta.pelg") + opened(2, "tb.pelg") +
                       "# ERROR: PELG files have different board serial numbers: 0x0043 [ 1] versus 0x0042 [ 0]\n" +
                       kExiting);
}

TEST_F(Validation, InterruptRateMustBePositive) {
  HuxSchedule zero = huxSchedule();
  zero.interrupt_count = 0;
  HuxSchedule negative = huxSchedule();
  negative.interrupt_count = -5;
  TivSchedule tivZero = tivSchedule();
  tivZero.interrupt_count = 0;
  write("a.pelg", kT);
  write("zero.pelg", kT, zero);
  write("negative.pelg", kT, negative);
  write("tivzero.pelg", kT, huxSchedule(), tivZero);
  const std::string disabled =
      "# INFO: Error checking for headers is disabled\n# INFO: This may result in corrupt files\n";

  RunResult r = run({"zero.pelg"});
  EXPECT_EQ(r.status, -12);
  EXPECT_EQ(r.out, opened(1, "zero.pelg") + "# ERROR: File zero.pelg, interrupt rate must be positive\n" + kExiting);

  r = run({"-disableChecks", "a.pelg", "negative.pelg"});
  EXPECT_EQ(r.status, -12);
  EXPECT_EQ(r.out, disabled + opened(1, "a.pelg") + opened(2, "negative.pelg") +
                       "# ERROR: File negative.pelg, interrupt rate must be positive\n" + kExiting);

  r = run({"tivzero.pelg"});
  EXPECT_EQ(r.status, -12);
  EXPECT_EQ(r.out,
            opened(1, "tivzero.pelg") + "# ERROR: File tivzero.pelg, interrupt rate must be positive\n" + kExiting);
}

TEST_F(Validation, BoardListingWithTivAndOptionNumbering) {
  write("a.pelg", kT, huxSchedule(), tivSchedule());
  write("b.pelg", kT + 600000, huxSchedule(), tivSchedule());
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

TEST_F(Validation, BoardListingWithoutTiv) {
  write("a.pelg", kT);
  const RunResult r = run({"a.pelg"});
  EXPECT_EQ(validationPart(r.out), opened(1, "a.pelg") + kHuxListing +
                                       "# INFO: [ 1] starts at Tue Nov 14 22:13:20 2023\n"
                                       "# INFO: Sorted order:\n"
                                       "# INFO: [ 1] starts at Tue Nov 14 22:13:20 2023\n" +
                                       kValid);
}

TEST_F(Validation, FilesWithTivThenWithoutAreAccepted) {
  write("a.pelg", kT, huxSchedule(), tivSchedule());
  write("b.pelg", kT + 600000);
  const RunResult r = run({"a.pelg", "b.pelg"});
  // The first file carries TIV data, so its TIV tables are listed.
  EXPECT_EQ(validationPart(r.out),
            opened(1, "a.pelg") + opened(2, "b.pelg") + kHuxListing + kTivListing +
                "# INFO: [ 1] starts at Tue Nov 14 22:13:20 2023\n"
                "# INFO: [ 2] starts at Tue Nov 14 22:23:20 2023\n"
                "# INFO: Sorted order:\n"
                "# INFO: [ 1] starts at Tue Nov 14 22:13:20 2023\n"
                "# INFO: [ 2] starts at Tue Nov 14 22:23:20 2023   (  0 hours 10 mins  0.00 seconds from previous file)\n" +
                kValid);
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
            "# INFO: Error checking for headers is disabled\n"
            "# INFO: This may result in corrupt files\n" +
                opened(1, "a.pelg") + opened(2, "b.pelg") + kHuxListing +
                "# INFO: [ 2] starts at Tue Nov 14 22:13:20 2023\n"
                "# INFO: [ 3] starts at Tue Nov 14 23:36:40 2023\n"
                "# INFO: Sorted order:\n"
                "# INFO: [ 2] starts at Tue Nov 14 22:13:20 2023\n"
                "# INFO: [ 3] starts at Tue Nov 14 23:36:40 2023   (  1 hours 23 mins 20.00 seconds from previous file)\n" +
                kValid);
}

TEST_F(Validation, TooManyFilesBeforeAnyIsOpened) {
  const std::vector<std::string> names(4097, "missing.pelg");
  const RunResult r = run(names);
  EXPECT_EQ(r.status, -4);
  EXPECT_EQ(r.out,
            "# ERROR: Too many pelg files on input path, unable to process\n"
            "# ERROR:  max files for this version is set to 4096\n" +
                kExiting);
  EXPECT_EQ(r.err, "");
}

TEST_F(Validation, ProgramNameAloneGivesUsage) {
  const RunResult r = run({});
  EXPECT_EQ(r.status, -1);
  EXPECT_EQ(r.out.substr(0, 40), "pelgToMatlab [-options] <input file(s)>\n");
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 30);
}

}  // namespace
