// The framing shared by both boards' messages inside a packet payload:
// "#|", subtype, count or mask, 8-bit time counter, 16-bit interrupt counter,
// data, and a checksum byte at offset L (the 8-bit sum of bytes 2..L-1).
#pragma once

#include <cstdint>

namespace board_message {

inline constexpr uint8_t kMarker0 = 0x23;  // '#'
inline constexpr uint8_t kMarker1 = 0x7C;  // '|'
inline constexpr int kSubtypeOffset = 2;
inline constexpr int kCountOffset = 3;
inline constexpr int kTimeCounterOffset = 4;
inline constexpr int kInterruptCounterOffset = 5;
inline constexpr int kHeadLength = 7;

inline uint8_t checksum(const uint8_t* message, uint32_t length) {
  uint8_t sum = 0;
  for (uint32_t i = kSubtypeOffset; i < length; ++i) sum = static_cast<uint8_t>(sum + message[i]);
  return sum;
}

}  // namespace board_message
