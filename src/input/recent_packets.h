// The fingerprints of the last packets a reader delivered, to recognise a
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
#include <cstdint>

// Fingerprint of a packet: its id, timestamp and length and the first 16
// bytes of its payload (a board message's head with subtype and counters).
uint64_t packetFingerprint(uint16_t id, uint32_t timestamp, const uint8_t* payload, uint32_t length);

class RecentPackets {
 public:
  static constexpr int kRemembered = 64;

  void clear() { count_ = 0; next_ = 0; }
  bool contains(uint64_t fingerprint) const;
  void remember(uint64_t fingerprint);

 private:
  std::array<uint64_t, kRemembered> fingerprints_{};
  int count_ = 0;
  int next_ = 0;
};
