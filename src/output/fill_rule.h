// The rule by which completeData puts a channel on its uniform time base: a
// packet whose n values would still leave the channel 2 or more samples short
// of the samples its time calls for is preceded by filled rows, until the
// shortfall is below 2. The write pass fills by it, and the scan pass counts
// by it how many rows each mask will mark.
#pragma once

#include <cstdint>

// A channel's samples per interrupt: its rate over the interrupt rate, both
// of the reference file. Taken once per channel by a writer that places many
// packets: a division on every packet costs more than the rest of the rule.
inline double samplesPerInterrupt(int32_t rate, int32_t interruptRate) {
  return static_cast<double>(rate) / interruptRate;
}

// The samples that should exist up to and including interrupt t.
inline double expectedSamples(double perInterrupt, int64_t t) {
  return perInterrupt * (static_cast<double>(t) + 1.0);
}

// The same, from the rates: rate over interrupt rate times (t + 1).
inline double expectedSamples(int32_t rate, int32_t interruptRate, int64_t t) {
  return expectedSamples(samplesPerInterrupt(rate, interruptRate), t);
}

// The rows to fill when the shortfall is 2 or more (or expected endless).
int64_t rowsToFillGap(double expected, int64_t position, int32_t n);

// The rows to fill before n values stored from row position on: the least k
// with expected - (position + k + n) < 2, in the double arithmetic of that
// comparison. 0 when expected is not finite (an interrupt rate of 0). Most
// packets leave no gap, and are answered here.
inline int64_t rowsToFill(double expected, int64_t position, int32_t n) {
  if (!(expected - (static_cast<double>(position) + n) >= 2.0)) return 0;
  return rowsToFillGap(expected, position, n);
}
