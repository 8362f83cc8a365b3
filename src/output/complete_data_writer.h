// completeData.mat: every channel on a uniform time base. A channel's array
// has as many rows as its rate and the covered time call for; gaps are filled
// with the last value (1.0 before the first), and a sparse logical mask per
// channel marks the filled rows. The file is laid out from the scan pass's
// aligned counts and its count of filled rows, and written into place as the
// pass goes; nothing is ever stored at or beyond a channel's rows.
#pragma once

#include <cstdint>
#include <string>

#include "decoders/sample_buffers.h"
#include "output/complete_data_plan.h"
#include "output/data_out_writer.h"
#include "output/parse_state.h"
#include "common/pass_counters.h"

// Opens completeData.mat (under its temporary name) and creates the struct,
// the channel arrays, masks, time and sample-rate fields and the top-level
// fields. Needs state.reference and state.alignedCounts set. Throws FatalError(-8) when the file
// cannot be made.
// plan, when given, holds the scan pass's count of every mask's rows.
void createCompleteData(ParseState& state, const std::string& outputDir, const PassCounters& scan,
                        const ProvenanceTexts& provenance, const CompleteDataPlan* plan);

// Fills the gap before the packet and stores the first value of each source
// that the packet carries, and the channel's first/last time.
void appendCompleteData(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                        const HuxSamples& hux, int64_t tivTimeIndex, const TivSamples& tiv);

// Closes completeData.mat, when one is open (it is moved into place by
// closeOutputs): prints the closing lines, reconciles the sizes, writes the
// times, masks and the rest of the file and syncs it. Prints the failure
// lines and throws FatalError(-8) when the file could not be written whole.
void closeCompleteData(ParseState& state);
