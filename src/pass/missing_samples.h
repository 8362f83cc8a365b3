// The aligned sample count of one sensor channel: the samples the channel
// delivered plus the samples it should have delivered by the current time and
// did not. The outputs are sized from these counts, and the gaps they leave are
// filled by the writers from the time indices.
#pragma once

#include <cstdint>

#include "common/console.h"

// Brings alignedCount up to date for a packet that brought newCount samples of a
// channel sampled at `rate` on a board interrupting at `baseRate` (both in
// tenths of a hertz), the packet lying at interrupt `timeIndex`.
//
// A packet without samples of the channel (newCount 0) changes nothing.
// Otherwise a shortfall of two samples or more against the rate counts all but
// one of the shortfall's whole samples as missing, then newCount is added to
// alignedCount and newCount is set to 0. A channel that got ahead of its rate is
// reported on the console (the run goes on). A non-positive baseRate gives no
// expectation: nothing is counted as missing and nothing is reported.
//
// Counts and the time index are 64-bit: a week of audio passes 2^31 samples.
//
// Returns the number of samples counted as missing by this call.
int64_t computeNumMissingSamples(int32_t rate, int32_t baseRate, int32_t& newCount,
                                 int64_t& alignedCount, int64_t timeIndex, Console& console);
