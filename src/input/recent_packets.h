// The keys of the last packets a reader delivered, to recognise a
// packet that a damaged card wrote twice (a duplicated sector): the copy
// repeats an earlier packet's header and the head of its board message
// (subtype, count or mask, counters). Only the head is compared: where the
// sector boundary cut the first copy, its tail differs from the second one,
// and the second would otherwise add the same interrupt's readings again.
// Two packets of different kinds with equal board counters (an audio and a
// sensor message of the same interrupt) have different heads and are both
// kept.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/little_endian.h"

// What identifies a packet: its id, timestamp and length and the first eight
// bytes of its payload (a board message's marker, subtype, count or mask and
// counters). Two words, each built in a register and stored whole: a key
// whose halves were stored apart and read back as one stalls the reader on
// every packet.
struct PacketKey {
  uint64_t head = 0;     // the payload's first bytes, little-endian (zeros past a shorter payload)
  uint64_t stamped = 0;  // the timestamp, then (id << 16) ^ length in the upper half
  bool operator==(const PacketKey&) const = default;
};

inline PacketKey packetKey(uint16_t id, uint32_t timestamp, const uint8_t* payload, uint32_t length) {
  PacketKey key;
  if (length >= sizeof key.head) {
    key.head = readLittleEndian<uint64_t>(payload);
  } else {
    for (uint32_t i = 0; i < length; ++i) key.head |= uint64_t{payload[i]} << (8 * i);
  }
  key.stamped = uint64_t{timestamp} | uint64_t{static_cast<uint32_t>(id) << 16 ^ length} << 32;
  return key;
}

class RecentPackets {
 public:
  static constexpr int kRemembered = 64;

  void clear() { count_ = 0; next_ = 0; }
  bool contains(const PacketKey& key) const;
  // The same, whatever the timestamps: a sector written twice may join one
  // packet's header to another's length and board message.
  bool containsMessage(const PacketKey& key) const;
  void remember(const PacketKey& key) {
    keys_[static_cast<size_t>(next_)] = key;
    next_ = (next_ + 1) % kRemembered;
    if (count_ < kRemembered) ++count_;
  }

 private:
  std::array<PacketKey, kRemembered> keys_{};
  int count_ = 0;
  int next_ = 0;
};
