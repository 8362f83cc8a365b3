#include "input/board_track.h"

#include <cstdlib>

namespace {

// Steps of the 8-bit time counter in one cycle, and the milliseconds of one step.
constexpr int64_t kStepsPerCycle = 256;
constexpr int64_t kMillisPerStep = 10000;

// x modulo m, in [0, m).
int64_t wrap(int64_t x, int64_t m) {
  const int64_t r = x % m;
  return r < 0 ? r + m : r;
}

}  // namespace

void resetBoardTrack(BoardTrack& track, int32_t interruptsPerStep) {
  track = BoardTrack{};
  track.interruptsPerStep = interruptsPerStep;
}

bool onBoardTrack(const BoardTrack& track, int32_t timeCounter, int32_t interruptCounter, uint32_t timestamp) {
  const int64_t m = track.interruptsPerStep;
  if (!track.known || m <= 0) return true;
  const int64_t cycle = kStepsPerCycle * m;
  const int64_t counter = static_cast<int64_t>(timeCounter) * m + interruptCounter;
  // The timestamps' advance may be slightly negative: packets of one
  // millisecond arrive out of the boards' order.
  const int64_t elapsedMs = static_cast<int32_t>(timestamp - track.timestamp);
  const int64_t byTimestamps = elapsedMs * m / kMillisPerStep;
  int64_t disagreement = wrap(counter - track.counter - byTimestamps, cycle);
  if (disagreement > cycle / 2) disagreement -= cycle;
  const int64_t tolerance = m / 5 + std::llabs(byTimestamps) / 100;
  return std::llabs(disagreement) <= tolerance;
}

void followBoardTrack(BoardTrack& track, int32_t timeCounter, int32_t interruptCounter, uint32_t timestamp) {
  track.known = true;
  track.counter = static_cast<int64_t>(timeCounter) * track.interruptsPerStep + interruptCounter;
  track.timestamp = timestamp;
}
