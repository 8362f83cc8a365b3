// How many rows each completeData mask will mark, counted in the scan pass so
// that a MAT v5 file can give every mask its room before the write pass.
//
// Contract: planCompleteData follows the write pass's fill rule packet by
// packet for every owner channel (the mask follows its x axis). The final
// rows of a channel are known only after the scan, and no row at or beyond
// them is filled, so the last fills of each channel are kept (a bounded
// number) and those beyond the rows are taken off when the count is asked
// for. The count is exact unless more filled stretches than are kept lie
// beyond the rows; it is never below the rows the write pass marks, and the
// writer lays its file out again if it is wrong.
#pragma once

#include <array>
#include <cstdint>

#include "common/input_file_info.h"
#include "decoders/sample_buffers.h"
#include "output/output_catalogue.h"

struct FilledStretch {
  int64_t start = 0;
  int64_t rows = 0;
};

struct PlannedMask {
  static constexpr int kKept = 64;
  int64_t position = 0;  // the channel's next row, as the write pass will count it
  int64_t filled = 0;    // rows filled
  std::array<FilledStretch, kKept> recent{};  // the latest stretches, oldest first once full
  int32_t kept = 0;
  int32_t next = 0;  // where the next stretch goes
};

struct CompleteDataPlan {
  std::array<PlannedMask, kCompleteDataChannels> masks{};
  // Each source's samples per interrupt in the reference file, taken once:
  // the scan places every packet by them.
  std::array<double, kHuxChannelCount> huxPerInterrupt{};
  std::array<double, kTivChannelCount> tivPerInterrupt{};
  bool hasTiv = false;
};

// A plan with nothing counted yet; reference is record 0 of the sorted table.
CompleteDataPlan completeDataPlanFor(const InputFileInfo& reference);

// One timed packet of the scan pass.
void planCompleteData(CompleteDataPlan& plan, int64_t huxTimeIndex, const HuxSamples& hux, int64_t tivTimeIndex,
                      const TivSamples& tiv);

// The entries of record's mask in an array of rows rows.
int64_t plannedMaskEntries(const CompleteDataPlan& plan, int32_t record, int64_t rows);
