#include "input/recent_packets.h"

#include <algorithm>
#include <cstring>

PacketKey packetKey(uint16_t id, uint32_t timestamp, const uint8_t* payload, uint32_t length) {
  PacketKey key;
  std::memcpy(&key.head, payload, std::min<uint32_t>(length, sizeof key.head));
  key.timestamp = timestamp;
  key.idAndLength = static_cast<uint32_t>(id) << 16 ^ length;
  return key;
}

bool RecentPackets::containsMessage(const PacketKey& key) const {
  return std::any_of(keys_.begin(), keys_.begin() + count_, [&](const PacketKey& k) {
    return k.head == key.head && k.idAndLength == key.idAndLength;
  });
}

bool RecentPackets::contains(const PacketKey& key) const {
  return std::find(keys_.begin(), keys_.begin() + count_, key) != keys_.begin() + count_;
}
