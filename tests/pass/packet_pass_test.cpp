#include "pass/packet_pass.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "common/fatal_error.h"
#include "output/output_state.h"
#include "output/parse_state.h"
#include "pelg_builder/pelg_builder.h"
#include "support/test_support.h"

namespace {

using pelgbuild::HuxReadings;
using pelgbuild::HuxSchedule;
using pelgbuild::PelgBuilder;
using pelgbuild::TivReadings;
using pelgbuild::TivSchedule;
using testsupport::CapturedConsole;
using testsupport::TempDir;

// HUX board: 100 interrupts a second (M 1000), microphone 100 Hz (one sample
// per interrupt), accelerometer 10 Hz; nothing else scheduled.
HuxSchedule huxSchedule() {
  HuxSchedule s;
  s.interrupt_count = 1000;
  s.mic_hz = 100;
  s.accelerometer_hz = 100;
  s.amb_light_hz = s.barometer_hz = s.compass_hz = s.dals_hz = s.humidity_hz = 0;
  return s;
}

// TIV board: M 500, gyroscope one sample per interrupt, magnetometer 0.1.
TivSchedule tivSchedule() {
  TivSchedule s;
  s.interrupt_count = 500;
  s.gyro = 500;
  s.magnetometer = 50;
  return s;
}

// The record that validation fills for a file with these schedules.
InputFileInfo infoFor(int32_t fileNumber, const HuxSchedule& hux, const std::optional<TivSchedule>& tiv) {
  InputFileInfo info;
  info.fileNumber = fileNumber;
  info.huxInterruptRate = hux.interrupt_count;
  info.huxChannelRates = {hux.mic_hz * 10,   hux.barometer_hz,     hux.compass_hz,
                          hux.amb_light_hz,  hux.humidity_hz,      hux.dals_hz,
                          hux.dals_hz,       hux.barometer_hz,     hux.humidity_hz,
                          hux.dals_hz,       hux.accelerometer_hz, hux.accelerometer_hz,
                          hux.accelerometer_hz, hux.accelerometer_hz};
  if (tiv) {
    info.hasTiv = 1;
    info.tivInterruptRate = tiv->interrupt_count;
    info.tivChannelRates = {tiv->gyro, tiv->gyro, tiv->gyro, tiv->gyro, tiv->gyro, tiv->gyro,
                            tiv->magnetometer, tiv->magnetometer, tiv->magnetometer};
  }
  return info;
}

pelgbuild::Bytes audio(uint8_t ts, uint16_t ic, int count) {
  return pelgbuild::huxAudio(ts, ic, std::vector<int16_t>(static_cast<size_t>(count), 7));
}

pelgbuild::Bytes accel(uint8_t ts, uint16_t ic) {
  HuxReadings r;
  r.accel = std::array<int16_t, 3>{100, -200, 300};
  return pelgbuild::huxSensor(ts, ic, r);
}

pelgbuild::Bytes gyro(uint8_t ts, uint16_t ic, bool withMag = false) {
  TivReadings r;
  r.gyro = std::array<int16_t, 6>{1, 2, 3, 4, 5, 6};
  if (withMag) r.magX = r.magY = r.magZ = 9;
  return pelgbuild::tivSensor(ts, ic, r);
}

pelgbuild::Bytes sirfBytes(size_t count, uint8_t first) {
  pelgbuild::Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

// One PELG file in the making; packets get timestamps 10 ms apart.
struct FileSpec {
  explicit FileSpec(uint64_t start, bool withTiv = true)
      : tiv(withTiv ? std::optional<TivSchedule>(tivSchedule()) : std::nullopt),
        builder(pelgbuild::standardHeader(start, huxSchedule(), tiv)) {}
  // A file with a header of its own; tivInfo is what validation learned of its TIV board.
  FileSpec(const pelgbuild::PelgHeader& header, std::optional<TivSchedule> tivInfo)
      : tiv(tivInfo), builder(header) {}
  FileSpec& hux(const pelgbuild::Bytes& payload) { return add(pelgbuild::kHuxId, payload); }
  FileSpec& tivPacket(const pelgbuild::Bytes& payload) { return add(pelgbuild::kTivId, payload); }
  FileSpec& sirf(const pelgbuild::Bytes& payload) { return add(pelgbuild::kSirfId, payload); }
  FileSpec& add(uint16_t id, const pelgbuild::Bytes& payload) {
    timestamp += 10;
    builder.packet(id, timestamp, payload);
    return *this;
  }

  std::optional<TivSchedule> tiv;
  PelgBuilder builder;
  uint32_t timestamp = 0;
};

// A recording on disk: the argument list (program name first) and the records.
struct Recording {
  TempDir dir;
  std::vector<std::string> names{"pelgToMatlab"};
  std::vector<InputFileInfo> files;

  std::string add(const FileSpec& spec) {
    const std::string path = dir.file("f" + std::to_string(names.size()) + ".pelg");
    spec.builder.writeTo(path);
    names.push_back(path);
    files.push_back(infoFor(static_cast<int32_t>(names.size() - 1), huxSchedule(), spec.tiv));
    return path;
  }
};

struct PassResult {
  int status = 0;
  std::string out;
  std::string err;
  PassCounters counters;
};

PassResult runPass(Recording& recording, RunOptions& options, ParseState* output = nullptr) {
  PassResult result;
  CapturedConsole captured;
  InputOpener opener(captured.console());
  try {
    result.status = runPacketPass(recording.files.data(), static_cast<int>(recording.files.size()),
                                  recording.names, options, result.counters, output, opener,
                                  captured.console());
  } catch (const FatalError& e) {
    result.status = e.status();
  }
  result.out = captured.out();
  result.err = captured.err();
  return result;
}

// The write pass's output state with every writer switched off, so that only
// the pass's own effects (and the GPS side file) remain.
class SilentOutputs {
 public:
  SilentOutputs(Recording& recording, const std::string& outputDir) {
    initParseState(state_, console_.console());
    OutputRequest request;
    request.outputDir = outputDir;
    request.writeWavFile = request.writeDataOut = request.writeCompleteData = false;
    createOutputs(state_, request, recording.files.data(), static_cast<int>(recording.files.size()),
                  recording.names, scan_);
  }
  ~SilentOutputs() { closeOutputs(state_); }
  ParseState* state() { return &state_; }

 private:
  CapturedConsole console_;
  PassCounters scan_;
  ParseState state_;
};

template <size_t N>
std::array<int32_t, N> filled(std::initializer_list<std::pair<int, int32_t>> entries) {
  std::array<int32_t, N> a{};
  for (auto [index, value] : entries) a[static_cast<size_t>(index)] = value;
  return a;
}

// Two files of one recording, both boards, with a gap in the audio and the
// second file ten minutes on.
void addCleanRecording(Recording& r) {
  r.add(FileSpec(1000000)
            .hux(audio(0, 10, 10))
            .tivPacket(gyro(5, 100))
            .hux(accel(0, 20))
            .hux(audio(0, 20, 10))
            .tivPacket(gyro(5, 110, true))
            .hux(audio(0, 60, 10)));
  r.add(FileSpec(1600000).hux(audio(10, 0, 10)).tivPacket(gyro(6, 0)).hux(accel(10, 10)));
}

TEST(PacketPass, CleanRecordingFillsTimingAndCounts) {
  Recording r;
  addCleanRecording(r);
  RunOptions options;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "# INFO:   File [ 1]\n# INFO:   File [ 2]\n");
  EXPECT_EQ(result.err, "");

  const InputFileInfo& a = r.files[0];
  EXPECT_EQ(a.huxFirstTimeCounter, 0);
  EXPECT_EQ(a.huxFirstInterruptCounter, 10);
  EXPECT_EQ(a.huxLastTimeCounter, 0);
  EXPECT_EQ(a.huxLastInterruptCounter, 60);
  EXPECT_EQ(a.tivFirstTimeCounter, 5);
  EXPECT_EQ(a.tivFirstInterruptCounter, 100);
  EXPECT_EQ(a.tivLastTimeCounter, 5);
  EXPECT_EQ(a.tivLastInterruptCounter, 110);
  EXPECT_EQ(a.huxReferenceElapsed, 0);
  EXPECT_EQ(a.tivReferenceElapsed, 0);
  EXPECT_EQ(a.huxRolloverInterrupts, 0);
  EXPECT_EQ(a.tivRolloverInterrupts, 0);
  EXPECT_EQ(a.firstAudioIndex, 0);

  const InputFileInfo& b = r.files[1];
  EXPECT_EQ(b.huxFirstTimeCounter, 10);
  EXPECT_EQ(b.huxFirstInterruptCounter, 0);
  EXPECT_EQ(b.huxLastTimeCounter, 10);
  EXPECT_EQ(b.huxLastInterruptCounter, 10);
  EXPECT_EQ(b.tivFirstTimeCounter, 6);
  EXPECT_EQ(b.tivFirstInterruptCounter, 0);
  EXPECT_EQ(b.tivLastTimeCounter, 6);
  EXPECT_EQ(b.tivLastInterruptCounter, 0);
  EXPECT_EQ(b.huxReferenceElapsed, 0);
  // The first file's index offset carries on: (10+1)*1000 + 0 + 1 - 1011.
  EXPECT_EQ(b.firstAudioIndex, 9990);

  const PassCounters& c = result.counters;
  EXPECT_EQ(c.huxSampleTotals,
            (filled<14>({{kHuxAudio, 40}, {kHuxXAccel, 2}, {kHuxYAccel, 2}, {kHuxZAccel, 2}})));
  // Audio: 10, 20, then 20 missing before the gap's packet (50), then 9930
  // missing in the second file's first packet (9990). Accelerometer: 1, then
  // 997 missing (999).
  EXPECT_EQ(c.huxAlignedCounts,
            (filled<14>({{kHuxAudio, 9990}, {kHuxXAccel, 999}, {kHuxYAccel, 999}, {kHuxZAccel, 999}})));
  EXPECT_EQ(c.tivSampleTotals, (TivCounts{3, 3, 3, 3, 3, 3, 1, 1, 1}));
  // Gyroscope: 1, 10 (8 missing), 400 at index 400 in the second file.
  EXPECT_EQ(c.tivAlignedCounts, (TivCounts{400, 400, 400, 400, 400, 400, 1, 1, 1}));
}

TEST(PacketPass, ScanAndWritePassesAgree) {
  Recording r;
  addCleanRecording(r);
  RunOptions options;
  options.outputDir = r.dir.path() + "/";
  PassResult scan = runPass(r, options);
  const std::vector<InputFileInfo> afterScan = r.files;
  for (InputFileInfo& info : r.files) resetPassTiming(info);
  SilentOutputs outputs(r, options.outputDir);
  PassResult write = runPass(r, options, outputs.state());
  EXPECT_EQ(write.status, 1);
  EXPECT_EQ(write.out, scan.out);
  EXPECT_EQ(write.counters.huxAlignedCounts, scan.counters.huxAlignedCounts);
  EXPECT_EQ(write.counters.tivAlignedCounts, scan.counters.tivAlignedCounts);
  EXPECT_EQ(write.counters.huxSampleTotals, scan.counters.huxSampleTotals);
  for (size_t i = 0; i < r.files.size(); ++i) {
    EXPECT_EQ(r.files[i].huxLastInterruptCounter, afterScan[i].huxLastInterruptCounter);
    EXPECT_EQ(r.files[i].firstAudioIndex, afterScan[i].firstAudioIndex);
  }
  // A write pass over files without GPS packets leaves an empty side file.
  EXPECT_TRUE(testsupport::fileExists(r.dir.file("sirfGPSOutput.bin")));
  EXPECT_EQ(testsupport::readFile(r.dir.file("sirfGPSOutput.bin")), "");
}

TEST(PacketPass, RolloverFrom255To0IsAWrapAround) {
  Recording r;
  r.add(FileSpec(1000000, false)
            .hux(accel(255, 980))
            .hux(accel(255, 990))
            .hux(audio(0, 5, 1))
            .hux(accel(0, 15)));
  RunOptions options;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "# INFO:   File [ 1]\n"
            "# WARNING: ---------------------\n"
            "# WARNING: HUX, PELG Packet      3, Break detected in timestamps, previous timeElapsed "
            "went from 0 to -255985\n"
            "# WARNING: Interrupt max:    1000. Previous:  255 ts,   990 int, current:    0 ts,     5 "
            "int\n"
            "# WARNING: This will be treated as a wrap around event\n");
  const InputFileInfo& f = r.files[0];
  EXPECT_EQ(f.huxRolloverInterrupts, 255991);
  EXPECT_EQ(f.huxFirstTimeCounter, 255);
  EXPECT_EQ(f.huxFirstInterruptCounter, 980);
  EXPECT_EQ(f.huxLastTimeCounter, 0);
  EXPECT_EQ(f.huxLastInterruptCounter, 15);
  // The audio packet after the wrap lies one interrupt after index 10.
  EXPECT_EQ(f.firstAudioIndex, 11);
  // No TIV information: the TIV counters stay unset.
  EXPECT_EQ(f.tivLastTimeCounter, -1);
  EXPECT_EQ(result.counters.huxAlignedCounts,
            (filled<14>({{kHuxAudio, 11}, {kHuxXAccel, 3}, {kHuxYAccel, 3}, {kHuxZAccel, 3}})));
}

