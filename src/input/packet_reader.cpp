#include "input/packet_reader.h"

#include <cinttypes>

#include "common/little_endian.h"
#include "input/foreign_stretch.h"
#include "input/packet_lookahead.h"
#include "input/pelg_format.h"

namespace {

constexpr const char* kBackwards =
    "# WARNING: file index %" PRId64
    ", PELG Packet's timestamp has moved backwards, discarding read timestamp %d, and using "
    "previous timestamp %d\n";

// readPacketHeader results.
constexpr int kHeaderValid = 1;
constexpr int kEndOfData = -1;
constexpr int kPacketCutShort = -2;
constexpr int kBadIdResult = -3;
constexpr int kBadTimestampResult = -4;
constexpr int kBadLengthResult = -5;

// A timestamp further ahead of the last one than this is checked against the
// packets after it: they continue from it (a gap) or from the last one (the
// timestamp alone is damaged). The logger stamps packets in batches up to a
// few tens of milliseconds late, so smaller steps are its own.
constexpr uint32_t kOutlierAdvanceMs = 100;

// Packets after a hunt that are checked for repeating one delivered before.
constexpr int32_t kRepeatCheckPackets = RecentPackets::kRemembered;

// Bytes read at a time when reading ahead over a suspect stretch.
constexpr int32_t kScanCapacity = 64 * 1024;

// The smallest buffer that holds a packet and the packets looked at after it
// whole.
constexpr int32_t kMinimumCapacity =
    (1 + kLookAheadPackets) * (pelg::kPacketHeaderSize + static_cast<int32_t>(pelg::kMaxPayloadLength));

// SiRF payload: byte 3 counts the receiver bytes that start at byte 7; 255
// marks a payload that carries none.
constexpr uint32_t kSirfCountOffset = 3;
constexpr uint32_t kSirfDataOffset = 7;
constexpr uint8_t kSirfNoData = 255;

// What the reader's look-ahead may see of it.
ReaderView viewOf(PacketReader& reader) {
  return ReaderView{reader.buffer,
                    reader.scanBuffer,
                    reader.file->stream,
                    reader.file->header.devices,
                    reader.huxCalibration.interruptLimit,
                    reader.tivInterruptLimit,
                    reader.huxTrack,
                    reader.tivTrack,
                    *reader.console};
}

HeaderFault faultOf(int result) {
  switch (result) {
    case kBadIdResult:
      return HeaderFault::id;
    case kBadTimestampResult:
      return HeaderFault::timestamp;
    default:
      return HeaderFault::length;
  }
}

// True when a header rejected only for its timestamp starts a real jump of the
// logger's clock: it is ahead of the last timestamp, and it and the packets
// after it frame and chain from it.
bool clockJumped(PacketReader& reader, int result, const PacketHeader& header) {
  constexpr uint32_t kAhead = 0x80000000u;
  return result == kBadTimestampResult && header.length <= pelg::kMaxPayloadLength &&
         static_cast<uint32_t>(header.timestamp - reader.lastTimestamp) < kAhead &&
         confirmsClockJump(viewOf(reader), header);
}

// True when a valid header's timestamp is far ahead of the last one while the
// packets after it continue from the last one, not from it; `kept` receives
// the timestamp the packet is given instead: the next packet's, which the
// packets around it confirm (the last one's after a gap would undo the gap).
// A board message whose counters advanced as far as its timestamp did (and
// not as far as the last one says) is no outlier, whatever the packets after
// it say: their timestamps may be the damaged ones.
bool timestampIsOutlier(PacketReader& reader, const PacketHeader& header, uint32_t& kept) {
  const uint32_t advance = header.timestamp - reader.lastTimestamp;
  if (advance <= kOutlierAdvanceMs || advance > pelg::kMaxTimestampAdvance) return false;
  const TrackVerdict own = judgePacketAt(viewOf(reader), header, header.timestamp);
  const TrackVerdict last = judgePacketAt(viewOf(reader), header, reader.lastTimestamp);
  if (own == TrackVerdict::on && last == TrackVerdict::off) return false;
  // Counters that agree with the last timestamp and not with its own make it
  // an outlier, whatever follows (a pause right after it, say).
  const bool refuted = own == TrackVerdict::off && last == TrackVerdict::on;
  const int32_t size = pelg::kPacketHeaderSize + static_cast<int32_t>(header.length);
  const LookAhead fromOwn = lookAhead(viewOf(reader), size, header.timestamp, 1);
  // Counters that disagree with its own timestamp and agree with the next
  // packet's, which follows from it: its timestamp alone is damaged (the
  // first packet after a gap, a bit flipped that put it inside the gap).
  if (own == TrackVerdict::off && fromOwn.chained > 0 &&
      judgePacketAt(viewOf(reader), header, fromOwn.firstTimestamp) == TrackVerdict::on) {
    kept = fromOwn.firstTimestamp;
    return true;
  }
  if (!refuted && fromOwn.chained > 0) return false;
  const LookAhead fromLast = lookAhead(viewOf(reader), size, reader.lastTimestamp, kLookAheadPackets);
  kept = fromLast.chained > 0 ? fromLast.firstTimestamp : reader.lastTimestamp;
  // Fewer packets confirm it where the data ends or the logger's clock jumps
  // right after them (a logger pause).
  return refuted || fromLast.chained == kLookAheadPackets ||
         (fromLast.chained > 0 && (fromLast.reachedEnd || fromLast.stoppedAhead));
}

// After damage: drops a stretch of foreign packets that starts at the read
// position, whose first packet's timestamp is taken as `timestamp`. Returns
// true when it dropped one.
bool dropForeignStretch(PacketReader& reader, uint32_t timestamp, bool atFileStart = false) {
  const ForeignStretch stretch = findForeignStretch(viewOf(reader), reader.buffer.position(), timestamp);
  if (!stretch.found) return false;
  // Without damage before it, only a block with a cut edge inside (sectors
  // end mid-packet) and the time line after it: counters off to the end, or
  // packets that frame cleanly throughout, are the file's own.
  if (atFileStart && (stretch.toEnd || !stretch.hunted)) return false;
  DamageEvent event;
  event.kind = DamageKind::foreignStretch;
  event.offset = stretch.begin;
  event.bytes = stretch.end - stretch.begin;
  event.packets = stretch.packets;
  event.toEnd = stretch.toEnd;
  reader.reporter->damage(event);
  return seekReader(reader.buffer, reader.file->stream, stretch.end);
}

// True when the header after the packet at the read position is valid and
// follows it in time, or the data ends before another header.
bool nextHeaderFollows(PacketReader& reader, const PacketHeader& header) {
  ReadBuffer& buffer = reader.buffer;
  const int32_t size = pelg::kPacketHeaderSize + static_cast<int32_t>(header.length);
  if (ensureAvailable(buffer, reader.file->stream, size + pelg::kPacketHeaderSize, *reader.console) < 1)
    return true;
  const uint8_t* next = buffer.next() + size;
  const uint32_t stamp = readLittleEndian<uint32_t>(next + 2);
  return pelg::framesPacket(readLittleEndian<uint16_t>(next), readLittleEndian<uint32_t>(next + 6)) &&
         static_cast<uint32_t>(stamp - header.timestamp) <= pelg::kMaxTimestampAdvance;
}

// True when a valid header that the hunt came upon frames a packet that fits
// its neighbours: the header after it is valid and its timestamp follows
// (its payload may be damaged too), or the data ends before another header,
// or the packet's board counters agree with its timestamp. A false header
// made of the bytes around a real one (one byte before it, after zeroed
// bytes, reads as its timestamp times 256) rarely does.
bool fitsNeighbours(PacketReader& reader, const PacketHeader& header) {
  return nextHeaderFollows(reader, header) ||
         judgePacketAt(viewOf(reader), header, header.timestamp) == TrackVerdict::on;
}

// True when a header rejected only for its timestamp lies a little behind the
// last one and frames a packet with a payload within the data.
bool slightlyBehind(PacketReader& reader, int result, const PacketHeader& header) {
  // A header of zeros (id 0, length 0) is no packet: zeroed bytes are hunted over.
  if (result != kBadTimestampResult || header.length == 0 || header.length > pelg::kMaxPayloadLength)
    return false;
  if (static_cast<uint32_t>(reader.lastTimestamp - header.timestamp) > kBehindMs) return false;
  const int32_t size = pelg::kPacketHeaderSize + static_cast<int32_t>(header.length);
  return ensureAvailable(reader.buffer, reader.file->stream, size, *reader.console) >= 1;
}

// True when a timed board message that the decoder accepted lies at or a
// little behind its board's last one and repeats the message of a packet
// delivered shortly before, whatever the packet's timestamp (a sector copy
// may join one packet's id and timestamp to another's length and message):
// shortly after damage, whatever else; otherwise only when its timestamp did
// not advance (a sector copy frames cleanly when it begins and ends at packet
// boundaries, or 6 bytes into a header, and the logger stamps packets in
// batches of one value). Its readings were delivered already. Any other step
// back of the counters is left to the time line.
bool repeatsDelivered(const PacketReader& reader, const BoardTrack& track, int32_t timeCounter,
                      int32_t interruptCounter, const PacketKey& key, bool advanced) {
  if (!atOrBehindBoardTrack(track, timeCounter, interruptCounter)) return false;
  return (reader.repeatCheckLeft > 0 || !advanced) && reader.recent.containsMessage(key);
}

// After a board message is decoded: a repeat of one delivered shortly before
// is dropped; an accepted one moves its board's track on; a rejected one is
// reported (rejected and failed checksums count as damage before what follows).
template <int N>
void screenBoardMessage(PacketReader& reader, DecodeStatus<N>& status, SampleBuffers<N>& samples,
                        BoardTrack& track, const PacketKey& key, const PacketHeader& header, int64_t payloadPos,
                        bool tivBoard, bool advanced) {
  DamageEvent event;
  if (status.status == kDecodeAccepted &&
      repeatsDelivered(reader, track, status.timeCounter, status.interruptCounter, key, advanced)) {
    event.kind = DamageKind::duplicatedSector;
    event.offset = payloadPos - pelg::kPacketHeaderSize;
    event.bytes = pelg::kPacketHeaderSize + static_cast<int64_t>(header.length);
    event.packets = 1;
    reader.reporter->damage(event);
    samples.clear();
    status.channelCounts.fill(0);
    status.status = kDecodeNone;
  }
  if (status.status == kDecodeAccepted) {
    followBoardTrack(track, status.timeCounter, status.interruptCounter, header.timestamp);
  } else if (status.status != kDecodeAuxiliary && status.status != kDecodeNone) {
    reader.damageBefore = status.status == kDecodeRejected;
    event.kind = DamageKind::badChecksum;
    event.offset = payloadPos;
    event.bytes = header.length;
    event.packets = 1;
    event.tivBoard = tivBoard;
    reader.reporter->damage(event);
  }
}

// Hunts byte by byte for the next valid header, from the byte after the
// rejected one (`fault`) at the read position, or for one that starts a jump
// of the logger's clock (`jumped`). Reports the bytes hunted over. Returns
// kHeaderValid with the header and the read position on it, or the
// end-of-data result that stopped the hunt.
int searchForHeader(PacketReader& reader, PacketHeader& header, HeaderFault fault, bool& jumped) {
  reader.buffer.consumed += 1;
  DamageEvent event;
  event.kind = DamageKind::skippedBytes;
  event.offset = reader.buffer.position();
  event.fault = fault;
  int result = kHeaderValid;
  for (;;) {
    result = readPacketHeader(reader, header);
    if (result == kEndOfData || result == kPacketCutShort) break;
    if (result == kHeaderValid && fitsNeighbours(reader, header)) break;
    if (clockJumped(reader, result, header)) {
      jumped = true;
      result = kHeaderValid;
      break;
    }
    reader.buffer.consumed += 1;
  }
  event.bytes = reader.buffer.position() - event.offset;
  event.toEnd = result != kHeaderValid;
  reader.reporter->damage(event);
  return result;
}

// Appends the receiver bytes of a SiRF payload to the side file. A failed
// write is kept by the file and reported when it is closed.
void copySirf(PacketReader& reader, const uint8_t* payload, uint32_t length) {
  if (!reader.sirfOutput || length <= kSirfCountOffset) return;
  const uint8_t count = payload[kSirfCountOffset];
  if (count == kSirfNoData || kSirfDataOffset + count > length) return;
  if (count > 0) reader.sirfOutput->write(payload + kSirfDataOffset, count);
}

}  // namespace

