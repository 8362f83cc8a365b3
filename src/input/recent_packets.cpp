#include "input/recent_packets.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kHeadBytes = 16;

uint64_t mix(uint64_t h, uint64_t v) {
  h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
  return h * 0xFF51AFD7ED558CCDull;
}

// Up to eight bytes as one word.
uint64_t word(const uint8_t* bytes, uint32_t n) {
  uint64_t v = 0;
  std::memcpy(&v, bytes, std::min<uint32_t>(n, 8));
  return v;
}

}  // namespace

uint64_t packetFingerprint(uint16_t id, uint32_t timestamp, const uint8_t* payload, uint32_t length) {
  uint64_t h = mix(0, (static_cast<uint64_t>(id) << 48) ^ (static_cast<uint64_t>(length) << 32) ^ timestamp);
  const uint32_t head = std::min(length, kHeadBytes);
  for (uint32_t i = 0; i < head; i += 8) h = mix(h, word(payload + i, head - i));
  return h;
}

bool RecentPackets::contains(uint64_t fingerprint) const {
  return std::find(fingerprints_.begin(), fingerprints_.begin() + count_, fingerprint) !=
         fingerprints_.begin() + count_;
}

void RecentPackets::remember(uint64_t fingerprint) {
  fingerprints_[static_cast<size_t>(next_)] = fingerprint;
  next_ = (next_ + 1) % kRemembered;
  if (count_ < kRemembered) ++count_;
}
