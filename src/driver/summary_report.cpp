#include "driver/summary_report.h"

#include <cinttypes>

#include "driver/duration_split.h"

namespace {

constexpr const char* kHuxSpan =
    "# INFO: File [%2d], HUX2 spans %7" PRId64 " to %8" PRId64
    "  %9.2f seconds (%3.0f hours %2.0f mins %5.2f seconds)\n";
constexpr const char* kTivSpan =
    "# INFO: File [%2d], TIV  spans %7" PRId64 " to %8" PRId64
    "  %9.2f seconds (%3.0f hours %2.0f mins %5.2f seconds)\n";
constexpr const char* kHuxInterruptTotal = "# INFO: %9" PRId64 " HUX2 interrupt counts\n";
constexpr const char* kTivInterruptTotal = "# INFO: %9" PRId64 " TIV  interrupt counts\n";
constexpr const char* kHuxSeconds = "# INFO: HUX2 %9.2f seconds (%3.0f hours %2.0f mins %5.2f seconds)\n";
constexpr const char* kTivSeconds = "# INFO: TIV  %9.2f seconds (%3.0f hours %2.0f mins %5.2f seconds)\n";
constexpr const char* kTableHeader = "# INFO: %17s %11s %15s %13s %7s %11s\n";
constexpr const char* kTableRow =
    "# INFO: %17s %9.2fHz %15" PRId64 " %13" PRId64 " %+7" PRId64 "   (%8.4f%%)\n";

// The last HUX channel (the accelerometer magnitude) has no row of its own.
constexpr int kHuxRowCount = kHuxChannelCount - 1;

double seconds(int64_t interrupts, int32_t interruptRate) {
  return static_cast<double>(interrupts) / interruptRate * 10;
}

struct BoardSpan {
  int32_t firstTime, firstInterrupt, lastTime;
  int64_t rollover;
  int32_t lastInterrupt;
};

BoardSpan tivSpan(const InputFileInfo& f) {
  return {f.tivFirstTimeCounter, f.tivFirstInterruptCounter, f.tivLastTimeCounter,
          f.tivRolloverInterrupts, f.tivLastInterruptCounter};
}

BoardSpan huxSpan(const InputFileInfo& f) {
  return {f.huxFirstTimeCounter, f.huxFirstInterruptCounter, f.huxLastTimeCounter,
          f.huxRolloverInterrupts, f.huxLastInterruptCounter};
}

int64_t spanStart(const BoardSpan& s, int32_t rate) { return int64_t{rate} * s.firstTime + s.firstInterrupt; }

int64_t spanEnd(const BoardSpan& s, int32_t rate) {
  return int64_t{rate} * s.lastTime + s.rollover + s.lastInterrupt;
}

// Prints one span line per file and returns the total of the spans.
int64_t printSpans(const SummaryInputs& in, const char* format, BoardSpan (*spanOf)(const InputFileInfo&),
                   int32_t rate, Console& console) {
  int64_t total = 0;
  for (int k = 0; k < in.fileCount; ++k) {
    const InputFileInfo& file = in.files[k];
    const BoardSpan span = spanOf(file);
    const int64_t start = spanStart(span, rate);
    const int64_t end = spanEnd(span, rate);
    const int64_t length = end - start;
    total += length;
    const double s = seconds(length, rate);
    const DurationSplit split = splitDuration(s);
    console.out(format, file.fileNumber, start, end, s, split.hours, split.mins, split.secs);
  }
  return total;
}

void printTotalSeconds(const char* format, int64_t total, int32_t rate, Console& console) {
  const double s = seconds(total, rate);
  const DurationSplit split = splitDuration(s);
  console.out(format, s, split.hours, split.mins, split.secs);
}

void printRows(const char* const* labels, const int32_t* rates, const int64_t* expected,
               const int64_t* found, int rowCount, Console& console) {
  for (int c = 0; c < rowCount; ++c) {
    const double percent =
        expected[c] == 0 ? 0.0 : static_cast<double>(found[c]) / static_cast<double>(expected[c]) * 100;
    console.out(kTableRow, labels[c], rates[c] / 10.0, expected[c], found[c], found[c] - expected[c],
                percent);
  }
}

}  // namespace

int64_t huxSpanStart(const InputFileInfo& info, int32_t interruptRate) {
  return spanStart(huxSpan(info), interruptRate);
}

int64_t huxSpanEnd(const InputFileInfo& info, int32_t interruptRate) {
  return spanEnd(huxSpan(info), interruptRate);
}

void printSummaryReport(const SummaryInputs& in, const PassCounters& counters, Console& console) {
  const bool withTiv = in.tivFileTally > 0;
  const int64_t huxTotal = printSpans(in, kHuxSpan, huxSpan, in.huxInterruptRate, console);
  int64_t tivTotal = 0;
  if (withTiv) {
    console.out("\n");
    tivTotal = printSpans(in, kTivSpan, tivSpan, in.tivInterruptRate, console);
  }

  console.out(kHuxInterruptTotal, huxTotal);
  if (withTiv) console.out(kTivInterruptTotal, tivTotal);
  printTotalSeconds(kHuxSeconds, huxTotal, in.huxInterruptRate, console);
  if (withTiv) printTotalSeconds(kTivSeconds, tivTotal, in.tivInterruptRate, console);

  console.out(kTableHeader, "Sensor Name", "SampleRate", "ExpectedSamples", "FoundSamples", "Diff",
              " Percent Difference");
  const InputFileInfo& first = in.files[0];
  printRows(kHuxChannelLabels.data(), first.huxChannelRates.data(), counters.huxAlignedCounts.data(),
            counters.huxSampleTotals.data(), kHuxRowCount, console);
  if (withTiv)
    printRows(kTivChannelLabels.data(), first.tivChannelRates.data(), counters.tivAlignedCounts.data(),
              counters.tivSampleTotals.data(), kTivChannelCount, console);
}
