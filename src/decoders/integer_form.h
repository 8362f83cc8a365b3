// Arithmetic of the readings' integer forms. The board firmware computes them
// in 32-bit two's-complement arithmetic and keeps the low 16 bits; these
// helpers reproduce that exactly without undefined behaviour in C++.
#pragma once

#include <cmath>
#include <cstdint>

namespace integer_form {

// The low 16 bits of an integer, as a signed 16-bit value.
inline int16_t low16(int64_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }

// A value wrapped to 32 bits, as a 32-bit register would hold it.
inline int32_t wrap32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// 32-bit product, wrapping on overflow.
inline int32_t multiply32(int32_t a, int32_t b) {
  return wrap32(static_cast<int64_t>(a) * static_cast<int64_t>(b));
}

// A double truncated toward zero and stored as 16 bits. NaN, infinities and
// magnitudes beyond 64 bits give 0, the low 16 bits of the integer that
// x86-64 produces for an unrepresentable conversion.
inline int16_t truncatedLow16(double value) {
  if (!(std::fabs(value) < 9.2e18)) return 0;
  return low16(static_cast<int64_t>(value));
}

// A double truncated toward zero into 32 bits (0 when unrepresentable).
inline int32_t truncated32(double value) {
  if (!(std::fabs(value) < 9.2e18)) return 0;
  return wrap32(static_cast<int64_t>(value));
}

}  // namespace integer_form
