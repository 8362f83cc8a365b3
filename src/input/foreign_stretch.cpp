#include "input/foreign_stretch.h"

#include <cstdio>

#include "common/little_endian.h"
#include "decoders/board_message.h"
#include "input/packet_lookahead.h"
#include "input/pelg_format.h"

namespace {

// Points the scan's buffer at file offset `at`.
bool startScan(ReadBuffer& scan, FILE* stream, int64_t at) {
  if (fseeko(stream, at, SEEK_SET) != 0) return false;
  scan.origin = at;
  scan.filled = 0;
  scan.consumed = 0;
  scan.atEof = 0;
  return true;
}

// True when the bytes after the packet of `size` bytes at the scan position
// begin with a header of a valid id and length, or the data ends before a
// header. Inside a block of another recording, or where the scan hunts, a
// header found by chance rarely does; one whose length runs over the cut
// edge and this recording's packets after it does not.
bool headerFollows(ReadBuffer& scan, FILE* stream, int32_t size, Console& console) {
  if (ensureAvailable(scan, stream, size + pelg::kPacketHeaderSize, console) < 1) return true;
  const uint8_t* next = scan.next() + size;
  return pelg::framesPacket(readLittleEndian<uint16_t>(next), readLittleEndian<uint32_t>(next + 6));
}

}  // namespace

ForeignStretch findForeignStretch(const ReaderView& reader, int64_t begin, uint32_t firstTimestamp) {
  ForeignStretch stretch;
  stretch.begin = begin;
  FILE* stream = reader.stream;
  ReadBuffer& scan = reader.scanBuffer;
  Console& console = reader.console;
  const off_t resume = ftello(stream);
  if (resume < 0 || !scan.data || !startScan(scan, stream, begin)) return stretch;

  bool judged = false;
  for (;;) {
    if (ensureAvailable(scan, stream, pelg::kPacketHeaderSize, console) < 1) break;
    const uint8_t* bytes = scan.next();
    const uint16_t id = readLittleEndian<uint16_t>(bytes);
    const uint32_t timestamp = readLittleEndian<uint32_t>(bytes + 2);
    const uint32_t length = readLittleEndian<uint32_t>(bytes + 6);
    if (!pelg::framesPacket(id, length)) {
      scan.consumed += 1;
      stretch.hunted = true;
      continue;
    }
    const int32_t size = pelg::kPacketHeaderSize + static_cast<int32_t>(length);
    if (ensureAvailable(scan, stream, size, console) < 1 || !headerFollows(scan, stream, size, console)) {
      // A header whose packet runs past the data, or into bytes that frame
      // none: hunt on (up to the end, where a packet cut short is).
      scan.consumed += 1;
      stretch.hunted = true;
      continue;
    }
    const BoardPeek board = peekBoardMessage(reader, id, scan.next() + pelg::kPacketHeaderSize, length);
    if (board.track && (board.frame.outcome == kDecodeRejected || !board.frame.marked)) {
      // Not a packet that frames: hunt on, byte by byte. A board's packet
      // without a message marker is one too: at a block's cut edge, a foreign
      // header's length may run over this recording's packets after it,
      // which the hunt then finds.
      scan.consumed += 1;
      stretch.hunted = true;
      continue;
    }
    if (board.track && board.frame.timed()) {
      const uint32_t stamp = scan.position() == begin ? firstTimestamp : timestamp;
      const bool on = onBoardTrack(*board.track, board.frame.timeCounter, board.frame.interruptCounter, stamp);
      if (!judged) {
        judged = true;
        if (on) break;
        stretch.found = true;
      } else if (on) {
        stretch.end = scan.position();
        break;
      }
    }
    ++stretch.packets;
    scan.consumed += size;
  }
  if (stretch.found && stretch.end == 0) {
    stretch.toEnd = true;
    stretch.end = scan.origin + scan.filled;
  }
  fseeko(stream, resume, SEEK_SET);
  return stretch;
}
