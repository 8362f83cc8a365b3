#include "pelgsim/timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "common/board_counters.h"

namespace pelgsim {
namespace {

// Files are cut every 30 minutes unless the user asks for a number.
constexpr double kAutoFileSeconds = 1800.0;
std::string format(const char* fmt, double a, double b = 0) {
  char text[256];
  std::snprintf(text, sizeof text, fmt, a, b);
  return text;
}

// True when a roll-over point of either board lies in [from, to].
bool coversRollover(const Timeline& tl, int64_t from, int64_t to) {
  return tl.nextRolloverPoint(from) <= to || tl.nextRolloverPoint(from, tl.tivCounterStart) <= to;
}

// Interrupts from the start to time `seconds`.
int64_t interruptsAt(double seconds, int64_t m) { return std::llround(seconds * static_cast<double>(m) / 10.0); }

// The board counter at interrupt 0 that puts a roll-over point at `seconds`.
int64_t counterRollingOverAt(double seconds, int64_t m) {
  return board_counters::floorMod(-interruptsAt(seconds, m), board_counters::cycle(m));
}

// Interrupts at least one time-counter step (M interrupts) away from file
// edges, gaps and roll-overs: damage there has no effect beyond its own.
bool isQuiet(const Timeline& tl, int64_t t) {
  const int64_t margin = tl.interruptRate;
  if (coversRollover(tl, t - margin, t + margin)) return false;
  for (const FilePlan& f : tl.files) {
    if (t < f.begin + margin || t >= f.end - margin) continue;
    for (const Interval& g : f.gaps)
      if (t >= g.begin - margin && t < g.end + margin) return false;
    return true;
  }
  return false;
}

std::vector<int64_t> pickQuietTargets(const Timeline& tl, int count, Rng& rng, const char* what) {
  std::vector<int64_t> targets;
  for (int i = 0; i < count; ++i) {
    int64_t t = -1;
    for (int attempt = 0; attempt < 100000 && t < 0; ++attempt) {
      const auto candidate = static_cast<int64_t>(rng.below(static_cast<uint64_t>(tl.totalInterrupts)));
      if (isQuiet(tl, candidate)) t = candidate;
    }
    if (t < 0) throw std::invalid_argument(std::string("no room for the ") + what + " in this recording");
    targets.push_back(t);
  }
  std::sort(targets.begin(), targets.end());
  // One packet per target: targets closer than a step are spread out.
  for (size_t i = 1; i < targets.size(); ++i)
    if (targets[i] <= targets[i - 1]) targets[i] = targets[i - 1] + 1;
  return targets;
}

void checkSchedule(const SimOptions& o) {
  const int64_t m = o.hux.interrupt_count;
  const struct {
    const char* name;
    int32_t rate;
  } sensors[] = {{"--accel-rate", o.hux.accelerometer_hz}, {"--baro-rate", o.hux.barometer_hz},
                 {"--compass-rate", o.hux.compass_hz},     {"--hf-light-rate", o.hux.amb_light_hz},
                 {"--light-rate", o.hux.dals_hz},          {"--humidity-rate", o.hux.humidity_hz},
                 {"--gyro-rate", o.tivSchedule.gyro},      {"--mag-rate", o.tivSchedule.magnetometer}};
  for (const auto& s : sensors)
    if (s.rate > m)
      throw std::invalid_argument(std::string(s.name) +
                                  " is above the interrupt rate: a sensor reads at most once per interrupt");
  // An audio message holds at most 63 samples; one interrupt's samples must fit.
  const int64_t micTenths = static_cast<int64_t>(o.hux.mic_hz) * 10;
  if ((micTenths + m - 1) / m > 63)
    throw std::invalid_argument("--mic-hz is too high for the interrupt rate: one interrupt's samples must fit into 63");
}

}  // namespace

int64_t Timeline::nextRolloverPoint(int64_t t, int64_t start) const {
  const int64_t cycle = board_counters::cycle(interruptRate);
  const int64_t r = board_counters::floorMod(start + t, cycle);
  return r == 0 ? t : t + (cycle - r);
}

int Timeline::rolloversInFiles() const {
  int count = 0;
  for (const FilePlan& f : files)
    for (int64_t w = nextRolloverPoint(f.begin + 1); w < f.end; w = nextRolloverPoint(w + 1)) ++count;
  return count;
}

Timeline planTimeline(const SimOptions& o) {
  checkSchedule(o);
  if (o.gapSec <= 0) throw std::invalid_argument("--gap-length must be above 0 s");
  if (o.timeCounter >= 0 && o.rolloverAtSec >= 0)
    throw std::invalid_argument("--time-counter and --rollover-at both set the boards' clocks; give one");

  Rng rng(mix64(o.seed ^ 0x7469'6D65'6C69'6E65ull));
  Timeline tl;
  tl.interruptRate = o.hux.interrupt_count;
  const int64_t m = tl.interruptRate;
  tl.totalInterrupts = std::llround(o.durationSec * static_cast<double>(m) / 10.0);
  const int timeCounter = o.timeCounter >= 0 ? o.timeCounter : static_cast<int>(rng.below(256));
  tl.counterStart = o.rolloverAtSec >= 0 ? counterRollingOverAt(o.rolloverAtSec, m) : static_cast<int64_t>(timeCounter) * m;
  tl.tivCounterStart = o.tivRolloverAtSec >= 0 ? counterRollingOverAt(o.tivRolloverAtSec, m) : tl.counterStart;

  LoggerClockSettings clock = seededLoggerClock(o.seed);
  if (o.clockDriftPpm) {
    clock.driftPpm = *o.clockDriftPpm;
    clock.wobblePpm = 0;
  }
  if (o.stampBatchMs) clock.batchMs = *o.stampBatchMs;
  tl.logger = LoggerClock(clock);

  const int fileCount =
      o.files > 0 ? o.files : std::max(1, static_cast<int>(std::ceil(o.durationSec / kAutoFileSeconds - 1e-9)));
  const int64_t fileGap = interruptsAt(o.fileGapSec, m);
  const int64_t minFile = 2 * m;  // 20 s
  const int64_t recorded = tl.totalInterrupts - (fileCount - 1) * fileGap;
  if (recorded / fileCount < minFile)
    throw std::invalid_argument(format("the duration is too short for %.0f files (each needs at least 20 s)", fileCount));

  // File boundaries: equal pieces with the pauses between them.
  const int64_t length = recorded / fileCount;
  int64_t begin = 0;
  for (int k = 0; k < fileCount; ++k) {
    FilePlan f;
    f.begin = begin;
    f.end = k + 1 == fileCount ? tl.totalInterrupts : begin + length;
    begin = f.end + fileGap;
    f.startMs = o.startMs + static_cast<uint64_t>(tl.logger.at(tl.millisAt(f.begin)));
    tl.files.push_back(f);
  }

  // Gaps: at the times asked for, or spread over the files in turn, each near
  // an even division of its file with some jitter. Each keeps a step away
  // from its file's edges and from the gap before.
  const int64_t gapLength = interruptsAt(o.gapSec, m);
  auto place = [&](FilePlan& f, int64_t gapBegin) {
    Interval g{gapBegin, gapBegin + gapLength};
    const int64_t floor = f.gaps.empty() ? f.begin + m : f.gaps.back().end + m;
    if (g.begin < floor || g.end > f.end - m)
      throw std::invalid_argument(format("%.0f gaps of %.0f s do not fit into the files; ask for fewer or shorter gaps",
                                         o.gapAtSec.empty() ? o.gaps : static_cast<double>(o.gapAtSec.size()), o.gapSec));
    f.gaps.push_back(g);
  };
  if (!o.gapAtSec.empty()) {
    std::vector<double> starts = o.gapAtSec;
    std::sort(starts.begin(), starts.end());
    for (const double start : starts) {
      const int64_t at = interruptsAt(start, m);
      auto file = std::find_if(tl.files.begin(), tl.files.end(), [&](const FilePlan& f) { return at < f.end; });
      if (file == tl.files.end() || at < file->begin)
        throw std::invalid_argument(format("--gap-at %.0f s lies outside the files", start));
      place(*file, at);
    }
  }
  for (int k = 0; k < fileCount && o.gapAtSec.empty(); ++k) {
    FilePlan& f = tl.files[static_cast<size_t>(k)];
    const int inFile = o.gaps / fileCount + (k < o.gaps % fileCount ? 1 : 0);
    const int64_t span = f.end - f.begin;
    for (int i = 0; i < inFile; ++i) {
      const int64_t segment = span / (inFile + 1);
      const int64_t jitter = segment / 4 > 0 ? static_cast<int64_t>(rng.below(static_cast<uint64_t>(segment / 2))) - segment / 4 : 0;
      place(f, f.begin + segment * (i + 1) - gapLength / 2 + jitter);
    }
  }

  tl.strayTargets = pickQuietTargets(tl, o.strayRuns, rng, "stray bytes");
  tl.corruptTargets = pickQuietTargets(tl, o.badChecksums, rng, "bad checksums");
  return tl;
}

}  // namespace pelgsim
