// How the packet reader tells of the damage it meets: one event per damaged
// stretch, packet or message, through a narrow interface, so that the
// console, the run's report and pelginfo learn of it alike. The reader
// reports an event once it knows all of it (a hunt when it found the next
// header or the end), and never prints a damage line itself.
#pragma once

#include <cstdint>

#include "common/damage_counts.h"

// Why a packet header was rejected before a hunt.
enum class HeaderFault : int32_t { id, timestamp, length };

struct DamageEvent {
  DamageKind kind = DamageKind::skippedBytes;
  int64_t offset = 0;   // file offset where the damage begins (a hunt: the byte after the rejected header's first)
  int64_t bytes = 0;    // bytes it covers
  int64_t packets = 0;  // packets it covers
  // What the console says besides: the fault of the header before a hunt;
  // whether a hunt or a foreign stretch runs into the end of the data; the
  // board of a failed checksum (TIV or HUX2); a kept outlier's or a jump's
  // timestamp and its advance over the last one.
  HeaderFault fault = HeaderFault::id;
  bool toEnd = false;
  bool tivBoard = false;
  uint32_t timestamp = 0;
  uint32_t advanceMs = 0;
};

class DamageReporter {
 public:
  virtual ~DamageReporter() = default;
  virtual void damage(const DamageEvent& event) = 0;
};

// Adds an event to counts.
inline void countDamage(DamageCounts& counts, const DamageEvent& event) {
  DamageCount& c = counts[event.kind];
  ++c.events;
  c.bytes += event.bytes;
  c.packets += event.packets;
}

// Counts every event.
class DamageTally : public DamageReporter {
 public:
  void damage(const DamageEvent& event) override { countDamage(counts, event); }
  DamageCounts counts;
};
