#include "input/console_damage_reporter.h"

#include <cinttypes>

namespace {

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

const char* headerFaultLine(HeaderFault fault) {
  switch (fault) {
    case HeaderFault::id:
      return kBadId;
    case HeaderFault::timestamp:
      return kBadTimestamp;
    case HeaderFault::length:
      break;
  }
  return kBadLength;
}

}  // namespace

void ConsoleDamageReporter::damage(const DamageEvent& e) {
  if (counts_) countDamage(*counts_, e);
  switch (e.kind) {
    case DamageKind::skippedBytes:
      // The rejected header's line at its first byte, then the hunt from the byte after it.
      console_.out(headerFaultLine(e.fault), e.offset - 1);
      console_.out(kSearchStart, e.offset);
      if (!e.toEnd) console_.out(kSearchEnd, e.offset + e.bytes, e.bytes);
      break;
    case DamageKind::badChecksum:
      console_.out(e.tivBoard ? kTivRejected : kHux2Rejected, e.offset);
      break;
    case DamageKind::truncatedPacket:
      console_.out(kCutShort);
      break;
    case DamageKind::timestampOutlier:
      console_.out(kOutlier, e.offset, e.timestamp, e.advanceMs);
      break;
    case DamageKind::foreignStretch:
      if (e.toEnd)
        console_.out(kForeignToEnd, e.offset, e.packets, e.bytes);
      else
        console_.out(kForeign, e.offset, e.packets, e.bytes, e.offset + e.bytes);
      break;
    case DamageKind::duplicatedSector:
      console_.out(kRepeated, e.offset);
      break;
    case DamageKind::clockJump:
      console_.out(kClockJump, e.offset, e.advanceMs);
      break;
  }
}
