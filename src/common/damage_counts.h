// The kinds of damage the packet reader survives, and a count of each, as the
// run's report and pelginfo give them. The reader tells of every event
// through a DamageReporter (input/damage_reporter.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

enum class DamageKind : int32_t {
  skippedBytes,      // bytes hunted over after a broken packet header
  badChecksum,       // a board message that failed its checksum (its readings lost)
  truncatedPacket,   // the file ends inside a packet
  timestampOutlier,  // a packet kept, its timestamp not
  foreignStretch,    // packets off the recording's time line, dropped
  duplicatedSector,  // a packet or message that repeats one read shortly before, dropped
  clockJump,         // a jump of the logger's clock (a pause) accepted inside a file
};

inline constexpr int kDamageKinds = 7;

// The kinds' names in the report and in pelginfo's JSON, in enum order.
inline constexpr std::array<const char*, kDamageKinds> kDamageKindNames = {
    "skippedBytes", "badChecksum", "truncatedPacket", "timestampOutlier",
    "foreignStretch", "duplicatedSector", "clockJump"};

struct DamageCount {
  int64_t events = 0;
  int64_t bytes = 0;    // bytes the events cover
  int64_t packets = 0;  // packets they cover
};

struct DamageCounts {
  std::array<DamageCount, kDamageKinds> byKind{};

  DamageCount& operator[](DamageKind kind) { return byKind[static_cast<size_t>(kind)]; }
  const DamageCount& operator[](DamageKind kind) const { return byKind[static_cast<size_t>(kind)]; }
};