void initPacketReader(PacketReader& reader, Console& console, DamageReporter& reporter) {
  reader.active = false;
  reader.file = nullptr;
  reader.huxSamples.clear();
  reader.huxStatus = HuxStatus{};
  reader.huxCalibration = HuxCalibrationState{};
  reader.huxEnabled.fill(false);
  reader.tivSamples.clear();
  reader.tivStatus = TivStatus{};
  reader.tivInterruptLimit = 0;
  reader.tivEnabled.fill(false);
  reader.sirfEnabled = false;
  reader.sirfOutput = nullptr;
  reader.lastTimestamp = 0;
  reader.console = &console;
  reader.reporter = &reporter;
  resetBoardTrack(reader.huxTrack, 0);
  resetBoardTrack(reader.tivTrack, 0);
  reader.recent.clear();
  reader.repeatCheckLeft = 0;
  reader.damageBefore = false;
  reader.startToJudge = false;
}

int32_t readerCapacity(int32_t requested) {
  // The buffer must hold the largest packet whole; a smaller capacity could
  // never deliver it.
  return requested < kMinimumCapacity ? kMinimumCapacity : requested;
}

void bindPacketReader(PacketReader& reader, InputFile& file, int32_t capacity) {
  reader.file = &file;
  bindReader(reader.buffer, readerCapacity(capacity));
  bindReader(reader.scanBuffer, kScanCapacity);
  reader.active = true;
  reader.huxEnabled.fill(false);
  reader.tivEnabled.fill(false);
  resetBoardTrack(reader.huxTrack, file.header.huxInfo.interrupt_count);
  resetBoardTrack(reader.tivTrack, file.header.tivInfo.interrupt_count);
  reader.recent.clear();
  reader.repeatCheckLeft = 0;
  reader.damageBefore = false;
  reader.startToJudge = false;
}

