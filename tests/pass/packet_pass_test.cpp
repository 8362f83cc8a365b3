#include "pass/packet_pass.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "common/fatal_error.h"
#include "output/output_state.h"
#include "output/parse_state.h"
#include "pelg_builder/pelg_builder.h"
#include "support/test_support.h"

namespace {

using pelgbuild::PelgBuilder;
using testsupport::CapturedConsole;
using testsupport::readFile;

// HUX board: M 1000, microphone 100 Hz (one sample per interrupt),
// accelerometer 10 Hz; nothing else scheduled.
pelgbuild::HuxSchedule huxSchedule() {
  pelgbuild::HuxSchedule s;
  s.interrupt_count = 1000;
  s.mic_hz = 100;
  s.accelerometer_hz = 100;
  s.amb_light_hz = s.barometer_hz = s.compass_hz = s.dals_hz = s.humidity_hz = 0;
  return s;
}

// TIV board: M 500, gyroscope one sample per interrupt, magnetometer 0.1.
pelgbuild::TivSchedule tivSchedule() {
  pelgbuild::TivSchedule s;
  s.interrupt_count = 500;
  s.gyro = 500;
  s.magnetometer = 50;
  return s;
}

// The record that validation fills for a file with these schedules.
InputFileInfo infoFor(int32_t fileNumber, bool tivInfo) {
  InputFileInfo info;
  info.fileNumber = fileNumber;
  info.huxInterruptRate = 1000;
  info.huxChannelRates = {1000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 100, 100, 100};  // audio, accelerometer
  if (tivInfo) {
    info.hasTiv = 1;
    info.tivInterruptRate = 500;
    info.tivChannelRates = {500, 500, 500, 500, 500, 500, 50, 50, 50};
  }
  return info;
}

pelgbuild::Bytes audio(uint8_t ts, uint16_t ic, int count) {
  return pelgbuild::huxAudio(ts, ic, std::vector<int16_t>(static_cast<size_t>(count), 7));
}

pelgbuild::Bytes accel(uint8_t ts, uint16_t ic) {
  pelgbuild::HuxReadings r;
  r.accel = std::array<int16_t, 3>{100, -200, 300};
  return pelgbuild::huxSensor(ts, ic, r);
}

pelgbuild::Bytes gyro(uint8_t ts, uint16_t ic, bool withMag = false) {
  pelgbuild::TivReadings r;
  r.gyro = std::array<int16_t, 6>{1, 2, 3, 4, 5, 6};
  if (withMag) r.magX = r.magY = r.magZ = 9;
  return pelgbuild::tivSensor(ts, ic, r);
}

pelgbuild::Bytes gps(size_t count, uint8_t first) {
  pelgbuild::Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return pelgbuild::sirf(bytes);
}

// One PELG file in the making; packets get timestamps 10 ms apart. tivInfo is
// what validation learned of its TIV board.
struct FilePlan {
  explicit FilePlan(uint64_t start, bool withTiv = true)
      : tivInfo(withTiv),
        builder(pelgbuild::standardHeader(
            start, huxSchedule(), withTiv ? std::optional(tivSchedule()) : std::nullopt)) {}
  FilePlan(const pelgbuild::PelgHeader& header, bool tiv) : tivInfo(tiv), builder(header) {}
  FilePlan& hux(const pelgbuild::Bytes& payload) { return add(pelgbuild::kHuxId, payload); }
  FilePlan& tiv(const pelgbuild::Bytes& payload) { return add(pelgbuild::kTivId, payload); }
  FilePlan& sirf(const pelgbuild::Bytes& payload) { return add(pelgbuild::kSirfId, payload); }
  FilePlan& add(uint16_t id, const pelgbuild::Bytes& payload) {
    builder.packet(id, timestamp += 10, payload);
    return *this;
  }

  bool tivInfo;
  PelgBuilder builder;
  uint32_t timestamp = 0;
};

struct PassResult {
  int status = 0;
  std::string out, err;
  PassCounters counters;
};

// A recording on disk: the argument list (program name first), the records
// and the run's options.
struct Recording {
  testsupport::TempDir dir;
  std::vector<std::string> names{"pelgToMatlab"};
  std::vector<InputFileInfo> files;
  RunOptions options;

