// dataOut.mat: every decoded sample as found, one value per channel per
// packet, each with the time of its packet, and the statistics of the
// recording. The file is laid out from the scan pass's sample totals and the
// columns are written into place as the pass goes.
#pragma once

#include <cstdint>
#include <string>

#include "decoders/hux2_decoder.h"
#include "decoders/sample_buffers.h"
#include "output/parse_state.h"
#include "common/pass_counters.h"

struct ProvenanceTexts {
  std::string createdBy;
  std::string sourceFiles;
};

// Opens dataOut.mat (under its temporary name) and creates the struct, the
// channel arrays and the statistics fields. Needs state.reference set. Throws
// FatalError(-8) when the file cannot be made.
void createDataOut(ParseState& state, const std::string& outputDir, const PassCounters& scan,
                   const ProvenanceTexts& provenance);

// Stores the first value of each source in the packet, with its time.
void appendDataOut(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                   const HuxSamples& hux, const HuxCalibrationState& calibration,
                   int64_t tivTimeIndex, const TivSamples& tiv);

// Closes dataOut.mat, when one is open (it is moved into place by
// closeOutputs): prints the closing lines, gives a channel that received
// fewer values than counted the rows it has, writes the rest of the file and
// syncs it. Prints the failure lines and throws FatalError(-8) when the file
// could not be written whole.
void closeDataOut(ParseState& state);
