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

// Whether the double arithmetic above is exact for a channel, so that whole
// numbers give the same results faster: rate / baseRate must be a fraction
// whose reduced denominator 2^k is a power of two, and the expected count must
// stay below 2^(52 - k). Computed once per file and channel.
struct RateForm {
  bool exact = false;
  int64_t rate = 0;
  int64_t baseRate = 0;
  int64_t expectedLimit = 0;  // expected counts below this are exact in double arithmetic
  // expectedLimit x baseRate, saturated: numerators from here on reach the limit.
  int64_t numeratorLimit = 0;
  // The time indices whose numerator rate x (timeIndex + 1) stays below
  // numeratorLimit lie below this one; 0 for a form that is not exact.
  int64_t timeIndexLimit = 0;
  // The aligned counts below this one are below expectedLimit, and any of
  // them plus any new count, times baseRate, fits 64 bits; 0 for a form that
  // is not exact.
  int64_t alignedLimit = 0;
};

RateForm rateFormOf(int32_t rate, int32_t baseRate);

// The console line of a channel that got ahead of its rate.
void reportExceedsExpected(int64_t expectedCeiling, int64_t alignedCount, Console& console);

// computeNumMissingSamples for a channel of the given form: the same result
// and console lines, in integer arithmetic where the form is exact.
inline int64_t accountSamples(const RateForm& form, int32_t rate, int32_t baseRate, int32_t& newCount,
                              int64_t& alignedCount, int64_t timeIndex, Console& console) {
  if (newCount == 0) return 0;
  // Negative indices and counts, compared unsigned, lie past the limits too.
  if (static_cast<uint64_t>(timeIndex) >= static_cast<uint64_t>(form.timeIndexLimit) ||
      static_cast<uint64_t>(alignedCount) >= static_cast<uint64_t>(form.alignedLimit)) {
    return computeNumMissingSamples(rate, baseRate, newCount, alignedCount, timeIndex, console);
  }
  // expected = numerator / baseRate, exactly. The checks compare products
  // rather than divide: this runs for every channel of every packet.
  const int64_t numerator = form.rate * (timeIndex + 1);
  int64_t missing = 0;
  const int64_t owed = numerator - (static_cast<int64_t>(newCount) + alignedCount) * form.baseRate;
  if (owed >= 2 * form.baseRate) {
    missing = owed / form.baseRate - 1;
    alignedCount += missing;
  }
  // alignedCount > ceil(numerator / baseRate) exactly when
  // (alignedCount - 1) x baseRate >= numerator. The product fits: what was
  // missing brings the count up to the expected one at most.
  if ((alignedCount - 1) * form.baseRate >= numerator)
    reportExceedsExpected((numerator + form.baseRate - 1) / form.baseRate, alignedCount, console);
  alignedCount += newCount;
  newCount = 0;
  return missing;
}
