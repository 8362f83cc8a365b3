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

// Closing dataOut.mat, when one is open (it is moved into place by
// commitOutputs), in three steps, so that the writing can run beside other
// work: gatherDataOut prints the closing lines, reconciles the sizes and puts
// the arrays into the struct; storeDataOut writes the "dataOut" variable and
// closes the file, printing nothing and touching only the file and its
// struct, false when the file could not be written whole; failDataOutStore
// then prints the failure lines and throws FatalError(-8).
void gatherDataOut(ParseState& state);
bool storeDataOut(ParseState& state);
[[noreturn]] void failDataOutStore(ParseState& state);
// The three steps in turn.
void closeDataOut(ParseState& state);
