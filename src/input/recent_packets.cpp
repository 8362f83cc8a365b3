#include "input/recent_packets.h"

#include <algorithm>

bool RecentPackets::containsMessage(const PacketKey& key) const {
  return std::any_of(keys_.begin(), keys_.begin() + count_, [&](const PacketKey& k) {
    return k.head == key.head && k.stamped >> 32 == key.stamped >> 32;
  });
}

bool RecentPackets::contains(const PacketKey& key) const {
  return std::find(keys_.begin(), keys_.begin() + count_, key) != keys_.begin() + count_;
}