FileSpec brokenFile() {
  FileSpec spec(1000000);
  spec.hux(accel(254, 990)).hux(accel(0, 5)).tivPacket(gyro(9, 0)).tivPacket(gyro(8, 0)).hux(accel(0, 15));
  return spec;
}

TEST(PacketPass, BreakOtherThanARolloverEndsTheRun) {
  Recording r;
  r.add(brokenFile());
  RunOptions options;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, -11);
  EXPECT_EQ(result.out,
            "# INFO:   File [ 1]\n"
            "# WARNING: ---------------------\n"
            "# WARNING: HUX, PELG Packet      2, Break detected in timestamps, previous timeElapsed "
            "went from 0 to -254985\n"
            "# WARNING: Interrupt max:    1000. Previous:  254 ts,   990 int, current:    0 ts,     5 "
            "int\n"
            "# WARNING: This will be treated as a wrap around event\n"
            "# ERROR: This wrap around even was not a 255->0 roll over event\n"
            "# ERROR: Exiting\n"
            "# ERROR: If you want to ignore this use -ignoreRollover, this may result in corrupt "
            "files\n");
}

TEST(PacketPass, IgnoringRolloversTakesEveryBreakAsAWrapAround) {
  Recording r;
  r.add(brokenFile());
  RunOptions options;
  options.checkRollover = false;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "# INFO:   File [ 1]\n"
            "# WARNING: ---------------------\n"
            "# WARNING: HUX, PELG Packet      2, Break detected in timestamps, previous timeElapsed "
            "went from 0 to -254985\n"
            "# WARNING: Interrupt max:    1000. Previous:  254 ts,   990 int, current:    0 ts,     5 "
            "int\n"
            "# WARNING: This will be treated as a wrap around event\n"
            "# WARNING: ---------------------\n"
            "# WARNING: TIV, PELG Packet      4, Break detected in timestamps, previous timeElapsed "
            "went from 0 to -500\n"
            "# WARNING: Interrupt max:     500. Previous:    9 ts,     0 int, current:    8 ts,     0 "
            "int\n"
            "# WARNING: This will be treated as a wrap around event\n");
  EXPECT_EQ(r.files[0].huxRolloverInterrupts, 254 * 1000 + 990 + 1);
  EXPECT_EQ(r.files[0].tivRolloverInterrupts, 9 * 500 + 0 + 1);
  EXPECT_EQ(r.files[0].huxLastInterruptCounter, 15);
  EXPECT_EQ(r.files[0].tivLastTimeCounter, 8);
}

