// Looks at the packets ahead of the read position without consuming them, to
// tell a jump of the logger's clock (the packets after it continue from the
// new timestamp) from a damaged timestamp (they continue from the old one).
// A packet "chains" when its id and length are valid, it fits in the file, a
// board's payload carries an intact message (or none at all), and its
// timestamp is at most the allowed advance ahead of the packet before it.
// The board counters of the packets looked at vote as well: every packet
// carries both clocks, and damage moves one of them alone.
#pragma once

#include <cstdint>

#include "decoders/board_message.h"
#include "input/board_track.h"
#include "input/reader_view.h"

// Packets examined to confirm or refute a clock jump.
inline constexpr int32_t kLookAheadPackets = 3;

// A packet whose timestamp lies at most this far behind the one before it is
// kept with that one's timestamp (the logger stamps in batches up to a few
// tens of milliseconds late; a low bit of one timestamp may have flipped),
// so it still chains.
inline constexpr uint32_t kBehindMs = 100;

struct LookAhead {
  int32_t chained = 0;      // packets that chain, counted from the first examined
  bool reachedEnd = false;  // the data ended at a packet boundary after the last of them
  bool stoppedBehind = false;  // the packet after them framed, but its timestamp lies behind
  bool stoppedAhead = false;   // ... or lies ahead beyond the allowed advance (a jump of the logger's clock)
  // Where it stopped so, that packet's timed board message judged by the
  // timestamp the chain reached, and by its own.
  TrackVerdict stopBoards = TrackVerdict::cannotTell;
  TrackVerdict stopOwnBoards = TrackVerdict::cannotTell;
  uint32_t firstTimestamp = 0;  // the first chained packet's timestamp (as it is kept)
  // The first timed board message among the chained packets, judged by its
  // own timestamp against its board's track.
  TrackVerdict boards = TrackVerdict::cannotTell;
};

// A payload's board message as its frame shows it, with the track of its
// board; no track for a payload that is not a board's.
struct BoardPeek {
  board_message::MessageFrame frame;
  const BoardTrack* track = nullptr;
};

BoardPeek peekBoardMessage(const ReaderView& reader, uint16_t id, const uint8_t* payload, uint32_t length);

// The verdict of the board counters of the packet at the read position,
// whose header is `header` and whose bytes are in the buffer, on `timestamp`.
TrackVerdict judgePacketAt(const ReaderView& reader, const PacketHeader& header, uint32_t timestamp);

// Examines up to `count` packets, the first `offset` bytes past the read
// position; the first is compared with `timestamp`. Stops at the first packet
// that does not chain. May refill the read buffer; the read position stays.
LookAhead lookAhead(const ReaderView& reader, int32_t offset, uint32_t timestamp, int32_t count);

// True when the packets ahead confirm that the logger's clock moved to the
// timestamp of the header at the read position. The board counters decide
// where they can: the first timed board message among the packets that chain
// from it must agree with the jump (then damage right after it does not
// matter, but a next packet whose timestamp lies behind it does: the jumped
// timestamp is then damaged itself, unless that packet's counters agree with
// the jump and not with its own timestamp), and one that disagrees refutes it (a block of another
// recording whose timestamps lie far ahead). Where they cannot tell, that
// packet and the kLookAheadPackets after it must chain from it, or the file
// end after at least one of them.
bool confirmsClockJump(const ReaderView& reader, const PacketHeader& header);