void carryBoardTracks(PacketReader& reader, const BoardTrack& hux, const BoardTrack& tiv, int64_t startShiftMs) {
  carryBoardTrack(reader.huxTrack, hux, startShiftMs);
  carryBoardTrack(reader.tivTrack, tiv, startShiftMs);
  reader.startToJudge = reader.huxTrack.known || reader.tivTrack.known;
}

int readPacketHeader(PacketReader& reader, PacketHeader& header) {
  ReadBuffer& buffer = reader.buffer;
  if (ensureAvailable(buffer, reader.file->stream, pelg::kPacketHeaderSize, *reader.console) < 1)
    return kEndOfData;
  const uint8_t* bytes = buffer.next();
  header.id = readLittleEndian<uint16_t>(bytes);
  header.timestamp = readLittleEndian<uint32_t>(bytes + 2);
  header.length = readLittleEndian<uint32_t>(bytes + 6);
  if (header.id >= pelg::kMaxPacketIds) return kBadIdResult;
  if (static_cast<uint32_t>(header.timestamp - reader.lastTimestamp) > pelg::kMaxTimestampAdvance)
    return kBadTimestampResult;
  if (header.length > pelg::kMaxPayloadLength) return kBadLengthResult;
  const int32_t packetSize = pelg::kPacketHeaderSize + static_cast<int32_t>(header.length);
  if (ensureAvailable(buffer, reader.file->stream, packetSize, *reader.console) < 1)
    return kPacketCutShort;
  return kHeaderValid;
}