  void add(const FilePlan& plan) {
    names.push_back(dir.file("f" + std::to_string(names.size()) + ".pelg"));
    plan.builder.writeTo(names.back());
    files.push_back(infoFor(static_cast<int32_t>(names.size() - 1), plan.tivInfo));
  }

  PassResult run(ParseState* output = nullptr) {
    PassResult result;
    CapturedConsole captured;
    InputOpener opener(captured.console());
    try {
      result.status = runPacketPass(files.data(), static_cast<int>(files.size()), names, options,
                                    result.counters, output, opener, captured.console());
    } catch (const FatalError& e) {
      result.status = e.status();
    }
    result.out = captured.out();
    result.err = captured.err();
    return result;
  }
};

// The timing fields that the pass fills in a record: each board's first and
// last counters (ts/ic), the reference elapsed and roll-over sums (HUX, TIV),
// and the first audio index.
std::string timing(const InputFileInfo& f) {
  auto n = [](auto value) { return static_cast<long long>(value); };
  char text[320];
  std::snprintf(text, sizeof text,
                "hux %lld/%lld %lld/%lld tiv %lld/%lld %lld/%lld ref %lld %lld roll %lld %lld audio %lld",
                n(f.huxFirstTimeCounter), n(f.huxFirstInterruptCounter), n(f.huxLastTimeCounter),
                n(f.huxLastInterruptCounter), n(f.tivFirstTimeCounter), n(f.tivFirstInterruptCounter),
                n(f.tivLastTimeCounter), n(f.tivLastInterruptCounter), n(f.huxReferenceElapsed),
                n(f.tivReferenceElapsed), n(f.huxRolloverInterrupts), n(f.tivRolloverInterrupts),
                n(f.firstAudioIndex));
  return text;
}

// Everything the pass fills in the records, for comparing two runs: the
// timing fields, the packets read, the last packet's time, the last time
// index and the damage counted.
std::string record(const InputFileInfo& f) {
  std::string text = timing(f) + " read " + std::to_string(f.packetsRead) + " last " +
                     std::to_string(f.lastPacketMs) + " index " + std::to_string(f.huxLastTimeIndex);
  for (const DamageCount& c : f.damage.byKind)
    text += " " + std::to_string(c.events) + "/" + std::to_string(c.bytes) + "/" + std::to_string(c.packets);
  return text;
}

// The write pass's output state with every writer switched off, so that only
// the pass's own effects (and the GPS side file) remain.
class SilentOutputs {
 public:
  explicit SilentOutputs(Recording& r) {
    initParseState(state_, console_.console());
    OutputRequest request;
    request.outputDir = r.options.outputDir;
    request.writeWavFile = request.writeDataOut = request.writeCompleteData = false;
    createOutputs(state_, request, r.files.data(), static_cast<int>(r.files.size()), r.names, scan_);
  }
  // Closes the outputs and moves them into place.
  void close() { closeOutputs(state_); }
  ParseState* state() { return &state_; }

