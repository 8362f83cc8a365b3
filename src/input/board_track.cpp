#include "input/board_track.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Steps of the 8-bit time counter in one cycle, and the milliseconds of one step.
constexpr int64_t kStepsPerCycle = 256;
constexpr int64_t kMillisPerStep = 10000;
// The counters tell only while the tolerance is at most this share of their
// cycle (320 s of 2560 s): beyond, a timestamp with a flipped high bit would
// agree with them by chance.
constexpr int64_t kTellingShare = 8;

// x modulo m, in [0, m).
int64_t wrap(int64_t x, int64_t m) {
  const int64_t r = x % m;
  return r < 0 ? r + m : r;
}

// How far a packet's counters lie from where the timestamps put them, and
// how far they may.
struct Comparison {
  bool judged = false;  // the board's last packet is known
  int64_t cycle = 0;
  int64_t disagreement = 0;  // interrupts, in (-cycle / 2, cycle / 2]
  int64_t tolerance = 0;
};

Comparison compare(const BoardTrack& track, int32_t timeCounter, int32_t interruptCounter, uint32_t timestamp) {
  Comparison c;
  const int64_t m = track.interruptsPerStep;
  if (!track.known || m <= 0) return c;
  c.judged = true;
  c.cycle = kStepsPerCycle * m;
  const int64_t counter = static_cast<int64_t>(timeCounter) * m + interruptCounter;
  // The timestamps' advance may be slightly negative: packets of one
  // millisecond arrive out of the boards' order.
  const int64_t elapsedMs = static_cast<int32_t>(timestamp - track.timestamp);
  const int64_t byTimestamps = elapsedMs * m / kMillisPerStep;
  c.disagreement = wrap(counter - track.counter - byTimestamps, c.cycle);
  if (c.disagreement > c.cycle / 2) c.disagreement -= c.cycle;
  c.tolerance = m / 5 + std::llabs(byTimestamps) / 100;
  return c;
}

}  // namespace

void resetBoardTrack(BoardTrack& track, int32_t interruptsPerStep) {
  track = BoardTrack{};
  track.interruptsPerStep = interruptsPerStep;
}

TrackVerdict judgeByBoardTrack(const BoardTrack& track, int32_t timeCounter, int32_t interruptCounter,
                               uint32_t timestamp) {
  const Comparison c = compare(track, timeCounter, interruptCounter, timestamp);
  if (!c.judged || c.tolerance > c.cycle / kTellingShare) return TrackVerdict::cannotTell;
  return std::llabs(c.disagreement) <= c.tolerance ? TrackVerdict::on : TrackVerdict::off;
}

bool onBoardTrack(const BoardTrack& track, int32_t timeCounter, int32_t interruptCounter, uint32_t timestamp) {
  const Comparison c = compare(track, timeCounter, interruptCounter, timestamp);
  return !c.judged || std::llabs(c.disagreement) <= c.tolerance;
}

bool atOrBehindBoardTrack(const BoardTrack& track, int32_t timeCounter, int32_t interruptCounter) {
  const int64_t m = track.interruptsPerStep;
  if (!track.known || m <= 0) return false;
  const int64_t counter = static_cast<int64_t>(timeCounter) * m + interruptCounter;
  const int64_t back = wrap(track.counter - counter, kStepsPerCycle * m);
  return back <= m;
}

void carryBoardTrack(BoardTrack& track, const BoardTrack& before, int64_t startShiftMs) {
  constexpr int64_t kCarriedMs = INT32_MAX;
  if (!before.known || before.interruptsPerStep != track.interruptsPerStep || startShiftMs < 0 ||
      startShiftMs > kCarriedMs)
    return;
  track = before;
  track.timestamp = before.timestamp - static_cast<uint32_t>(startShiftMs);
}

void followBoardTrack(BoardTrack& track, int32_t timeCounter, int32_t interruptCounter, uint32_t timestamp) {
  track.known = true;
  track.counter = static_cast<int64_t>(timeCounter) * track.interruptsPerStep + interruptCounter;
  track.timestamp = timestamp;
}