namespace {

// How framing found the packet at the read position.
struct Framing {
  bool jumped = false;  // its timestamp starts a jump of the logger's clock
  bool hunted = false;  // a hunt over damaged bytes came upon it
};

// Framing: brings the read position onto the next packet whose header is
// valid, or whose header starts a jump of the logger's clock, or lies a
// little behind (kept with the last timestamp). Returns kHeaderValid, or the
// end-of-data result (the reader is inactive after kEndOfData and
// kPacketCutShort at a header; it stays active after a hunt that runs into
// the end, and the next call meets the same bytes and ends the stream there).
int framePacket(PacketReader& reader, PacketHeader& header, Framing& framing) {
  ReadBuffer& buffer = reader.buffer;
  int result = readPacketHeader(reader, header);
  if (result == kEndOfData) {
    reader.active = false;
    return kEndOfData;
  }
  if (result == kPacketCutShort) {
    DamageEvent event;
    event.kind = DamageKind::truncatedPacket;
    event.offset = buffer.position();
    event.bytes = buffer.filled - buffer.consumed;
    event.packets = 1;
    reader.reporter->damage(event);
    reader.active = false;
    return kPacketCutShort;
  }
  if (slightlyBehind(reader, result, header)) {
    // Kept, with the last timestamp (at dispatch); a step back is damage
    // evidence too: the packet may repeat one read before.
    reader.damageBefore = true;
    return kHeaderValid;
  }
  if (clockJumped(reader, result, header)) {
    framing.jumped = true;
    return kHeaderValid;
  }
  if (result == kHeaderValid) return kHeaderValid;
  result = searchForHeader(reader, header, faultOf(result), framing.jumped);
  framing.hunted = result == kHeaderValid && !framing.jumped;
  return result;
}

// Screening: the two-clock judgements on a framed packet. Returns false when
// the packet (or a stretch from it) was dropped and framing must go on;
// true when it is delivered, with `key` set and its timestamp as it is kept.
bool screenPacket(PacketReader& reader, PacketHeader& header, const Framing& framing, PacketKey& key) {
  ReadBuffer& buffer = reader.buffer;
  // A stale block at a later file's very start frames cleanly: the boards'
  // clocks of the file before tell it.
  if (reader.startToJudge) {
    reader.startToJudge = false;
    if (dropForeignStretch(reader, header.timestamp, true)) {
      reader.repeatCheckLeft = kRepeatCheckPackets;
      return false;
    }
  }
  // A timestamp that alone jumped ahead is set aside before the damage
  // checks, so that they judge the packet by the time line it lies on.
  uint32_t kept = reader.lastTimestamp;
  const bool outlier = !framing.jumped && timestampIsOutlier(reader, header, kept);
  // Damage that begins inside a packet may leave its board message passing
  // its 8-bit checksum by chance with counters off the time line: such a
  // packet, with damaged bytes right after it, is dropped (its readings would
  // break the time line) and what follows is judged as after damage.
  if (!framing.hunted && !framing.jumped && !outlier && !nextHeaderFollows(reader, header) &&
      judgePacketAt(viewOf(reader), header, header.timestamp) == TrackVerdict::off) {
    DamageEvent cut;
    cut.kind = DamageKind::foreignStretch;
    cut.offset = buffer.position();
    cut.bytes = pelg::kPacketHeaderSize + static_cast<int64_t>(header.length);
    cut.packets = 1;
    reader.reporter->damage(cut);
    buffer.consumed += static_cast<int32_t>(cut.bytes);
    reader.damageBefore = true;
    return false;
  }
  if (framing.hunted) reader.damageBefore = true;
  if (reader.damageBefore) {
    // The first packet after damage: what follows may be a block of
    // another recording, or bytes the card wrote twice.
    reader.damageBefore = false;
    reader.repeatCheckLeft = kRepeatCheckPackets;
    if (dropForeignStretch(reader, outlier ? kept : header.timestamp)) return false;
  }
  const int64_t size = pelg::kPacketHeaderSize + static_cast<int64_t>(header.length);
  key = packetKey(header.id, header.timestamp, buffer.next() + pelg::kPacketHeaderSize, header.length);
  DamageEvent event;
  event.offset = buffer.position();
  if (reader.repeatCheckLeft > 0) {
    --reader.repeatCheckLeft;
    if (reader.recent.contains(key)) {
      event.kind = DamageKind::duplicatedSector;
      event.bytes = size;
      event.packets = 1;
      reader.reporter->damage(event);
      buffer.consumed += static_cast<int32_t>(size);
      return false;
    }
  }
  if (framing.jumped) {
    event.kind = DamageKind::clockJump;
    event.timestamp = header.timestamp;
    event.advanceMs = header.timestamp - reader.lastTimestamp;
    reader.reporter->damage(event);
  } else if (outlier) {
    event.kind = DamageKind::timestampOutlier;
    event.bytes = size;
    event.packets = 1;
    event.timestamp = header.timestamp;
    event.advanceMs = header.timestamp - reader.lastTimestamp;
    reader.reporter->damage(event);
    header.timestamp = kept;
  }
  return true;
}

// Dispatch: steps over the header, keeps the timestamp from moving back,
// hands the payload to its decoder or the side file and steps past it.
void dispatchPacket(PacketReader& reader, PacketHeader& header, const PacketKey& key) {
  ReadBuffer& buffer = reader.buffer;
  buffer.consumed += pelg::kPacketHeaderSize;
  const int64_t payloadPos = buffer.position();
  const uint8_t* payload = buffer.next();

  const bool advanced = header.timestamp > reader.lastTimestamp;
  if (reader.lastTimestamp > header.timestamp) {
    reader.console->out(kBackwards, payloadPos, static_cast<int32_t>(header.timestamp),
                        static_cast<int32_t>(reader.lastTimestamp));
    header.timestamp = reader.lastTimestamp;
  }
  reader.lastTimestamp = header.timestamp;

  // An id that names no device block is stepped over like an unknown kind.
  const std::vector<DeviceRecord>& devices = reader.file->header.devices;
  const DeviceKind kind = header.id < devices.size() ? devices[header.id].kind : DeviceKind::unknown;
  switch (kind) {
    case DeviceKind::hux2:
    case DeviceKind::mic:
      decodeHux2(reader.huxStatus, payload, header.length, reader.huxSamples, reader.huxCalibration,
                 reader.huxEnabled);
      screenBoardMessage(reader, reader.huxStatus, reader.huxSamples, reader.huxTrack, key, header, payloadPos,
                         false, advanced);
      break;
    case DeviceKind::tiv:
      decodeTiv(reader.tivStatus, payload, header.length, reader.tivSamples, reader.tivInterruptLimit,
                reader.tivEnabled);
      screenBoardMessage(reader, reader.tivStatus, reader.tivSamples, reader.tivTrack, key, header, payloadPos,
                         true, advanced);
      break;
    case DeviceKind::sgps:
      if (reader.sirfEnabled) copySirf(reader, payload, header.length);
      break;
    default:
      break;
  }

  // A board message whose checksum failed is not remembered: a later copy of
  // it may be the intact one.
  if (reader.huxStatus.status != kDecodeRejected && reader.tivStatus.status != kDecodeRejected)
    reader.recent.remember(key);

  buffer.consumed += static_cast<int32_t>(header.length);
}

}  // namespace

int nextPacket(PacketReader& reader) {
  PacketHeader header;
  PacketKey key;
  for (;;) {
    Framing framing;
    const int result = framePacket(reader, header, framing);
    if (result != kHeaderValid) return result;
    if (screenPacket(reader, header, framing, key)) break;
  }
  dispatchPacket(reader, header, key);
  return 1;
}

void closePacketReader(PacketReader& reader) {
  releaseReader(reader.buffer);
  releaseReader(reader.scanBuffer);
}