TEST(PacketPass, FilesAreReadInTheOrderOfTheTable) {
  Recording r;
  r.add(FileSpec(2000000).hux(audio(20, 0, 1)));
  r.add(FileSpec(1000000).hux(audio(10, 0, 1)));
  std::swap(r.files[0], r.files[1]);  // the table as sorted by start time
  RunOptions options;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "# INFO:   File [ 2]\n# INFO:   File [ 1]\n");
  // Index 0 belongs to the file read first; the other is placed 10 steps on.
  EXPECT_EQ(r.files[0].fileNumber, 2);
  EXPECT_EQ(r.files[0].firstAudioIndex, 0);
  EXPECT_EQ(r.files[1].firstAudioIndex, 10000);
  EXPECT_EQ(r.files[1].huxFirstTimeCounter, 20);
}

TEST(PacketPass, FileWithoutHuxPacketsKeepsUnsetHuxCounters) {
  Recording r;
  r.add(FileSpec(1000000).tivPacket(gyro(1, 1)).sirf(pelgbuild::sirf(sirfBytes(4, 0))));
  RunOptions options;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, 1);
  const InputFileInfo& f = r.files[0];
  EXPECT_EQ(f.huxFirstTimeCounter, -1);
  EXPECT_EQ(f.huxFirstInterruptCounter, -1);
  EXPECT_EQ(f.huxLastTimeCounter, -1);
  EXPECT_EQ(f.huxLastInterruptCounter, -1);
  EXPECT_EQ(f.huxReferenceElapsed, -1);
  EXPECT_EQ(f.firstAudioIndex, -1);
  EXPECT_EQ(f.tivLastTimeCounter, 1);
  EXPECT_EQ(f.tivLastInterruptCounter, 1);
}

