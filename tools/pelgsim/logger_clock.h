// The logger's millisecond clock as it stamps packets and file headers. The
// logger's clock and the boards' crystals drift apart: by a constant rate
// (tens of parts per million) plus a slow wobble with temperature. The logger
// also stamps a packet when it writes it, not when the board sent it: it
// writes in batches every few to tens of milliseconds, so the packets of one
// batch share a timestamp that lies up to two batch periods behind the
// boards' time. Stamps never go backwards.
//
// With no drift and no batching the logger's clock is the boards' exactly
// (the recordings pelgsim wrote before it modelled either).
#pragma once

#include <cstdint>

namespace pelgsim {

struct LoggerClockSettings {
  double driftPpm = 0;    // constant rate of the logger's clock against the boards', parts per million
  double wobblePpm = 0;   // amplitude of the slow wobble on top of it (temperature)
  int64_t batchMs = 0;    // write period: packets of one period share a stamp; 0 stamps each at once
  uint64_t seed = 0;      // the write delays of the batches
};

// The settings pelgsim uses for a seed when none are asked for: drift
// within +-50 ppm, a wobble of up to 5 ppm, batches every 2 to 40 ms.
LoggerClockSettings seededLoggerClock(uint64_t seed);

class LoggerClock {
 public:
  LoggerClock() = default;
  explicit LoggerClock(const LoggerClockSettings& settings) : s_(settings) {}

  // The logger's time, in ms since the recording's first interrupt, at the
  // boards' time `boardMs` (ms since the same interrupt).
  int64_t at(int64_t boardMs) const;
  // The stamp the logger writes on a packet the boards sent at `boardMs`.
  int64_t stamp(int64_t boardMs) const;

 private:
  LoggerClockSettings s_;
};

}  // namespace pelgsim
