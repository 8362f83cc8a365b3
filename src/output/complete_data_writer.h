// completeData.mat: every channel on a uniform time base. A channel's array
// has as many rows as its rate and the covered time call for; gaps are filled
// with the last value (1.0 before the first), and a sparse logical mask per
// channel marks the filled rows. Arrays are sized once from the scan pass's
// aligned counts; nothing is ever stored at or beyond a channel's rows.
#pragma once

#include <cstdint>
#include <string>

#include "decoders/sample_buffers.h"
#include "output/data_out_writer.h"
#include "output/parse_state.h"
#include "common/pass_counters.h"

// Opens completeData.mat (under its temporary name) and creates the struct,
// the channel arrays, masks, time and sample-rate fields and the top-level
// fields. Needs state.reference and state.alignedCounts set. Throws FatalError(-8) when the file or struct
// cannot be made and FatalError(-1) when an array or mask cannot.
void createCompleteData(ParseState& state, const std::string& outputDir, const PassCounters& scan,
                        const ProvenanceTexts& provenance);

// Fills the gap before the packet and stores the first value of each source
// that the packet carries, and the channel's first/last time.
void appendCompleteData(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                        const HuxSamples& hux, int64_t tivTimeIndex, const TivSamples& tiv);

// Closing completeData.mat, when one is open (it is moved into place by
// commitOutputs), in the three steps of dataOut.mat: gatherCompleteData
// prints the closing lines, reconciles the sizes and puts arrays and masks
// into the struct (FatalError(-1) when the mask struct cannot be made);
// storeCompleteData writes and closes, printing nothing, false when the file
// could not be written whole; failCompleteDataStore prints the failure lines
// and throws FatalError(-8).
void gatherCompleteData(ParseState& state);
bool storeCompleteData(ParseState& state);
[[noreturn]] void failCompleteDataStore(ParseState& state);
// The three steps in turn.
void closeCompleteData(ParseState& state);
