// A run of the three writers in-process, for the output tests: a two-file
// recording whose reference file has 10 interrupts per second, sensors at
// 10 Hz and the microphone at 40 Hz (rates in tenths of a hertz), created
// from hand-set scan counts, fed packet by packet and closed in a scratch
// directory; and the readers of what it wrote (libmatio, libsndfile).
#pragma once

#include <sndfile.h>

#include <array>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "common/fatal_error.h"
#include "output/complete_data_plan.h"
#include "output/mat_read_back.h"
#include "output/output_state.h"
#include "output/parse_state.h"
#include "support/test_support.h"

namespace writertest {

// One interrupt is 0.1 s: every sensor channel has one sample per
// interrupt, the microphone four.
inline constexpr int32_t kInterruptRate = 100;
inline constexpr int32_t kSensorRate = 100;
inline constexpr int32_t kAudioRate = 400;
inline constexpr uint64_t kStart = 1710406800000ull;

class WriterRun {
 public:
  explicit WriterRun(bool tiv = false) : files(2) {
    InputFileInfo& reference = files[0];
    reference.startTime = kStart;
    reference.fileNumber = 3;
    reference.huxBoardNumber = 0x1234;
    reference.huxInterruptRate = kInterruptRate;
    reference.huxChannelRates.fill(kSensorRate);
    reference.huxChannelRates[kHuxAudio] = kAudioRate;
    reference.firstAudioIndex = 5;
    if (tiv) {
      reference.hasTiv = 1;
      reference.tivBoardNumber = 0x42;
      reference.tivInterruptRate = kInterruptRate;
      reference.tivChannelRates.fill(kSensorRate);
    }
    files[1] = reference;
    files[1].fileNumber = 2;
    args = {"pelgToMatlab", "-integerOutput", "first.pelg", "second.pelg"};
    request.outputDir = dir.path() + "/";
    calibration.hfLightGain = 3;
    state = std::make_unique<ParseState>();
  }

  // Creates the outputs; returns the status of a run that ended, 0 otherwise.
  int create() {
    initParseState(*state, captured.console());
    try {
      createOutputs(*state, request, files.data(), fileCount, args, scan, planned ? &plan : nullptr);
    } catch (const FatalError& e) {
      return e.status();
    }
    return 0;
  }
  void hux(int32_t packet, int64_t t, const HuxSamples& samples) {
    writePacketSamples(*state, packet, t, samples, calibration, 0, TivSamples{});
  }
  // With the gain of the packet's high-frequency light reading.
  void hux(int32_t packet, int64_t t, const HuxSamples& samples, int32_t gain) {
    calibration.hfLightGain = gain;
    hux(packet, t, samples);
  }
  void tiv(int32_t packet, int64_t t, const TivSamples& samples) {
    writePacketSamples(*state, packet, 0, HuxSamples{}, calibration, t, samples);
  }
  void close() { closeOutputs(*state); }
  // What the scan pass counted: {HUX channel, samples decoded, aligned count}.
  void counted(std::initializer_list<std::array<int32_t, 3>> entries) {
    for (const auto& [channel, total, aligned] : entries) {
      scan.huxSampleTotals[channel] = total;
      scan.huxAlignedCounts[channel] = aligned;
    }
  }

  std::string out() const { return captured.out(); }
  std::string path(const char* name) const { return dir.file(name); }
  readback::Var dataOut() const { return readback::load(dir.file("dataOut.mat"), "dataOut"); }
  readback::Var completeData() const { return readback::load(dir.file("completeData.mat"), "completeData"); }

  std::vector<InputFileInfo> files;
  int fileCount = 2;
  PassCounters scan;
  CompleteDataPlan plan;  // handed to createOutputs when planned
  bool planned = false;
  std::vector<std::string> args;
  OutputRequest request;
  HuxCalibrationState calibration;
  testsupport::TempDir dir;
  testsupport::CapturedConsole captured;
  std::unique_ptr<ParseState> state;
};

inline HuxSamples audioPacket(std::vector<int16_t> values) {
  HuxSamples samples;
  for (int16_t v : values) samples.append(kHuxAudio, v, v / 32768.0);
  return samples;
}

// completeSensorAudio.wav as libsndfile reads it: format, samples and strings.
struct Wav {
  SF_INFO info{};
  std::vector<int16_t> samples;
  std::string title = "<no file>", comment, software, date;
};

inline Wav readWav(const std::string& path) {
  Wav wav;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &wav.info);
  if (!file) return wav;
  wav.samples.resize(static_cast<size_t>(wav.info.frames));
  sf_read_short(file, wav.samples.data(), wav.info.frames);
  auto text = [file](int type) {
    const char* value = sf_get_string(file, type);
    return std::string(value ? value : "<none>");
  };
  wav.title = text(SF_STR_TITLE), wav.comment = text(SF_STR_COMMENT);
  wav.software = text(SF_STR_SOFTWARE), wav.date = text(SF_STR_DATE);
  sf_close(file);
  return wav;
}

}  // namespace writertest
