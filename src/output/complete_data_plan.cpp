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
void planBoard(CompleteDataPlan& plan, const RecordsBySource& owners, const double* perInterrupt, int64_t timeIndex,
               const SampleBuffers<N>& samples) {
  if (samples.present == 0) return;
  for (uint32_t set = owners.of(samples.present); set != 0; set &= set - 1) {
    const int r = std::countr_zero(set);
    const int32_t source = kCompleteDataCatalogue[static_cast<size_t>(r)].source;
    ::plan(plan.masks[static_cast<size_t>(r)], expectedSamples(perInterrupt[source], timeIndex),
           samples.counts[source]);
  }
}

}  // namespace

CompleteDataPlan completeDataPlanFor(const InputFileInfo& reference) {
  CompleteDataPlan plan;
  for (size_t c = 0; c < plan.huxPerInterrupt.size(); ++c)
    plan.huxPerInterrupt[c] = samplesPerInterrupt(reference.huxChannelRates[c], reference.huxInterruptRate);
  for (size_t c = 0; c < plan.tivPerInterrupt.size(); ++c)
    plan.tivPerInterrupt[c] = samplesPerInterrupt(reference.tivChannelRates[c], reference.tivInterruptRate);
  plan.hasTiv = reference.hasTiv;
  return plan;
}

void planCompleteData(CompleteDataPlan& plan, int64_t huxTimeIndex, const HuxSamples& hux, int64_t tivTimeIndex,
                      const TivSamples& tiv) {
  static const RecordsBySource kHuxOwners = ownersOf(Board::kHux);
  static const RecordsBySource kTivOwners = ownersOf(Board::kTiv);
  planBoard(plan, kHuxOwners, plan.huxPerInterrupt.data(), huxTimeIndex, hux);
  if (plan.hasTiv) planBoard(plan, kTivOwners, plan.tivPerInterrupt.data(), tivTimeIndex, tiv);
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
