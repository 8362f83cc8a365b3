// dataOut.mat: every decoded sample as found, one value per channel per
// packet, each with the time of its packet, and the statistics of the
// recording. Arrays are sized once from the scan pass's sample totals.
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
// FatalError(-8) when the file or struct cannot be made and FatalError(-1) when an array cannot.
void createDataOut(ParseState& state, const std::string& outputDir, const PassCounters& scan,
                   const ProvenanceTexts& provenance);

// Stores the first value of each source in the packet, with its time.
void appendDataOut(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                   const HuxSamples& hux, const HuxCalibrationState& calibration,
                   int64_t tivTimeIndex, const TivSamples& tiv);

// Reconciles the sizes, writes the "dataOut" variable and closes the file,
// when one is open (it is moved into place by commitOutputs). Throws
// FatalError(-8) when the file could not be written whole.
void closeDataOut(ParseState& state);
