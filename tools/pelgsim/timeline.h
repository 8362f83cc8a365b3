// The plan of a recording on the boards' interrupt time line, made before any
// byte is written: which interrupts each file covers, where the stretches
// without packets lie, where the time counter rolls over and where damage is
// made.
//
// Interrupt t counts from 0 at the first interrupt of the recording; the board
// counter at t is counterStart + t, giving the time counter
// ((counterStart + t) / M) mod 256 and the interrupt counter
// (counterStart + t) mod M; the TIV board counts the same way from
// tivCounterStart. A roll-over point w is an interrupt whose time counter is 0
// and interrupt counter 0. Pauses between files and gaps inside them fall
// wherever the plan puts them, across roll-overs too, as on the platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pelgsim/logger_clock.h"
#include "pelgsim/random.h"
#include "pelgsim/sim_options.h"

namespace pelgsim {

// Interrupts [begin, end).
struct Interval {
  int64_t begin = 0;
  int64_t end = 0;
};

struct FilePlan {
  int64_t begin = 0;  // first interrupt of the file
  int64_t end = 0;    // one past its last interrupt
  std::vector<Interval> gaps;  // inside [begin, end), ascending, apart from each other
  uint64_t startMs = 0;        // header start time: the logger's time of interrupt `begin`
};

struct Timeline {
  int64_t interruptRate = 0;  // M, tenths of a hertz: M interrupts last 10 s
  int64_t totalInterrupts = 0;
  int64_t counterStart = 0;     // HUX2 board counter at interrupt 0
  int64_t tivCounterStart = 0;  // TIV board counter at interrupt 0
  std::vector<FilePlan> files;
  std::vector<int64_t> strayTargets;    // ascending interrupts; damage at the first packet at or after
  std::vector<int64_t> corruptTargets;  // ascending
  LoggerClock logger;                   // stamps the packets and the files' start times

  // Milliseconds from interrupt 0 to interrupt t.
  int64_t millisAt(int64_t t) const { return t * 10000 / interruptRate; }
  double secondsAt(int64_t t) const { return static_cast<double>(t) * 10.0 / static_cast<double>(interruptRate); }
  // The first roll-over point at or after t of the board whose counter at
  // interrupt 0 is `start` (the HUX2 board's unless given).
  int64_t nextRolloverPoint(int64_t t, int64_t start) const;
  int64_t nextRolloverPoint(int64_t t) const { return nextRolloverPoint(t, counterStart); }
  // Roll-over points that lie inside the files (the converter warns about each).
  int rolloversInFiles() const;
};

// Plans the recording; throws std::invalid_argument with a message for the
// user when the options cannot be met (too short for the files, gaps that do
// not fit, rates the boards cannot deliver).
Timeline planTimeline(const SimOptions& options);

}  // namespace pelgsim
