// The arithmetic of a board's two counters. Every timed board message carries
// an 8-bit time counter and an interrupt counter below M (the board's
// interrupts per step of the time counter, from the file header). The time
// counter steps every M interrupts, which is every 10 s, and wraps from 255
// to 0, so the pair repeats every 256 x M interrupts (2560 s). The board clock
// of the pass, the reader's board track and pelgsim all count by these.
#pragma once

#include <cstdint>

namespace board_counters {

inline constexpr int64_t kTimeCounterSteps = 256;
inline constexpr int32_t kLastTimeCounter = 255;
inline constexpr int64_t kMillisPerStep = 10000;  // one step of the time counter

// a / b and a mod b rounded towards minus infinity (b > 0): a step back of
// the counters has a negative quotient and a remainder in [0, b).
constexpr int64_t floorDiv(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
constexpr int64_t floorMod(int64_t a, int64_t b) { return a - floorDiv(a, b) * b; }

// Interrupts in one cycle of the counters.
constexpr int64_t cycle(int64_t m) { return kTimeCounterSteps * m; }

// The counters as one number within the cycle, in [0, cycle(m)).
constexpr int64_t inCycle(int32_t timeCounter, int32_t interruptCounter, int64_t m) {
  return static_cast<int64_t>(timeCounter) * m + interruptCounter;
}

// The counters' value at interrupt `counter` of an endless count.
constexpr int32_t timeCounterAt(int64_t counter, int64_t m) {
  return static_cast<int32_t>(floorMod(floorDiv(counter, m), kTimeCounterSteps));
}
constexpr int32_t interruptCounterAt(int64_t counter, int64_t m) {
  return static_cast<int32_t>(floorMod(counter, m));
}

// Interrupts the logger's milliseconds stand for (rounded towards zero).
constexpr int64_t interruptsOfMs(int64_t ms, int64_t m) { return ms * m / kMillisPerStep; }

}  // namespace board_counters
