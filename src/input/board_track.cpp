#include "input/board_track.h"

#include <cstdint>
#include <cstdlib>

#include "common/board_counters.h"

namespace {

// The counters tell only while the tolerance is at most this share of their
// cycle (320 s of 2560 s): beyond, a timestamp with a flipped high bit would
// agree with them by chance.
constexpr int64_t kTellingShare = 8;

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
  c.cycle = board_counters::cycle(m);
  const int64_t counter = board_counters::inCycle(timeCounter, interruptCounter, m);
  // The timestamps' advance may be slightly negative: packets of one
  // millisecond arrive out of the boards' order.
  const int64_t elapsedMs = static_cast<int32_t>(timestamp - track.timestamp);
  const int64_t byTimestamps = board_counters::interruptsOfMs(elapsedMs, m);
  c.disagreement = board_counters::floorMod(counter - track.counter - byTimestamps, c.cycle);
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
  const int64_t counter = board_counters::inCycle(timeCounter, interruptCounter, m);
  // Both lie within one cycle unless damage broke the counters: the floor
  // modulo is then one addition, no division (this runs on every packet).
  const int64_t cycle = board_counters::cycle(m);
  int64_t back = track.counter - counter;
  if (back < -cycle || back >= cycle) {
    back = board_counters::floorMod(back, cycle);
  } else if (back < 0) {
    back += cycle;
  }
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
  track.counter = board_counters::inCycle(timeCounter, interruptCounter, track.interruptsPerStep);
  track.timestamp = timestamp;
}
