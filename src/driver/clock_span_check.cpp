#include "driver/clock_span_check.h"

#include "common/exit_status.h"
#include "common/fatal_error.h"

namespace {

constexpr const char* kRunsAhead =
    "# ERROR: File %s: the board clock covers %.0f seconds by the end of this file, but the files' own times "
    "cover only %.0f seconds: its time counters ran ahead of its packets (-disableChecks converts it anyway)\n";
constexpr const char* kExiting = "# ERROR: Exiting\n";

constexpr double kSlackSeconds = 3600.0;

bool aheadOf(double clockSeconds, double wallSeconds) { return clockSeconds > 2.0 * wallSeconds + kSlackSeconds; }

}  // namespace

ClockSpanVerdict judgeClockSpan(const InputFileInfo* files, int fileCount, int interruptRate) {
  ClockSpanVerdict verdict;
  if (fileCount <= 0 || interruptRate <= 0) return verdict;
  const double origin = static_cast<double>(files[0].startTime);
  double clockSeconds = 0.0, wallSeconds = 0.0;
  int firstAhead = -1;
  double firstClock = 0.0, firstWall = 0.0;
  for (int i = 0; i < fileCount; ++i) {
    const InputFileInfo& f = files[i];
    if (f.lastPacketMs >= 0)
      wallSeconds = (static_cast<double>(f.startTime) + static_cast<double>(f.lastPacketMs) - origin) / 1000.0;
    if (f.huxLastTimeIndex >= 0)
      clockSeconds = static_cast<double>(f.huxLastTimeIndex) * 10.0 / static_cast<double>(interruptRate);
    if (firstAhead < 0 && aheadOf(clockSeconds, wallSeconds)) {
      firstAhead = i;
      firstClock = clockSeconds;
      firstWall = wallSeconds;
    }
  }
  if (!aheadOf(clockSeconds, wallSeconds)) return verdict;
  verdict.runsAhead = true;
  verdict.fileIndex = firstAhead;
  verdict.clockSeconds = firstClock;
  verdict.wallSeconds = firstWall;
  return verdict;
}

void checkClockSpan(const InputFileInfo* files, int fileCount, int interruptRate,
                    const std::vector<std::string>& names, Console& console) {
  const ClockSpanVerdict verdict = judgeClockSpan(files, fileCount, interruptRate);
  if (!verdict.runsAhead) return;
  const InputFileInfo& f = files[verdict.fileIndex];
  const std::string& name = names[static_cast<size_t>(f.fileNumber)];
  console.out(kRunsAhead, name.c_str(), verdict.clockSeconds, verdict.wallSeconds);
  console.out(kExiting);
  throw FatalError(exit_status::kClockRunsAhead);
}