TEST(PacketPass, MicrophoneWithoutARateSetsNoAudioIndex) {
  Recording r;
  r.add(FileSpec(1000000, false).hux(audio(0, 0, 5)));
  r.files[0].huxChannelRates[kHuxAudio] = 0;
  RunOptions options;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(r.files[0].firstAudioIndex, -1);
  EXPECT_EQ(result.counters.huxSampleTotals[kHuxAudio], 5);
  EXPECT_EQ(result.counters.huxAlignedCounts[kHuxAudio], 5);
}

TEST(PacketPass, TivInformationAfterAFileWithoutItEndsTheRun) {
  Recording r;
  r.add(FileSpec(1000000, false).hux(audio(0, 0, 1)));
  const std::string second = r.add(FileSpec(1100000, true).hux(audio(1, 0, 1)));
  RunOptions options;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, -10);
  EXPECT_EQ(result.out, "# INFO:   File [ 1]\n# INFO:   File [ 2]\n# ERROR: File " + second +
                            ", contains TIV data wheareas the previous files do not!\n"
                            "# ERROR: Exiting\n");
}

TEST(PacketPass, FilesWithoutTivInformationAfterOnesWithItAreAccepted) {
  Recording r;
  r.add(FileSpec(1000000, true).tivPacket(gyro(0, 3)));
  // The second file has a TIV device without information, so its TIV packets
  // are still decoded and timed, but its last TIV counters are not recorded.
  pelgbuild::PelgHeader header = pelgbuild::standardHeader(1100000, huxSchedule());
  header.devices.push_back(pelgbuild::plainDevice("tiv "));
  r.add(FileSpec(header, std::nullopt).hux(audio(1, 0, 1)).tivPacket(gyro(0, 9)));
  r.add(FileSpec(1200000, false).hux(audio(2, 0, 1)));
  RunOptions options;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "# INFO:   File [ 1]\n# INFO:   File [ 2]\n# INFO:   File [ 3]\n");
  EXPECT_EQ(r.files[0].tivLastInterruptCounter, 3);
  EXPECT_EQ(r.files[1].tivFirstInterruptCounter, 9);
  EXPECT_EQ(r.files[1].tivLastTimeCounter, -1);
  EXPECT_EQ(r.files[1].tivLastInterruptCounter, -1);
  EXPECT_EQ(r.files[2].tivLastTimeCounter, -1);
}

