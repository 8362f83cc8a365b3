// The per-channel counters of one packet pass: samples decoded, and samples
// decoded plus samples counted as missing (the aligned counts).
#pragma once

#include "common/channels.h"

struct PassCounters {
  HuxCounts huxSampleTotals{};
  HuxCounts huxAlignedCounts{};
  TivCounts tivSampleTotals{};
  TivCounts tivAlignedCounts{};
};
