// Which of a MAT-file's records take the samples of each source of one board,
// as a bit set over the record numbers. A packet's records are then visited
// in the catalogue's order (the order their console lines follow), while the
// records of sources without samples in the packet, most of them, are never
// looked at.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "common/channels.h"
#include "output/output_catalogue.h"

struct RecordsBySource {
  static_assert(kHuxChannelCount <= 32 && kTivChannelCount <= 32, "one bit per source");
  static_assert(kDataOutChannels <= 32 && kCompleteDataChannels <= 32, "one bit per record");
  static constexpr int kSources = 32;  // one bit per source in SampleBuffers::present
  std::array<uint32_t, kSources> records{};

  // Record r takes the samples of source; a negative source takes none.
  void add(int source, int record) {
    if (source >= 0) records[static_cast<size_t>(source)] |= uint32_t{1} << record;
  }
  // The records that take the samples of the sources in present.
  uint32_t of(uint32_t present) const {
    uint32_t set = 0;
    for (; present != 0; present &= present - 1) set |= records[std::countr_zero(present)];
    return set;
  }
};
