// The number of set bits of a word, by hand: std::popcount costs a library
// call on processors the build does not assume, and the packet paths count
// the channels of every packet.
#pragma once

#include <cstdint>

constexpr int bitCount(uint32_t v) {
  v = v - ((v >> 1) & 0x55555555u);
  v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
  return static_cast<int>((((v + (v >> 4)) & 0x0F0F0F0Fu) * 0x01010101u) >> 24);
}

static_assert(bitCount(0) == 0 && bitCount(1) == 1 && bitCount(0x80000001u) == 2 && bitCount(~0u) == 32);
