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
    if (id >= pelg::kMaxPacketIds || length > pelg::kMaxPayloadLength) {
      scan.consumed += 1;
      continue;
    }
    const int32_t size = pelg::kPacketHeaderSize + static_cast<int32_t>(length);
    if (ensureAvailable(scan, stream, size, console) < 1) break;
    const BoardPeek board = peekBoardMessage(reader, id, scan.next() + pelg::kPacketHeaderSize, length);
    if (board.track && board.frame.outcome == kDecodeRejected) {
      // Not a packet that frames: hunt on, byte by byte.
      scan.consumed += 1;
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
