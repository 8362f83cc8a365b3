#include "input/packet_lookahead.h"

#include "common/little_endian.h"
#include "decoders/board_message.h"
#include "input/pelg_format.h"

namespace {

// True when a board's payload is not a message with a broken frame; payloads
// of other devices are not judged.
bool payloadIntact(const PacketReader& reader, uint16_t id, const uint8_t* payload, uint32_t length) {
  const std::vector<DeviceRecord>& devices = reader.file->header.devices;
  const DeviceKind kind = id < devices.size() ? devices[id].kind : DeviceKind::unknown;
  switch (kind) {
    case DeviceKind::hux2:
    case DeviceKind::mic:
      return peekHux2Message(payload, length, reader.huxCalibration.interruptLimit).outcome !=
             board_message::kRejected;
    case DeviceKind::tiv:
      return peekTivMessage(payload, length, reader.tivInterruptLimit).outcome != board_message::kRejected;
    default:
      return true;
  }
}

}  // namespace

LookAhead lookAhead(PacketReader& reader, int32_t offset, uint32_t timestamp, int32_t count) {
  ReadBuffer& buffer = reader.buffer;
  Console& console = *reader.console;
  LookAhead result;
  for (; result.chained < count; ++result.chained) {
    if (ensureAvailable(buffer, reader.file->stream, offset + pelg::kPacketHeaderSize, console) < 1) {
      // Nothing but a cut-off tail can follow; only an exact end counts.
      result.reachedEnd = buffer.atEof && buffer.filled - buffer.consumed == offset;
      return result;
    }
    const uint8_t* bytes = buffer.next() + offset;
    const uint16_t id = readLittleEndian<uint16_t>(bytes);
    const uint32_t stamp = readLittleEndian<uint32_t>(bytes + 2);
    const uint32_t length = readLittleEndian<uint32_t>(bytes + 6);
    if (id >= pelg::kMaxPacketIds || length > pelg::kMaxPayloadLength) return result;
    if (static_cast<uint32_t>(stamp - timestamp) > pelg::kMaxTimestampAdvance) return result;
    const int32_t size = pelg::kPacketHeaderSize + static_cast<int32_t>(length);
    if (ensureAvailable(buffer, reader.file->stream, offset + size, console) < 1) return result;
    if (!payloadIntact(reader, id, buffer.next() + offset + pelg::kPacketHeaderSize, length)) return result;
    offset += size;
    timestamp = stamp;
  }
  return result;
}

bool confirmsClockJump(PacketReader& reader, const PacketHeader& header) {
  const LookAhead ahead = lookAhead(reader, 0, header.timestamp, 1 + kLookAheadPackets);
  return ahead.chained == 1 + kLookAheadPackets || (ahead.reachedEnd && ahead.chained >= 2);
}
