#include "input/packet_reader.h"

#include <cinttypes>

#include "common/little_endian.h"
#include "input/foreign_stretch.h"
#include "input/packet_lookahead.h"
#include "input/pelg_format.h"

namespace {

// Console lines (standard output).
constexpr const char* kCutShort = "# ERROR: PELG Packet not enough data left to read length\n";
constexpr const char* kBadId = "# WARNING: file index %" PRId64 ", PELG Packet's ID is invalid\n";
constexpr const char* kBadTimestamp =
    "# WARNING: file index %" PRId64 ", PELG Packet's timestamp is invalid\n";
constexpr const char* kBadLength =
    "# WARNING: file index %" PRId64 ", PELG Packet's length is invalid\n";
constexpr const char* kSearchStart =
    "# WARNING: PELG Error mode, looking for new pelg packet, start pos: %" PRId64 "\n";
constexpr const char* kSearchEnd =
    "# WARNING: PELG Error mode, found new pelg packet, at pos: %" PRId64 " (%" PRId64
    " bytes skipped)\n";
constexpr const char* kBackwards =
    "# WARNING: file index %" PRId64
    ", PELG Packet's timestamp has moved backwards, discarding read timestamp %d, and using "
    "previous timestamp %d\n";
constexpr const char* kClockJump =
    "# WARNING: file index %" PRId64 ", PELG Packet's timestamp jumped ahead %" PRIu32
    " ms and the packets that follow continue from it: the logger paused, packets accepted from here\n";
constexpr const char* kOutlier =
    "# WARNING: file index %" PRId64 ", PELG Packet's timestamp %" PRIu32 " is %" PRIu32
    " ms ahead of the packets around it: the packet is kept, its timestamp is not\n";
constexpr const char* kRepeated =
    "# WARNING: file index %" PRId64 ", PELG Packet repeats one read shortly before (a duplicated sector): dropped\n";
constexpr const char* kForeign =
    "# WARNING: file index %" PRId64 ", %" PRId64 " packets (%" PRId64
    " bytes) whose board counters lie off this recording's time line: dropped as foreign data, reading on at "
    "file index %" PRId64 "\n";
constexpr const char* kForeignToEnd =
    "# WARNING: file index %" PRId64 ", %" PRId64 " packets (%" PRId64
    " bytes) to the end of the file whose board counters lie off this recording's time line: dropped as foreign "
    "data\n";
constexpr const char* kHux2Rejected = "# WARNING: file index %" PRId64 ", HUX2 Packet CRC invalid\n";
constexpr const char* kTivRejected = "# WARNING: file index %" PRId64 ", TIV Packet CRC invalid\n";

// Position log lines.
constexpr const char* kLogSearchStart = "\"pos\",%" PRId64 ",\"ERR_SEARCH_START\"\n";
constexpr const char* kLogSearchEnd = "\"pos\",%" PRId64 ",\"ERR_SEARCH_END\"\n";
constexpr const char* kLogCutShort = "\"pos\",%" PRId64 ",\"E_NODATA_LEN\"\n";
constexpr const char* kLogBadId = "\"pos\",%" PRId64 ",\"W_HDR\",\"BAD_ID\",%d\n";
constexpr const char* kLogBadTimestamp = "\"pos\",%" PRId64 ",\"W_HDR\",\"BAD_TS\",%d\n";
constexpr const char* kLogBadLength = "\"pos\",%" PRId64 ",\"W_HDR\",\"BAD_LEN\",%d\n";
constexpr const char* kLogTivRejected = "\"pos\",%" PRId64 ",\"W_TIVBADCRC\"\n";
constexpr const char* kLogHux2Rejected = "\"pos\",%" PRId64 ",\"W_HUX2BADCRC\"\n";

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

// Reports a header rejected in normal mode: the console warning at the
// header's offset and the position-log line with the offending value.
void reportBadHeader(PacketReader& reader, int result, const PacketHeader& header) {
  Console& console = *reader.console;
  const int64_t pos = reader.buffer.position();
  switch (result) {
    case kBadIdResult:
      console.out(kBadId, pos);
      if (reader.positionLog) std::fprintf(reader.positionLog, kLogBadId, pos, static_cast<int>(header.id));
      break;
    case kBadTimestampResult:
      console.out(kBadTimestamp, pos);
      if (reader.positionLog)
        std::fprintf(reader.positionLog, kLogBadTimestamp, pos, static_cast<int32_t>(header.timestamp));
      break;
    default:
      console.out(kBadLength, pos);
      if (reader.positionLog)
        std::fprintf(reader.positionLog, kLogBadLength, pos, static_cast<int32_t>(header.length));
      break;
  }
}

// True when a header rejected only for its timestamp starts a real jump of the
// logger's clock: it is ahead of the last timestamp, and it and the packets
// after it frame and chain from it.
bool clockJumped(PacketReader& reader, int result, const PacketHeader& header) {
  constexpr uint32_t kAhead = 0x80000000u;
  return result == kBadTimestampResult && header.length <= pelg::kMaxPayloadLength &&
         static_cast<uint32_t>(header.timestamp - reader.lastTimestamp) < kAhead &&
         confirmsClockJump(reader, header);
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
  const TrackVerdict own = judgePacketAt(reader, header, header.timestamp);
  const TrackVerdict last = judgePacketAt(reader, header, reader.lastTimestamp);
  if (own == TrackVerdict::on && last == TrackVerdict::off) return false;
  // Counters that agree with the last timestamp and not with its own make it
  // an outlier, whatever follows (a pause right after it, say).
  const bool refuted = own == TrackVerdict::off && last == TrackVerdict::on;
  const int32_t size = pelg::kPacketHeaderSize + static_cast<int32_t>(header.length);
  if (!refuted && lookAhead(reader, size, header.timestamp, 1).chained > 0) return false;
  const LookAhead fromLast = lookAhead(reader, size, reader.lastTimestamp, kLookAheadPackets);
  kept = fromLast.chained > 0 ? fromLast.firstTimestamp : reader.lastTimestamp;
  return refuted || fromLast.chained == kLookAheadPackets || (fromLast.reachedEnd && fromLast.chained > 0);
}

// After damage: drops a stretch of foreign packets that starts at the read
// position, whose first packet's timestamp is taken as `timestamp`. Returns
// true when it dropped one.
bool dropForeignStretch(PacketReader& reader, uint32_t timestamp) {
  const ForeignStretch stretch = findForeignStretch(reader, reader.buffer.position(), timestamp);
  if (!stretch.found) return false;
  const int64_t bytes = stretch.end - stretch.begin;
  if (stretch.toEnd)
    reader.console->out(kForeignToEnd, stretch.begin, stretch.packets, bytes);
  else
    reader.console->out(kForeign, stretch.begin, stretch.packets, bytes, stretch.end);
  return seekReader(reader.buffer, reader.file->stream, stretch.end);
}

// True when a valid header that the hunt came upon frames a packet that fits
// its neighbours: the header after it is valid and its timestamp follows
// (its payload may be damaged too), or the data ends before another header,
// or the packet's board counters agree with its timestamp. A false header
// made of the bytes around a real one (one byte before it, after zeroed
// bytes, reads as its timestamp times 256) rarely does.
bool fitsNeighbours(PacketReader& reader, const PacketHeader& header) {
  ReadBuffer& buffer = reader.buffer;
  const int32_t size = pelg::kPacketHeaderSize + static_cast<int32_t>(header.length);
  if (ensureAvailable(buffer, reader.file->stream, size + pelg::kPacketHeaderSize, *reader.console) < 1)
    return true;
  const uint8_t* next = buffer.next() + size;
  const uint32_t stamp = readLittleEndian<uint32_t>(next + 2);
  if (readLittleEndian<uint16_t>(next) < pelg::kMaxPacketIds &&
      readLittleEndian<uint32_t>(next + 6) <= pelg::kMaxPayloadLength &&
      static_cast<uint32_t>(stamp - header.timestamp) <= pelg::kMaxTimestampAdvance)
    return true;
  return judgePacketAt(reader, header, header.timestamp) == TrackVerdict::on;
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

// True when, shortly after damage, a timed board message that the decoder
// accepted lies at or a little behind its board's last one and repeats the
// message of a packet delivered shortly before (two messages of one
// interrupt differ in kind), whatever its timestamp: a sector copy whose
// header belongs to another packet. Its readings were delivered already.
// Without damage before it such a step is left to the time line.
bool repeatsDelivered(const PacketReader& reader, const BoardTrack& track, int32_t timeCounter,
                      int32_t interruptCounter, const PacketKey& key) {
  return reader.repeatCheckLeft > 0 && atOrBehindBoardTrack(track, timeCounter, interruptCounter) &&
         reader.recent.containsMessage(key);
}

// After a board message is decoded: a repeat of one delivered shortly before
// is dropped; an accepted one moves its board's track on; a rejected one is
// reported (rejected and failed checksums count as damage before what follows).
template <int N>
void screenBoardMessage(PacketReader& reader, DecodeStatus<N>& status, SampleBuffers<N>& samples,
                        BoardTrack& track, const PacketKey& key, uint32_t timestamp, int64_t payloadPos,
                        const char* rejected, const char* logRejected) {
  if (status.status == kDecodeAccepted &&
      repeatsDelivered(reader, track, status.timeCounter, status.interruptCounter, key)) {
    reader.console->out(kRepeated, payloadPos - pelg::kPacketHeaderSize);
    samples.clear();
    status.channelCounts.fill(0);
    status.status = kDecodeNone;
  }
  if (status.status == kDecodeAccepted) {
    followBoardTrack(track, status.timeCounter, status.interruptCounter, timestamp);
  } else if (status.status != kDecodeAuxiliary && status.status != kDecodeNone) {
    reader.damageBefore = status.status == kDecodeRejected;
    reader.console->out(rejected, payloadPos);
    if (reader.positionLog) std::fprintf(reader.positionLog, logRejected, payloadPos);
  }
}

// Hunts byte by byte for the next valid header, starting at the current read
// position, or for one that starts a jump of the logger's clock (`jumped`).
// Returns kHeaderValid with the header and the read position on it, or the
// end-of-data result that stopped the hunt.
int searchForHeader(PacketReader& reader, PacketHeader& header, bool& jumped) {
  Console& console = *reader.console;
  const int64_t start = reader.buffer.position();
  console.out(kSearchStart, start);
  if (reader.positionLog) std::fprintf(reader.positionLog, kLogSearchStart, start);
  for (;;) {
    const int result = readPacketHeader(reader, header);
    if (result == kEndOfData || result == kPacketCutShort) return result;
    if (result == kHeaderValid && fitsNeighbours(reader, header)) break;
    if (clockJumped(reader, result, header)) {
      jumped = true;
      break;
    }
    reader.buffer.consumed += 1;
  }
  const int64_t found = reader.buffer.position();
  console.out(kSearchEnd, found, found - start);
  if (reader.positionLog) std::fprintf(reader.positionLog, kLogSearchEnd, found);
  return kHeaderValid;
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

void initPacketReader(PacketReader& reader, Console& console) {
  reader.active = false;
  reader.positionLog = nullptr;
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
  resetBoardTrack(reader.huxTrack, 0);
  resetBoardTrack(reader.tivTrack, 0);
  reader.recent.clear();
  reader.repeatCheckLeft = 0;
  reader.damageBefore = false;
}

void bindPacketReader(PacketReader& reader, InputFile& file, int32_t capacity) {
  reader.file = &file;
  // The buffer must hold the largest packet whole; a smaller capacity could
  // never deliver it.
  bindReader(reader.buffer, capacity < kMinimumCapacity ? kMinimumCapacity : capacity);
  bindReader(reader.scanBuffer, kScanCapacity);
  reader.active = true;
  reader.huxEnabled.fill(false);
  reader.tivEnabled.fill(false);
  resetBoardTrack(reader.huxTrack, file.header.huxInfo.interrupt_count);
  resetBoardTrack(reader.tivTrack, file.header.tivInfo.interrupt_count);
  reader.recent.clear();
  reader.repeatCheckLeft = 0;
  reader.damageBefore = false;
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

int nextPacket(PacketReader& reader) {
  Console& console = *reader.console;
  ReadBuffer& buffer = reader.buffer;
  PacketHeader header;
  PacketKey key;

  for (;;) {
    int result = readPacketHeader(reader, header);
    if (result == kEndOfData) {
      reader.active = false;
      return kEndOfData;
    }
    if (result == kPacketCutShort) {
      console.out(kCutShort);
      if (reader.positionLog) std::fprintf(reader.positionLog, kLogCutShort, buffer.position());
      reader.active = false;
      return kPacketCutShort;
    }
    bool jumped = false;
    bool hunted = false;
    if (slightlyBehind(reader, result, header)) {
      // Kept, with the last timestamp (below); a step back is damage
      // evidence too: the packet may repeat one read before.
      result = kHeaderValid;
      reader.damageBefore = true;
    } else if (clockJumped(reader, result, header)) {
      jumped = true;
    } else if (result != kHeaderValid) {
      reportBadHeader(reader, result, header);
      buffer.consumed += 1;
      // The reader stays active after a hunt that runs into the end: the next
      // call meets the same bytes in normal mode and ends the stream there.
      result = searchForHeader(reader, header, jumped);
      if (result != kHeaderValid) return result;
      hunted = !jumped;
    }
    // A timestamp that alone jumped ahead is set aside before the damage
    // checks, so that they judge the packet by the time line it lies on.
    uint32_t kept = reader.lastTimestamp;
    const bool outlier = !jumped && timestampIsOutlier(reader, header, kept);
    if (hunted) reader.damageBefore = true;
    if (reader.damageBefore) {
      // The first packet after damage: what follows may be a block of
      // another recording, or bytes the card wrote twice.
      reader.damageBefore = false;
      reader.repeatCheckLeft = kRepeatCheckPackets;
      if (dropForeignStretch(reader, outlier ? kept : header.timestamp)) continue;
    }
    const uint8_t* packet = buffer.next();
    key = packetKey(header.id, header.timestamp, packet + pelg::kPacketHeaderSize, header.length);
    if (reader.repeatCheckLeft > 0) {
      --reader.repeatCheckLeft;
      if (reader.recent.contains(key)) {
        console.out(kRepeated, buffer.position());
        buffer.consumed += pelg::kPacketHeaderSize + static_cast<int32_t>(header.length);
        continue;
      }
    }
    if (jumped) {
      console.out(kClockJump, buffer.position(), header.timestamp - reader.lastTimestamp);
    } else if (outlier) {
      console.out(kOutlier, buffer.position(), header.timestamp, header.timestamp - reader.lastTimestamp);
      header.timestamp = kept;
    }
    break;
  }

  buffer.consumed += pelg::kPacketHeaderSize;
  const int64_t payloadPos = buffer.position();
  const uint8_t* payload = buffer.next();

  if (reader.lastTimestamp > header.timestamp) {
    console.out(kBackwards, payloadPos, static_cast<int32_t>(header.timestamp),
                static_cast<int32_t>(reader.lastTimestamp));
    header.timestamp = reader.lastTimestamp;
  }
  reader.lastTimestamp = header.timestamp;

  // An id that names no device block is stepped over like an unknown kind.
  const std::vector<DeviceRecord>& devices = reader.file->header.devices;
  const DeviceKind kind =
      header.id < devices.size() ? devices[header.id].kind : DeviceKind::unknown;
  switch (kind) {
    case DeviceKind::hux2:
    case DeviceKind::mic:
      decodeHux2(reader.huxStatus, payload, header.length, reader.huxSamples, reader.huxCalibration,
                 reader.huxEnabled);
      screenBoardMessage(reader, reader.huxStatus, reader.huxSamples, reader.huxTrack, key, header.timestamp,
                         payloadPos, kHux2Rejected, kLogHux2Rejected);
      break;
    case DeviceKind::tiv:
      decodeTiv(reader.tivStatus, payload, header.length, reader.tivSamples, reader.tivInterruptLimit,
                reader.tivEnabled);
      screenBoardMessage(reader, reader.tivStatus, reader.tivSamples, reader.tivTrack, key, header.timestamp,
                         payloadPos, kTivRejected, kLogTivRejected);
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
  return 1;
}

void closePacketReader(PacketReader& reader) {
  if (reader.positionLog) {
    std::fclose(reader.positionLog);
    reader.positionLog = nullptr;
  }
  releaseReader(reader.buffer);
  releaseReader(reader.scanBuffer);
}
