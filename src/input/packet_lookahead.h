// Looks at the packets ahead of the read position without consuming them, to
// tell a jump of the logger's clock (the packets after it continue from the
// new timestamp) from a damaged timestamp (they continue from the old one).
// A packet "chains" when its id and length are valid, it fits in the file, a
// board's payload carries an intact message (or none at all), and its
// timestamp is at most the allowed advance ahead of the packet before it.
#pragma once

#include <cstdint>

#include "input/packet_reader.h"

// Packets examined to confirm or refute a clock jump.
inline constexpr int32_t kLookAheadPackets = 3;

struct LookAhead {
  int32_t chained = 0;      // packets that chain, counted from the first examined
  bool reachedEnd = false;  // the data ended at a packet boundary after the last of them
};

// Examines up to `count` packets, the first `offset` bytes past the read
// position; the first is compared with `timestamp`. Stops at the first packet
// that does not chain. May refill the read buffer; the read position stays.
LookAhead lookAhead(PacketReader& reader, int32_t offset, uint32_t timestamp, int32_t count);

// True when the packets ahead confirm that the logger's clock moved to the
// timestamp of the header at the read position: that packet and the
// kLookAheadPackets after it chain from it, or the file ends after at least
// one of them.
bool confirmsClockJump(PacketReader& reader, const PacketHeader& header);