 private:
  CapturedConsole console_;
  PassCounters scan_;
  ParseState state_;
};

// The per-channel counters, samples decoded / aligned counts: HUX channels 0-13, then TIV 0-8.
std::string counts(const PassCounters& c) {
  std::string text;
  auto add = [&text](const char* label, const auto& values) {
    text += label;
    for (int32_t v : values) text += " " + std::to_string(v);
  };
  add("hux", c.huxSampleTotals), add(" /", c.huxAlignedCounts);
  add(" tiv", c.tivSampleTotals), add(" /", c.tivAlignedCounts);
  return text;
}

// Two files of one recording, both boards, with a gap in the audio and the
// second file ten minutes on.
void addCleanRecording(Recording& r) {
  r.add(FilePlan(1000000).hux(audio(0, 10, 10)).tiv(gyro(5, 100)).hux(accel(0, 20)).hux(audio(0, 20, 10))
            .tiv(gyro(5, 110, true)).hux(audio(0, 60, 10)));
  r.add(FilePlan(1600000).hux(audio(10, 0, 10)).tiv(gyro(6, 0)).hux(accel(10, 10)));
}

// HUX 254 -> 0, then TIV 9 -> 8: breaks that are no 255 -> 0 roll-over.
void addBrokenFile(Recording& r) {
  r.add(FilePlan(1000000).hux(accel(254, 990)).hux(accel(0, 5)).tiv(gyro(9, 0)).tiv(gyro(8, 0)).hux(accel(0, 15)));
}

const std::string kBreak254At2 =
    "# WARNING: ---------------------\n"
    "# WARNING: HUX, PELG Packet      2, Break detected in timestamps, previous timeElapsed went from 0 to "
    "-254985\n"
    "# WARNING: Interrupt max:    1000. Previous:  254 ts,   990 int, current:    0 ts,     5 int\n"
    "# WARNING: This will be treated as a wrap around event\n";
const std::string kSkipped2And4 =
    "# INFO: Skipping blacklisted pelg packet       2\n# INFO: Skipping blacklisted pelg packet       4\n";

// One pass over a recording in the scratch directory, which is the output
// directory unless the setup says otherwise: the status, the setup, the exact
// console lines (where '@' stands for the last file on the command line and
// '%' for the scratch directory), where given the timing() of every record and
// the counts(), and the side files.
struct PassCase {
  const char* name;
  int status;
  void (*setup)(Recording&);
  std::string out;
  std::vector<std::string> timings = {};
  std::string counts = "";
  std::string err = "";
  std::string gps = "";         // the write pass's GPS side file
  std::string timestamps = "";  // timestamps.txt
  std::vector<int64_t> packetsRead = {};  // per record, where given: a failed run's report tells them
};

void PrintTo(const PassCase& c, std::ostream* os) { *os << c.name; }

std::string expand(const std::string& text, const Recording& r) {
  std::string result;
  for (char c : text) result += c == '@' ? r.names.back() : c == '%' ? r.dir.path() : std::string(1, c);
  return result;
}

std::vector<PassCase> passCases() {
  return {
      {.name = "CleanRecordingFillsTimingAndCounts", .status = 1, .setup = addCleanRecording,
       .out = "# INFO:   File [ 1]\n# INFO:   File [ 2]\n",
       // The first file's index offset carries on: (10+1)*1000 + 0 + 1 - 1011.
       .timings = {"hux 0/10 0/60 tiv 5/100 5/110 ref 0 0 roll 0 0 audio 0",
                   "hux 10/0 10/10 tiv 6/0 6/0 ref 0 0 roll 0 0 audio 9990"},
       // Audio: 10, 20, then 20 missing before the gap's packet (50), then 9930
       // missing in the second file's first packet (9990). Accelerometer: 1,
       // then 997 missing (999). Gyroscope: 1, 10 (8 missing), 400 at index
       // 400 in the second file.
       .counts = "hux 40 0 0 0 0 0 0 0 0 0 2 2 2 0 / 9990 0 0 0 0 0 0 0 0 0 999 999 999 0 "
                 "tiv 3 3 3 3 3 3 1 1 1 / 400 400 400 400 400 400 1 1 1"},
      {.name = "RolloverFrom255To0IsAWrapAround", .status = 1, .setup = [](Recording& r) {
         r.add(FilePlan(1000000, false).hux(accel(255, 980)).hux(accel(255, 990)).hux(audio(0, 5, 1))
                   .hux(accel(0, 15)));
       },
       .out = "# INFO:   File [ 1]\n"
              "# WARNING: ---------------------\n"
              "# WARNING: HUX, PELG Packet      3, Break detected in timestamps, previous timeElapsed went "
              "from 0 to -255985\n"
              "# WARNING: Interrupt max:    1000. Previous:  255 ts,   990 int, current:    0 ts,     5 int\n"
              "# WARNING: This will be treated as a wrap around event\n",
       // The audio packet after the wrap lies the counters' forward distance
       // (255/990 -> 0/5: 15 interrupts) after index 10; the roll-over sum is
       // one cycle; no TIV information: the TIV fields stay unset.
       .timings = {"hux 255/980 0/15 tiv -1/-1 -1/-1 ref 0 -1 roll 256000 0 audio 25"},
       .counts = "hux 1 0 0 0 0 0 0 0 0 0 3 3 3 0 / 25 0 0 0 0 0 0 0 0 0 3 3 3 0 "
                 "tiv 0 0 0 0 0 0 0 0 0 / 0 0 0 0 0 0 0 0 0"},
      {.name = "IgnoringRolloversTakesEveryBreakAsAWrapAround", .status = 1, .setup = [](Recording& r) {
         addBrokenFile(r);
         r.options.checkRollover = false;
       },
       .out = "# INFO:   File [ 1]\n" + kBreak254At2 +
              "# WARNING: ---------------------\n"
              "# WARNING: TIV, PELG Packet      4, Break detected in timestamps, previous timeElapsed went "
              "from 0 to -500\n"
              "# WARNING: Interrupt max:     500. Previous:    9 ts,     0 int, current:    8 ts,     0 int\n"
              "# WARNING: This will be treated as a wrap around event\n",
       // Roll-over sums 254*1000+990+1 and 9*500+0+1.
       .timings = {"hux 254/990 0/15 tiv 9/0 8/0 ref 0 0 roll 254991 4501 audio -1"}},
      {.name = "BreakOtherThanARolloverEndsTheRun", .status = -11, .setup = addBrokenFile,
       .out = "# INFO:   File [ 1]\n" + kBreak254At2 +
              "# ERROR: This wrap around even was not a 255->0 roll over event\n# ERROR: Exiting\n"
              "# ERROR: If you want to ignore this use -ignoreRollover, this may result in corrupt files\n",
       .packetsRead = {2}},
      // Right after stray bytes, a packet whose counters step back in a way
      // neither clock explains loses its readings with a warning; the run
      // goes on (without the damage before it, the same step ends the run).
      {.name = "BreakRightAfterDamageDropsTheReadings", .status = 1, .setup = [](Recording& r) {
         FilePlan plan(1000000);
         plan.hux(accel(0, 5));
         plan.builder.raw({0x5A, 0xA5, 0x00, 0x13, 0x37, 0xFF, 0x42});
         plan.hux(accel(0, 3));
         r.add(plan);
       },
       .out = "# INFO:   File [ 1]\n# WARNING: file index 473, PELG Packet's ID is invalid\n"
              "# WARNING: PELG Error mode, looking for new pelg packet, start pos: 474\n"
              "# WARNING: PELG Error mode, found new pelg packet, at pos: 480 (6 bytes skipped)\n"
              "# WARNING: HUX, PELG Packet      2, its board counters break the time line right after damage: its "
              "readings are dropped\n",
       // One accelerometer reading kept of the two.
       .counts = "hux 0 0 0 0 0 0 0 0 0 0 1 1 1 0 / 0 0 0 0 0 0 0 0 0 0 1 1 1 0 "
                 "tiv 0 0 0 0 0 0 0 0 0 / 0 0 0 0 0 0 0 0 0"},
      {.name = "TivInformationAfterAFileWithoutItEndsTheRun", .status = -10, .setup = [](Recording& r) {
         r.add(FilePlan(1000000, false).hux(audio(0, 0, 1)));
         r.add(FilePlan(1100000, true).hux(audio(1, 0, 1)));
       },
       .out = "# INFO:   File [ 1]\n# INFO:   File [ 2]\n"
              "# ERROR: File @, contains TIV data wheareas the previous files do not!\n# ERROR: Exiting\n"},
      {.name = "UnopenableFileEndsTheRun", .status = -8, .setup = [](Recording& r) {
         r.add(FilePlan(1000000).hux(accel(0, 1)));
         r.names[1] = r.dir.file("gone.pelg");
       },
       .out = "# INFO:   File [ 1]\n# ERROR: Unable to open file @\n# ERROR: Exiting\n",
       .err = "ERROR: can't open file @\n"},
      {.name = "FileWithoutAPelgHeaderEndsTheRun", .status = -9, .setup = [](Recording& r) {
         r.add(FilePlan(1000000).hux(accel(0, 1)));
         pelgbuild::PelgHeader header = pelgbuild::standardHeader(1100000, huxSchedule());
         header.magic = "PELX";
         r.add(FilePlan(header, false));
       },
       .out = "# INFO:   File [ 1]\n# INFO:   File [ 2]\n"
              "# ERROR: File @, does not have a PELG v2 header\n# ERROR: Exiting\n"},
      {.name = "FileWithoutBoardInformationEndsTheRun", .status = -10, .setup = [](Recording& r) {
         pelgbuild::PelgHeader header;
         header.startTime = 1000000;
         header.devices.push_back(pelgbuild::plainDevice("sgps"));
         r.add(FilePlan(header, false));
       },
       .out = "# INFO:   File [ 1]\n# ERROR: File @, no calibration/info data\n# ERROR: Exiting\n"},
      {.name = "TimestampFileThatCannotBeCreatedEndsTheRun", .status = -1, .setup = [](Recording& r) {
         r.add(FilePlan(1000000).hux(accel(0, 1)));
         r.options.writeTimestampFile = true;
         r.options.outputDir = r.dir.path() + "/missing/";
       },
       .out = "# ERROR: Unable to open %/missing/\n"
              "# ERROR: Unable to create %/missing/.timestamps.txt.partial: No such file or directory\n"
              "# ERROR: Exiting\n"},
      // Index 0 belongs to the file read first; the other is placed 10 steps on.
      {.name = "FilesAreReadInTheOrderOfTheTable", .status = 1, .setup = [](Recording& r) {
         r.add(FilePlan(2000000).hux(audio(20, 0, 1)));
         r.add(FilePlan(1000000).hux(audio(10, 0, 1)));
         std::swap(r.files[0], r.files[1]);  // the table as sorted by start time
       },
       .out = "# INFO:   File [ 2]\n# INFO:   File [ 1]\n",
       .timings = {"hux 10/0 10/0 tiv -1/-1 -1/-1 ref 0 -1 roll 0 0 audio 0",
                   "hux 20/0 20/0 tiv -1/-1 -1/-1 ref 0 -1 roll 0 0 audio 10000"}},
      {.name = "FileWithoutHuxPacketsKeepsUnsetHuxFields", .status = 1,
       .setup = [](Recording& r) { r.add(FilePlan(1000000).tiv(gyro(1, 1)).sirf(gps(4, 0))); },
       .out = "# INFO:   File [ 1]\n",
       .timings = {"hux -1/-1 -1/-1 tiv 1/1 1/1 ref -1 0 roll 0 0 audio -1"},
       .gps = std::string("\0\1\2\3", 4)},
      {.name = "MicrophoneWithoutARateSetsNoAudioIndex", .status = 1, .setup = [](Recording& r) {
         r.add(FilePlan(1000000, false).hux(audio(0, 0, 5)));
         r.files[0].huxChannelRates[kHuxAudio] = 0;
       },
       .out = "# INFO:   File [ 1]\n",
       .timings = {"hux 0/0 0/0 tiv -1/-1 -1/-1 ref 0 -1 roll 0 0 audio -1"},
       .counts = "hux 5 0 0 0 0 0 0 0 0 0 0 0 0 0 / 5 0 0 0 0 0 0 0 0 0 0 0 0 0 "
                 "tiv 0 0 0 0 0 0 0 0 0 / 0 0 0 0 0 0 0 0 0"},
      // The second file has a TIV device without information, so its TIV
      // packets are still decoded and timed, but its last TIV counters are not
      // recorded.
      {.name = "FilesWithoutTivInformationAfterOnesWithItAreAccepted", .status = 1, .setup = [](Recording& r) {
         r.add(FilePlan(1000000, true).tiv(gyro(0, 3)));
         pelgbuild::PelgHeader header = pelgbuild::standardHeader(1100000, huxSchedule());
         header.devices.push_back(pelgbuild::plainDevice("tiv "));
         r.add(FilePlan(header, false).hux(audio(1, 0, 1)).tiv(gyro(0, 9)));
         r.add(FilePlan(1200000, false).hux(audio(2, 0, 1)));
       },
       .out = "# INFO:   File [ 1]\n# INFO:   File [ 2]\n# INFO:   File [ 3]\n",
       .timings = {"hux -1/-1 -1/-1 tiv 0/3 0/3 ref -1 0 roll 0 0 audio -1",
                   "hux 1/0 1/0 tiv 0/9 -1/-1 ref 0 0 roll 0 0 audio 0",
                   "hux 2/0 2/0 tiv -1/-1 -1/-1 ref 0 -1 roll 0 0 audio 1000"}},
      // Blacklist {2, 4}: in the first file a TIV packet (2) and the last HUX
      // packet (4), in the second the first HUX packet (2) and the last TIV
      // packet (4). The blacklisted TIV packets' readings (magnetometer
      // included) are nowhere; HUX ends at index 1000 in the second file, TIV
      // at index 480.
      {.name = "BlacklistedPacketsLeaveNoSamplesAndNoTimingOnEitherBoard", .status = 1,
       .setup = [](Recording& r) {
         r.add(FilePlan(1000000).hux(accel(0, 10)).tiv(gyro(0, 10, true)).tiv(gyro(0, 20)).hux(accel(0, 20)));
         r.add(FilePlan(1100000).tiv(gyro(1, 0)).hux(accel(1, 0)).hux(accel(1, 10)).tiv(gyro(1, 10, true)));
         r.options.useBlacklist = true;
         r.options.blacklist = {2, 4};
       },
       .out = "# INFO:   File [ 1]\n" + kSkipped2And4 + "# INFO:   File [ 2]\n" + kSkipped2And4,
       .timings = {"hux 0/10 0/10 tiv 0/20 0/20 ref 0 0 roll 0 0 audio -1",
                   "hux 1/10 1/10 tiv 1/0 1/0 ref 0 0 roll 0 0 audio -1"},
       .counts = "hux 0 0 0 0 0 0 0 0 0 0 2 2 2 0 / 0 0 0 0 0 0 0 0 0 0 99 99 99 0 "
                 "tiv 2 2 2 2 2 2 0 0 0 / 480 480 480 480 480 480 0 0 0"},
      {.name = "TimestampModeWritesEveryTimedPacketAndEndsTheRun", .status = -1, .setup = [](Recording& r) {
         r.add(FilePlan(1000000).hux(audio(3, 17, 2)).tiv(gyro(200, 300)).tiv(pelgbuild::tivAux(4))
                   .sirf(gps(3, 0)).hux(accel(3, 27)));
         r.add(FilePlan(1100000).tiv(gyro(201, 0)).hux(accel(4, 0)));
         r.options.writeTimestampFile = true;
       },
       .out = "# INFO: Writing ascii timestamps to %/\n# INFO:   File [ 1]\n# INFO:   File [ 2]\n"
              "# INFO: Closing timestmap.txt file\n# INFO: Exiting\n",
       .timestamps = "M, 1, 3, 17\nL, 2, 200, 300\nM, 5, 3, 27\nL, 1, 201, 0\nM, 2, 4, 0\n"},
      // The first packet of every file is blacklisted: GPS bytes are kept all the same.
      {.name = "WritePassCollectsGpsBytesOfEveryFile", .status = 1, .setup = [](Recording& r) {
         r.add(FilePlan(1000000).sirf(gps(20, 0x10)).sirf(gps(0, 0)));
         r.add(FilePlan(1100000).sirf(gps(255, 0)).sirf(gps(3, 0xA0)));
         r.options.useBlacklist = true;
         r.options.blacklist = {1};
       },
       .out = "# INFO:   File [ 1]\n# INFO: Skipping blacklisted pelg packet       1\n"
              "# INFO:   File [ 2]\n# INFO: Skipping blacklisted pelg packet       1\n",
       .gps = "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1a\x1b\x1c\x1d\x1e\x1f\x20\x21\x22\x23\xA0\xA1\xA2"},
      {.name = "ProgressLinesCountTheCallThatFindsTheEnd", .status = 1, .setup = [](Recording& r) {
         r.add(FilePlan(1000000).hux(accel(0, 10)).hux(accel(0, 20)).hux(accel(0, 30)));
         r.add(FilePlan(1100000).hux(accel(1, 10)));
         r.options.printProgress = true;
         r.options.printProgressMax = 2;
       },
       .out = "# INFO:   File [ 1]\n# INFO: read 2 packets\n# INFO: read 4 packets\n# INFO: read 4 packets\n"
              "# INFO:   File [ 2]\n# INFO: read 2 packets\n# INFO: read 2 packets\n"},
  };
}

class PacketPass : public ::testing::TestWithParam<PassCase> {};

std::vector<std::string> timings(const std::vector<InputFileInfo>& files) {
  std::vector<std::string> result;
  for (const InputFileInfo& info : files) result.push_back(timing(info));
  return result;
}

TEST_P(PacketPass, ScanAndWritePasses) {
  const PassCase& c = GetParam();
  Recording r;
  r.options.outputDir = r.dir.path() + "/";
  const std::string side = r.dir.file("sirfGPSOutput.bin");
  testsupport::writeFile(side, "left over from an earlier run");
  c.setup(r);
  const PassResult scan = r.run();
  EXPECT_EQ(scan.status, c.status);
  EXPECT_EQ(scan.out, expand(c.out, r));
  EXPECT_EQ(scan.err, expand(c.err, r));
  const std::vector<std::string> afterScan = timings(r.files);
  if (!c.timings.empty()) {
    EXPECT_EQ(afterScan, c.timings);
  }
  if (!c.counts.empty()) {
    EXPECT_EQ(counts(scan.counters), c.counts);
  }
  if (!c.packetsRead.empty()) {
    std::vector<int64_t> packetsRead;
    for (const InputFileInfo& info : r.files) packetsRead.push_back(info.packetsRead);
    EXPECT_EQ(packetsRead, c.packetsRead);
  }
  EXPECT_EQ(readFile(r.dir.file("timestamps.txt")), c.timestamps);
  // The scan pass never touches the GPS side file.
  EXPECT_EQ(readFile(side), "left over from an earlier run");
  if (r.options.writeTimestampFile) return;
  std::vector<std::string> records;
  for (const InputFileInfo& info : r.files) records.push_back(record(info));
  // The scan reading ahead on a thread of its own leaves the same lines,
  // records and counts, or fails in the same place.
  const int threadsBefore = r.options.threads;
  r.options.threads = 2;
  for (InputFileInfo& info : r.files) resetPassTiming(info);
  const PassResult readAhead = r.run();
  r.options.threads = threadsBefore;
  EXPECT_EQ(readAhead.status, c.status);
  EXPECT_EQ(readAhead.out, scan.out);
  EXPECT_EQ(readAhead.err, scan.err);
  std::vector<std::string> recordsAhead;
  for (const InputFileInfo& info : r.files) recordsAhead.push_back(record(info));
  EXPECT_EQ(recordsAhead, records);
  EXPECT_EQ(counts(readAhead.counters), counts(scan.counters));
  // The write pass repeats the scan pass's lines, timing and counts, or its
  // failure, and replaces the side file by the GPS bytes once the outputs are
  // closed: on one thread, and with the outputs' thread printing its lines.
  for (const int32_t threads : {1, 2}) {
    SCOPED_TRACE(threads);
    r.options.threads = threads;
    testsupport::writeFile(side, "left over from an earlier run");
    for (InputFileInfo& info : r.files) resetPassTiming(info);
    SilentOutputs outputs(r);
    const PassResult write = r.run(outputs.state());
    EXPECT_EQ(write.status, c.status);
    EXPECT_EQ(write.out, scan.out);
    EXPECT_EQ(write.err, scan.err);
    if (c.status != 1) continue;
    EXPECT_EQ(timings(r.files), afterScan);
    EXPECT_EQ(counts(write.counters), counts(scan.counters));
    EXPECT_EQ(readFile(side), "left over from an earlier run");
    outputs.close();
    EXPECT_EQ(readFile(side), c.gps);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, PacketPass, ::testing::ValuesIn(passCases()),
                         [](const ::testing::TestParamInfo<PassCase>& info) { return info.param.name; });

TEST(PacketPassSideFiles, TimestampFileGoesToTheCurrentDirectoryWithoutAnOutputDirectory) {
  Recording r;
  r.add(FilePlan(1000000).hux(accel(0, 1)));
  r.options.writeTimestampFile = true;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(r.dir.path());
  const PassResult result = r.run();
  std::filesystem::current_path(previous);
  EXPECT_EQ(result.status, -1);
  EXPECT_EQ(result.out,
            "# INFO: Writing ascii timestamps to \n# INFO:   File [ 1]\n"
            "# INFO: Closing timestmap.txt file\n# INFO: Exiting\n");
  EXPECT_EQ(readFile(r.dir.file("timestamps.txt")), "M, 1, 0, 1\n");
}

}  // namespace
