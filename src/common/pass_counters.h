// What one packet pass counts: per channel the samples decoded, and samples
// decoded plus samples counted as missing (the aligned counts); and the
// HUX2 board's time line: its gaps, the pauses between files and the
// roll-overs of its time counter.
#pragma once

#include <cstdint>
#include <vector>

#include "common/channels.h"

// A stretch of the HUX2 time line without packets: a gap inside a file (its
// packets more than a second apart) or the pause before a later file. Time
// indices are in interrupts of the board's time line.
struct TimeLineStep {
  bool pause = false;
  int32_t file = 0;         // index in the pass's order of the file it lies in (a pause: comes before)
  int32_t packet = 0;       // the packet after it, counted from 1 in its file
  int64_t fromIndex = 0;    // the board's last packet before it
  int64_t toIndex = 0;      // the packet after it
  int64_t rollovers = 0;    // roll-overs of the time counter bridged inside it
  bool filled = true;       // false: a later file that repeats the tail of the one before
};

struct PassCounters {
  HuxCounts huxSampleTotals{};
  HuxCounts huxAlignedCounts{};
  TivCounts tivSampleTotals{};
  TivCounts tivAlignedCounts{};
  std::vector<TimeLineStep> gaps;  // in time order
  int64_t plainRollovers = 0;      // HUX2 roll-overs between neighbouring packets
  int64_t bridgedRollovers = 0;    // HUX2 roll-overs inside gaps and pauses
};
