#include "driver/start_order.h"

#include <algorithm>
#include <ctime>

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "driver/duration_split.h"

namespace {

constexpr const char* kStartsAt = "# INFO: [%2d] starts at %s";
constexpr const char* kSortedOrder = "# INFO: Sorted order:\n";
constexpr const char* kStartsAtAfter =
    "# INFO: [%2d] starts at %s   (%3.0f hours %2.0f mins %5.2f seconds from previous file)\n";
constexpr const char* kGapTooLarge =
    "# ERROR: File [%2d]'s start time is more than %d seconds from trace [%2d]'s start time\n";
constexpr const char* kRejected = "# ERROR: This sequence of PELG files has been rejected\n";
constexpr const char* kIncreaseGap = "# ERROR: increase -maxGap_sec or choose a new sequence\n";

// Shown for a start time that the local-time conversion cannot represent.
constexpr const char* kUnrepresentableTime = "(start time out of range)\n";

uint64_t wholeSeconds(const InputFileInfo& info) { return info.startTime / 1000; }

}  // namespace

std::string startTimeText(uint64_t startTimeMs) {
  const uint64_t seconds = startTimeMs / 1000;
  if (seconds > static_cast<uint64_t>(INT64_MAX)) return kUnrepresentableTime;
  const std::time_t time = static_cast<std::time_t>(seconds);
  const char* text = std::ctime(&time);
  return text != nullptr ? text : kUnrepresentableTime;
}

bool startGapTooLarge(uint64_t earlierMs, uint64_t laterMs, int32_t maxGap_sec) {
  const uint64_t maxGap = static_cast<uint64_t>(static_cast<int64_t>(maxGap_sec));
  return laterMs / 1000 - earlierMs / 1000 > maxGap;
}

void orderByStartTime(InputFileInfo* files, int count, const RunOptions& options, Console& console) {
  for (int t = 0; t < count; ++t)
    console.out(kStartsAt, files[t].fileNumber, startTimeText(files[t].startTime).c_str());

  std::stable_sort(files, files + count, [](const InputFileInfo& a, const InputFileInfo& b) {
    return a.startTime < b.startTime;
  });

  console.out(kSortedOrder);
  for (int k = 0; k < count; ++k) {
    std::string text = startTimeText(files[k].startTime);
    if (k == 0) {
      console.out(kStartsAt, files[k].fileNumber, text.c_str());
      continue;
    }
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const double distance = static_cast<double>(wholeSeconds(files[k]) - wholeSeconds(files[k - 1]));
    const DurationSplit split = splitDuration(distance);
    console.out(kStartsAtAfter, files[k].fileNumber, text.c_str(), split.hours, split.mins, split.secs);
  }

  if (!options.checkHeaders) return;
  for (int k = 1; k < count; ++k) {
    if (startGapTooLarge(files[k - 1].startTime, files[k].startTime, options.maxGap_sec)) {
      console.out(kGapTooLarge, k, options.maxGap_sec, k - 1);
      console.out(kRejected);
      console.out(kIncreaseGap);
      exitRun(console, exit_status::kGapTooLarge);
    }
  }
}
