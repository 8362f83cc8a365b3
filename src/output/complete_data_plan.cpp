#include "output/complete_data_plan.h"

#include <algorithm>
#include <bit>

#include "output/fill_rule.h"
#include "output/records_by_source.h"

namespace {

void plan(PlannedMask& mask, double expected, int32_t n) {
  const int64_t filled = rowsToFill(expected, mask.position, n);
  if (filled > 0) {
    mask.recent[static_cast<size_t>(mask.next)] = FilledStretch{mask.position, filled};
    mask.next = (mask.next + 1) % PlannedMask::kKept;
    mask.kept = std::min(mask.kept + 1, PlannedMask::kKept);
    mask.filled += filled;
    mask.position += filled;
  }
  ++mask.position;
}

// The owner records (those with a mask) of each source of board.
RecordsBySource ownersOf(Board board) {
  RecordsBySource owners;
  for (int32_t r = 0; r < kCompleteDataChannels; ++r) {
    const CompleteDataEntry& entry = kCompleteDataCatalogue[static_cast<size_t>(r)];
    if (entry.board == board && entry.owner < 0) owners.add(entry.source, r);
  }
  return owners;
}

template <int N>
void planBoard(CompleteDataPlan& plan, Board board, const int32_t* rates, int32_t interruptRate,
               int64_t timeIndex, const SampleBuffers<N>& samples) {
  if (samples.present == 0) return;
  static const RecordsBySource kHuxOwners = ownersOf(Board::kHux);
  static const RecordsBySource kTivOwners = ownersOf(Board::kTiv);
  const RecordsBySource& owners = board == Board::kHux ? kHuxOwners : kTivOwners;
  for (uint32_t set = owners.of(samples.present); set != 0; set &= set - 1) {
    const int r = std::countr_zero(set);
    const int32_t source = kCompleteDataCatalogue[static_cast<size_t>(r)].source;
    ::plan(plan.masks[static_cast<size_t>(r)],
           expectedSamples(rates[source], interruptRate, timeIndex), samples.counts[source]);
  }
}

}  // namespace

void planCompleteData(CompleteDataPlan& plan, const InputFileInfo& reference, int64_t huxTimeIndex,
                      const HuxSamples& hux, int64_t tivTimeIndex, const TivSamples& tiv) {
  planBoard(plan, Board::kHux, reference.huxChannelRates.data(), reference.huxInterruptRate,
            huxTimeIndex, hux);
  if (reference.hasTiv) {
    planBoard(plan, Board::kTiv, reference.tivChannelRates.data(), reference.tivInterruptRate,
              tivTimeIndex, tiv);
  }
}

int64_t plannedMaskEntries(const CompleteDataPlan& plan, int32_t record, int64_t rows) {
  const PlannedMask& mask = plan.masks[static_cast<size_t>(record)];
  int64_t entries = mask.filled;
  for (int32_t i = 0; i < mask.kept; ++i) {
    const FilledStretch& stretch = mask.recent[static_cast<size_t>(i)];
    entries -= std::clamp<int64_t>(stretch.start + stretch.rows - std::max(stretch.start, rows), 0,
                                   stretch.rows);
  }
  return std::max<int64_t>(entries, 0);
}