// Blacklist {2, 4}: in the first file a TIV packet (2) and the last HUX packet
// (4), in the second the first HUX packet (2) and the last TIV packet (4).
TEST(PacketPass, BlacklistedPacketsLeaveNoSamplesAndNoTimingOnEitherBoard) {
  Recording r;
  r.add(FileSpec(1000000).hux(accel(0, 10)).tivPacket(gyro(0, 10, true)).tivPacket(gyro(0, 20)).hux(accel(0, 20)));
  r.add(FileSpec(1100000).tivPacket(gyro(1, 0)).hux(accel(1, 0)).hux(accel(1, 10)).tivPacket(gyro(1, 10, true)));
  RunOptions options;
  options.useBlacklist = true;
  options.blacklist = {2, 4};
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "# INFO:   File [ 1]\n"
            "# INFO: Skipping blacklisted pelg packet       2\n"
            "# INFO: Skipping blacklisted pelg packet       4\n"
            "# INFO:   File [ 2]\n"
            "# INFO: Skipping blacklisted pelg packet       2\n"
            "# INFO: Skipping blacklisted pelg packet       4\n");
  const InputFileInfo& a = r.files[0];
  EXPECT_EQ(a.huxFirstInterruptCounter, 10);
  EXPECT_EQ(a.huxLastInterruptCounter, 10);
  EXPECT_EQ(a.tivFirstInterruptCounter, 20);
  EXPECT_EQ(a.tivLastInterruptCounter, 20);
  const InputFileInfo& b = r.files[1];
  EXPECT_EQ(b.huxFirstTimeCounter, 1);
  EXPECT_EQ(b.huxFirstInterruptCounter, 10);
  EXPECT_EQ(b.tivLastTimeCounter, 1);
  EXPECT_EQ(b.tivLastInterruptCounter, 0);

  const PassCounters& c = result.counters;
  EXPECT_EQ(c.huxSampleTotals, (filled<14>({{kHuxXAccel, 2}, {kHuxYAccel, 2}, {kHuxZAccel, 2}})));
  // The blacklisted TIV packets' readings (magnetometer included) are nowhere.
  EXPECT_EQ(c.tivSampleTotals, (TivCounts{2, 2, 2, 2, 2, 2, 0, 0, 0}));
  // HUX: index 1000 in the second file; TIV: index 480.
  EXPECT_EQ(c.huxAlignedCounts, (filled<14>({{kHuxXAccel, 99}, {kHuxYAccel, 99}, {kHuxZAccel, 99}})));
  EXPECT_EQ(c.tivAlignedCounts, (TivCounts{480, 480, 480, 480, 480, 480, 0, 0, 0}));
}

