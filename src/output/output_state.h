// The output subsystem's face to the driver and the packet pass: initialise
// the output state, create the three outputs sized from the scan pass's
// counts, hand over the samples of every timed packet of the write pass, and
// close the outputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/console.h"
#include "decoders/hux2_decoder.h"
#include "decoders/sample_buffers.h"
#include "common/input_file_info.h"
#include "common/pass_counters.h"

struct CompleteDataPlan;
struct ParseState;
class OutputFile;

struct OutputRequest {
  std::string outputDir;  // ends with a separator
  bool integerOutput = false;
  bool writeWavFile = true;
  bool writeDataOut = true;
  bool writeCompleteData = true;
  bool forceMat73 = false;  // both MAT-files as MAT v7.3, whatever their size
  // Threads that write the MAT-files' blocks behind their writers (the
  // bytes are the same): none, one for both, or one for each.
  int32_t writeBehindThreads = 0;
};

void initParseState(ParseState& state, Console& console);

// Sizes and opens the outputs, each under its temporary name (OutputFile),
// and creates sirfGPSOutput.bin. files is the sorted table (record 0 is the
// reference file), args the argument list that fileNumber indexes, scan the
// scan pass's counters (kept by reference for the aligned HUX counts).
// Failures it cannot survive print their lines and throw FatalError.
// plan, when given, is the scan pass's count of the rows each completeData
// mask marks (without it a MAT v5 file is laid out again when it closes).
bool createOutputs(ParseState& state, const OutputRequest& request, const InputFileInfo* files,
                   int fileCount, const std::vector<std::string>& args, const PassCounters& scan,
                   const CompleteDataPlan* plan = nullptr);

// Serves the WAV file, dataOut and completeData, in that order, with the
// samples of one timed packet. Allocates nothing.
int writePacketSamples(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                       const HuxSamples& hux, const HuxCalibrationState& calibration,
                       int64_t tivTimeIndex, const TivSamples& tiv);
// Its two shares, in this order: the WAV file's (the audio samples), and the
// MAT-files' (every other reading; nothing of the audio channel).
void writePacketAudio(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex, const HuxSamples& hux);
void writePacketReadings(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex, const HuxSamples& hux,
                         const HuxCalibrationState& calibration, int64_t tivTimeIndex, const TivSamples& tiv);

// The GPS side file that the write pass's packet reader appends to; null
// until the outputs are created.
OutputFile* sirfGpsOutputOf(ParseState& state);

// Closes the WAV file, dataOut.mat, completeData.mat and sirfGPSOutput.bin,
// each only if open, then moves every one into place. Throws FatalError(-8)
// when any of them cannot be written whole; the outputs of an earlier run
// stay as they were then.
void closeOutputs(ParseState& state);
