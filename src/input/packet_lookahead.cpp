#include "input/packet_lookahead.h"

#include "common/little_endian.h"
#include "decoders/hux2_decoder.h"
#include "decoders/tiv_decoder.h"
#include "input/pelg_format.h"

BoardPeek peekBoardMessage(const ReaderView& reader, uint16_t id, const uint8_t* payload, uint32_t length) {
  const std::vector<DeviceRecord>& devices = reader.devices;
  const DeviceKind kind = id < devices.size() ? devices[id].kind : DeviceKind::unknown;
  BoardPeek board;
  switch (kind) {
    case DeviceKind::hux2:
    case DeviceKind::mic:
      board.frame = peekHux2Message(payload, length, reader.huxInterruptLimit);
      board.track = &reader.huxTrack;
      break;
    case DeviceKind::tiv:
      board.frame = peekTivMessage(payload, length, reader.tivInterruptLimit);
      board.track = &reader.tivTrack;
      break;
    default:
      break;
  }
  return board;
}

TrackVerdict judgePacketAt(const ReaderView& reader, const PacketHeader& header, uint32_t timestamp) {
  const BoardPeek board =
      peekBoardMessage(reader, header.id, reader.buffer.next() + pelg::kPacketHeaderSize, header.length);
  if (!board.track || !board.frame.timed()) return TrackVerdict::cannotTell;
  return judgeByBoardTrack(*board.track, board.frame.timeCounter, board.frame.interruptCounter, timestamp);
}

LookAhead lookAhead(const ReaderView& reader, int32_t offset, uint32_t timestamp, int32_t count) {
  ReadBuffer& buffer = reader.buffer;
  Console& console = reader.console;
  LookAhead result;
  for (; result.chained < count; ++result.chained) {
    if (ensureAvailable(buffer, reader.stream, offset + pelg::kPacketHeaderSize, console) < 1) {
      // Nothing but a cut-off tail can follow; only an exact end counts.
      result.reachedEnd = buffer.atEof && buffer.filled - buffer.consumed == offset;
      return result;
    }
    const uint8_t* bytes = buffer.next() + offset;
    const uint16_t id = readLittleEndian<uint16_t>(bytes);
    const uint32_t stamp = readLittleEndian<uint32_t>(bytes + 2);
    const uint32_t length = readLittleEndian<uint32_t>(bytes + 6);
    if (!pelg::framesPacket(id, length)) return result;
    const bool behind = static_cast<uint32_t>(timestamp - stamp) <= kBehindMs;
    if (!behind && static_cast<uint32_t>(stamp - timestamp) > pelg::kMaxTimestampAdvance) {
      result.stoppedBehind = static_cast<int32_t>(stamp - timestamp) < 0;
      result.stoppedAhead = !result.stoppedBehind;
      const int32_t size = pelg::kPacketHeaderSize + static_cast<int32_t>(length);
      if (ensureAvailable(buffer, reader.stream, offset + size, console) < 1) return result;
      const BoardPeek board = peekBoardMessage(reader, id, buffer.next() + offset + pelg::kPacketHeaderSize, length);
      if (board.track && board.frame.timed()) {
        result.stopBoards =
            judgeByBoardTrack(*board.track, board.frame.timeCounter, board.frame.interruptCounter, timestamp);
        result.stopOwnBoards =
            judgeByBoardTrack(*board.track, board.frame.timeCounter, board.frame.interruptCounter, stamp);
      }
      return result;
    }
    const int32_t size = pelg::kPacketHeaderSize + static_cast<int32_t>(length);
    if (ensureAvailable(buffer, reader.stream, offset + size, console) < 1) return result;
    const BoardPeek board = peekBoardMessage(reader, id, buffer.next() + offset + pelg::kPacketHeaderSize, length);
    if (board.track && board.frame.outcome == kDecodeRejected) return result;
    if (board.track && board.frame.timed() && result.boards == TrackVerdict::cannotTell)
      result.boards = judgeByBoardTrack(*board.track, board.frame.timeCounter, board.frame.interruptCounter, stamp);
    offset += size;
    if (!behind) timestamp = stamp;
    if (result.chained == 0) result.firstTimestamp = timestamp;
  }
  return result;
}

bool confirmsClockJump(const ReaderView& reader, const PacketHeader& header) {
  const LookAhead ahead = lookAhead(reader, 0, header.timestamp, 1 + kLookAheadPackets);
  if (ahead.boards == TrackVerdict::off) return false;
  // The packet right after it lying behind it refutes its timestamp, unless
  // that packet's counters agree with it and not with their own timestamp:
  // then the later timestamp is the damaged one.
  const bool nextDamaged = ahead.stopBoards == TrackVerdict::on && ahead.stopOwnBoards == TrackVerdict::off;
  const bool refutedByNext = ahead.stoppedBehind && ahead.chained == 1 && !nextDamaged;
  if (ahead.boards == TrackVerdict::on && !refutedByNext) return true;
  return ahead.chained == 1 + kLookAheadPackets || (ahead.reachedEnd && ahead.chained >= 2);
}