TEST(PacketPass, ProgressLinesCountTheCallThatFindsTheEnd) {
  Recording r;
  r.add(FileSpec(1000000).hux(accel(0, 10)).hux(accel(0, 20)).hux(accel(0, 30)));
  r.add(FileSpec(1100000).hux(accel(1, 10)));
  RunOptions options;
  options.printProgress = true;
  options.printProgressMax = 2;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out,
            "# INFO:   File [ 1]\n"
            "# INFO: read 2 packets\n"
            "# INFO: read 4 packets\n"
            "# INFO: read 4 packets\n"
            "# INFO:   File [ 2]\n"
            "# INFO: read 2 packets\n"
            "# INFO: read 2 packets\n");
}

TEST(PacketPass, TimestampModeWritesEveryTimedPacketAndEndsTheRun) {
  Recording r;
  r.add(FileSpec(1000000)
            .hux(audio(3, 17, 2))
            .tivPacket(gyro(200, 300))
            .tivPacket(pelgbuild::tivAux(4))
            .sirf(pelgbuild::sirf(sirfBytes(3, 0)))
            .hux(accel(3, 27)));
  r.add(FileSpec(1100000).tivPacket(gyro(201, 0)).hux(accel(4, 0)));
  RunOptions options;
  options.writeTimestampFile = true;
  options.outputDir = r.dir.path() + "/";
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, -1);
  EXPECT_EQ(result.out, "# INFO: Writing ascii timestamps to " + options.outputDir +
                            "\n"
                            "# INFO:   File [ 1]\n"
                            "# INFO:   File [ 2]\n"
                            "# INFO: Closing timestmap.txt file\n"
                            "# INFO: Exiting\n");
  EXPECT_EQ(options.timestampFile, nullptr);
  EXPECT_EQ(testsupport::readFile(r.dir.file("timestamps.txt")),
            "M, 1, 3, 17\n"
            "L, 2, 200, 300\n"
            "M, 5, 3, 27\n"
            "L, 1, 201, 0\n"
            "M, 2, 4, 0\n");
  // The scan pass never touches the GPS side file.
  EXPECT_FALSE(testsupport::fileExists(r.dir.file("sirfGPSOutput.bin")));
}

TEST(PacketPass, TimestampFileGoesToTheCurrentDirectoryWithoutAnOutputDirectory) {
  Recording r;
  r.add(FileSpec(1000000).hux(accel(0, 1)));
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(r.dir.path());
  RunOptions options;
  options.writeTimestampFile = true;
  PassResult result = runPass(r, options);
  std::filesystem::current_path(previous);
  EXPECT_EQ(result.status, -1);
  EXPECT_EQ(result.out,
            "# INFO: Writing ascii timestamps to \n"
            "# INFO:   File [ 1]\n"
            "# INFO: Closing timestmap.txt file\n"
            "# INFO: Exiting\n");
  EXPECT_EQ(testsupport::readFile(r.dir.file("timestamps.txt")), "M, 1, 0, 1\n");
}

