// Deterministic random numbers for the simulator: a sequential generator for
// sample noise, and hash-based smooth noise for slowly varying quantities
// (activity, orientation, weather) that can be evaluated at any time without
// state. Everything depends on the seed alone, so one seed gives one recording.
#pragma once

#include <cmath>
#include <cstdint>

namespace pelgsim {

// The SplitMix64 finaliser: a strong 64-bit mix of its argument.
inline uint64_t mix64(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// A uniform value in [0, 1) derived from the seed and a key.
inline double hashUnit(uint64_t seed, uint64_t key) {
  return static_cast<double>(mix64(seed ^ mix64(key)) >> 11) * 0x1.0p-53;
}

// xoshiro256**: fast sequential generator, seeded through SplitMix64.
class Rng {
 public:
  explicit Rng(uint64_t seed) {
    for (int i = 0; i < 4; ++i) s_[i] = mix64(seed + static_cast<uint64_t>(i) * 0x632BE59BD9B4E019ull);
  }

  uint64_t next() {
    const uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }

  // Uniform in [0, 1).
  double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  // Uniform integer in [0, n); n > 0.
  uint64_t below(uint64_t n) { return next() % n; }
  // Roughly normal with standard deviation 1 (sum of four uniforms, rescaled).
  double gauss() {
    const uint64_t a = next(), b = next();
    const double sum = static_cast<double>(a & 0xFFFFFFFF) + static_cast<double>(a >> 32) +
                       static_cast<double>(b & 0xFFFFFFFF) + static_cast<double>(b >> 32);
    return (sum * 0x1.0p-32 - 2.0) * 1.7320508075688772;
  }

 private:
  static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  uint64_t s_[4];
};

// Smooth noise in [-1, 1]: random values at knots `period` seconds apart,
// joined by cosine interpolation.
class SmoothNoise {
 public:
  SmoothNoise(uint64_t seed, double period) : seed_(seed), period_(period) {}

  double at(double seconds) const {
    const double x = seconds / period_;
    const double k = std::floor(x);
    const double f = x - k;
    const auto knot = static_cast<uint64_t>(static_cast<int64_t>(k));
    const double v0 = hashUnit(seed_, knot) * 2.0 - 1.0;
    const double v1 = hashUnit(seed_, knot + 1) * 2.0 - 1.0;
    const double w = (1.0 - std::cos(f * 3.141592653589793)) * 0.5;
    return v0 + (v1 - v0) * w;
  }

 private:
  uint64_t seed_;
  double period_;
};

}  // namespace pelgsim
