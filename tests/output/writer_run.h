// A run of the three writers in-process, for the tests of the output formats:
// a two-file recording whose reference file has 10 interrupts per second,
// sensors at 10 Hz and the microphone at 40 Hz (rates in tenths of a hertz),
// created, fed packet by packet and closed in a scratch directory.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/fatal_error.h"
#include "output/output_state.h"
#include "output/parse_state.h"
#include "support/test_support.h"

namespace writertest {

inline constexpr int32_t kInterruptRate = 100;
inline constexpr int32_t kSensorRate = 100;
inline constexpr int32_t kAudioRate = 400;

class WriterRun {
 public:
  explicit WriterRun(bool tiv = false) : files(2) {
    InputFileInfo& reference = files[0];
    reference.startTime = 1710406800000ull;
    reference.fileNumber = 2;
    reference.huxBoardNumber = 0x1234;
    reference.huxInterruptRate = kInterruptRate;
    reference.huxChannelRates.fill(kSensorRate);
    reference.huxChannelRates[kHuxAudio] = kAudioRate;
    reference.firstAudioIndex = 0;
    if (tiv) {
      reference.hasTiv = 1;
      reference.tivBoardNumber = 0x42;
      reference.tivInterruptRate = kInterruptRate;
      reference.tivChannelRates.fill(kSensorRate);
    }
    files[1] = reference;
    files[1].fileNumber = 1;
    args = {"pelgToMatlab", "first.pelg", "second.pelg"};
    request.outputDir = dir.path() + "/";
    state = std::make_unique<ParseState>();
  }

  // Creates the outputs; returns the status of a run that ended, 0 otherwise.
  int create() {
    initParseState(*state, captured.console());
    try {
      createOutputs(*state, request, files.data(), 2, args, scan);
    } catch (const FatalError& e) {
      return e.status();
    }
    return 0;
  }
  void hux(int32_t packet, int64_t t, const HuxSamples& samples) {
    writePacketSamples(*state, packet, t, samples, calibration, 0, TivSamples{});
  }
  void tiv(int32_t packet, int64_t t, const TivSamples& samples) {
    writePacketSamples(*state, packet, 0, HuxSamples{}, calibration, t, samples);
  }
  void close() { closeOutputs(*state); }

  std::string out() const { return captured.out(); }
  std::string path(const char* name) const { return dir.file(name); }

  std::vector<InputFileInfo> files;
  PassCounters scan;
  std::vector<std::string> args;
  OutputRequest request;
  HuxCalibrationState calibration;
  testsupport::TempDir dir;
  testsupport::CapturedConsole captured;
  std::unique_ptr<ParseState> state;
};

}  // namespace writertest