TEST(PacketPass, TimestampFileThatCannotBeCreatedEndsTheRun) {
  Recording r;
  r.add(FileSpec(1000000).hux(accel(0, 1)));
  RunOptions options;
  options.writeTimestampFile = true;
  options.outputDir = r.dir.path() + "/missing/";
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, -1);
  EXPECT_EQ(result.out, "# ERROR: Unable to open " + options.outputDir + "\n# ERROR: Exiting\n");
}

TEST(PacketPass, WritePassCollectsGpsBytesOfEveryFile) {
  Recording r;
  r.add(FileSpec(1000000)
            .sirf(pelgbuild::sirf(sirfBytes(20, 0x10)))
            .sirf(pelgbuild::sirf({})));
  r.add(FileSpec(1100000)
            .sirf(pelgbuild::sirf(sirfBytes(255, 0)))
            .sirf(pelgbuild::sirf(sirfBytes(3, 0xA0))));
  RunOptions options;
  options.outputDir = r.dir.path() + "/";
  // The first packet of every file is blacklisted: GPS bytes are kept all the same.
  options.useBlacklist = true;
  options.blacklist = {1};
  const std::string sidePath = r.dir.file("sirfGPSOutput.bin");
  testsupport::writeFile(sidePath, "left over from an earlier run");

  PassResult scan = runPass(r, options);
  EXPECT_EQ(scan.status, 1);
  EXPECT_EQ(testsupport::readFile(sidePath), "left over from an earlier run");

  SilentOutputs outputs(r, options.outputDir);
  PassResult write = runPass(r, options, outputs.state());
  EXPECT_EQ(write.status, 1);
  EXPECT_EQ(write.out,
            "# INFO:   File [ 1]\n"
            "# INFO: Skipping blacklisted pelg packet       1\n"
            "# INFO:   File [ 2]\n"
            "# INFO: Skipping blacklisted pelg packet       1\n");
  std::string expected;
  for (int i = 0; i < 20; ++i) expected.push_back(static_cast<char>(0x10 + i));
  expected += "\xA0\xA1\xA2";
  EXPECT_EQ(testsupport::readFile(sidePath), expected);
}

TEST(PacketPass, UnopenableFileEndsTheRun) {
  Recording r;
  r.add(FileSpec(1000000).hux(accel(0, 1)));
  r.names[1] = r.dir.file("gone.pelg");
  RunOptions options;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, -8);
  EXPECT_EQ(result.out,
            "# INFO:   File [ 1]\n# ERROR: Unable to open file " + r.names[1] + "\n# ERROR: Exiting\n");
  EXPECT_EQ(result.err, "ERROR: can't open file " + r.names[1] + "\n");
}

TEST(PacketPass, FileWithoutAPelgHeaderEndsTheRun) {
  Recording r;
  r.add(FileSpec(1000000).hux(accel(0, 1)));
  pelgbuild::PelgHeader header = pelgbuild::standardHeader(1100000, huxSchedule());
  header.magic = "PELX";
  PelgBuilder(header).writeTo(r.dir.file("bad.pelg"));
  r.names.push_back(r.dir.file("bad.pelg"));
  r.files.push_back(infoFor(2, huxSchedule(), std::nullopt));
  RunOptions options;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, -9);
  EXPECT_EQ(result.out, "# INFO:   File [ 1]\n# INFO:   File [ 2]\n# ERROR: File " + r.names[2] +
                            ", does not have a PELG v2 header\n# ERROR: Exiting\n");
}

TEST(PacketPass, FileWithoutBoardInformationEndsTheRun) {
  Recording r;
  pelgbuild::PelgHeader header;
  header.startTime = 1000000;
  header.devices.push_back(pelgbuild::plainDevice("sgps"));
  PelgBuilder(header).writeTo(r.dir.file("noinfo.pelg"));
  r.names.push_back(r.dir.file("noinfo.pelg"));
  r.files.push_back(infoFor(1, huxSchedule(), std::nullopt));
  RunOptions options;
  PassResult result = runPass(r, options);
  EXPECT_EQ(result.status, -10);
  EXPECT_EQ(result.out, "# INFO:   File [ 1]\n# ERROR: File " + r.names[1] +
                            ", no calibration/info data\n# ERROR: Exiting\n");
}

}  // namespace
