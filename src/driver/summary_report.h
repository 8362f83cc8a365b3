// The report printed after a packet pass: per file the span it covers in board
// interrupts and seconds, the totals, and per channel the samples the time
// line calls for against the samples decoded.
#pragma once

#include <cstdint>

#include "common/console.h"
#include "common/input_file_info.h"
#include "common/pass_counters.h"

struct SummaryInputs {
  const InputFileInfo* files = nullptr;  // sorted; record 0 gives the channel rates
  int fileCount = 0;
  int32_t tivFileTally = 0;      // the TIV parts appear only when above 0
  int32_t huxInterruptRate = 0;  // the run's rates, tenths of a hertz
  int32_t tivInterruptRate = 0;
};

void printSummaryReport(const SummaryInputs& inputs, const PassCounters& counters, Console& console);

// The interrupts one file's HUX packets span: last minus first position on the
// board's time line.
int64_t huxSpanStart(const InputFileInfo& info, int32_t interruptRate);
int64_t huxSpanEnd(const InputFileInfo& info, int32_t interruptRate);
