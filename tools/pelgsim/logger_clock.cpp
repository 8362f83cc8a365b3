#include "pelgsim/logger_clock.h"

#include <cmath>

#include "pelgsim/random.h"

namespace pelgsim {
namespace {

// The wobble changes over about an hour, as a room or a body warms and cools.
constexpr double kWobblePeriodMs = 3.6e6;
constexpr double kMaxDriftPpm = 50;
constexpr double kMaxWobblePpm = 5;
constexpr int64_t kMinBatchMs = 2;
constexpr int64_t kMaxBatchMs = 40;

}  // namespace

LoggerClockSettings seededLoggerClock(uint64_t seed) {
  const uint64_t key = mix64(seed ^ 0x4C4F'4747'4552ull);
  LoggerClockSettings s;
  s.driftPpm = (hashUnit(key, 1) * 2 - 1) * kMaxDriftPpm;
  s.wobblePpm = hashUnit(key, 2) * kMaxWobblePpm;
  s.batchMs = kMinBatchMs + static_cast<int64_t>(hashUnit(key, 3) * static_cast<double>(kMaxBatchMs - kMinBatchMs + 1));
  s.seed = key;
  return s;
}

int64_t LoggerClock::at(int64_t boardMs) const {
  if (s_.driftPpm == 0 && s_.wobblePpm == 0) return boardMs;
  // The wobble's rate stays within wobblePpm: its offset is the integral of
  // a rate that swings smoothly between -wobblePpm and +wobblePpm.
  const SmoothNoise wobble(s_.seed, 1.0);
  const double t = static_cast<double>(boardMs);
  // Both clocks are set alike at the recording's first interrupt.
  const double wobbleMs = s_.wobblePpm * 1e-6 * kWobblePeriodMs / 3.0;
  const double offset = s_.driftPpm * 1e-6 * t + wobbleMs * (wobble.at(t / kWobblePeriodMs) - wobble.at(0));
  return boardMs + static_cast<int64_t>(std::floor(offset));
}

int64_t LoggerClock::stamp(int64_t boardMs) const {
  const int64_t logger = at(boardMs);
  if (s_.batchMs <= 0) return logger;
  // The batch that holds the packet is written at the end of its period,
  // after a delay below one period, so later batches never get earlier stamps.
  const int64_t batch = logger >= 0 ? logger / s_.batchMs : -((-logger + s_.batchMs - 1) / s_.batchMs);
  const auto delay = static_cast<int64_t>(hashUnit(s_.seed, static_cast<uint64_t>(batch)) * static_cast<double>(s_.batchMs));
  return (batch + 1) * s_.batchMs + delay;
}

}  // namespace pelgsim
