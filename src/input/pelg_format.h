// Constants of the PELG file format: the file header, the packet header that
// frames every payload, and the device kinds that select a payload's decoder.
#pragma once

#include <cstdint>

namespace pelg {

inline constexpr char kMagic[4] = {'P', 'E', 'L', 'G'};
inline constexpr uint32_t kVersion = 2;

// Packet header: id (uint16), timestamp (uint32), payload length (uint32).
inline constexpr int kPacketHeaderSize = 10;
inline constexpr uint32_t kMaxPayloadLength = 4096;
inline constexpr uint16_t kMaxPacketIds = 10;           // valid ids are 0..9
inline constexpr uint32_t kMaxTimestampAdvance = 100000;  // modulo 2^32

// Whether a header's id and payload length can frame a packet.
constexpr bool framesPacket(uint16_t id, uint32_t length) { return id < kMaxPacketIds && length <= kMaxPayloadLength; }

// A four-character tag as the little-endian value of its four bytes.
constexpr uint32_t tagValue(const char (&text)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
         static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

}  // namespace pelg

// Kind of a device block, from its tag; the value is part of the format.
enum class DeviceKind : int32_t {
  hux = 0,
  tiv = 1,
  gps = 2,
  sgps = 3,
  wifi = 4,
  ltln = 5,
  ant8 = 6,
  hux2 = 7,
  mic = 8,
  clck = 9,
  tag = 10,
  unknown = 16,
};
