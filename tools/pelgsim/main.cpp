// pelgsim: writes a simulated multi-file PELG recording (see --help).
#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include "pelgsim/recording_writer.h"
#include "pelgsim/sim_options.h"
#include "pelgsim/timeline.h"

namespace {

std::string utcText(uint64_t ms) {
  const auto seconds = static_cast<time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const auto began = std::chrono::steady_clock::now();
  const pelgsim::ParsedOptions parsed = pelgsim::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.exitStatus) return *parsed.exitStatus;
  const pelgsim::SimOptions& o = parsed.options;

  pelgsim::Timeline timeline;
  try {
    timeline = pelgsim::planTimeline(o);
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "pelgsim: %s\n", e.what());
    return 2;
  }

  pelgsim::WriteSummary summary;
  try {
    summary = pelgsim::writeRecording(o, timeline);
  } catch (const std::runtime_error& e) {
    std::fprintf(stderr, "pelgsim: %s\n", e.what());
    return 1;
  }

  if (!o.quiet) {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::string damage;
    if (summary.strayRuns) damage += ", " + std::to_string(summary.strayRuns) + " stray-byte runs";
    if (summary.badChecksums) damage += ", " + std::to_string(summary.badChecksums) + " bad checksums";
    if (summary.cut) damage += ", last packet cut";
    const std::string files = summary.paths.size() == 1
                                  ? summary.paths.front()
                                  : summary.paths.front() + " .. " + summary.paths.back();
    std::printf("pelgsim: wrote %zu file%s (%s), %.0f s from %s UTC, %.1f MB, %llu packets, %d gap%s, "
                "%d time-counter roll-over%s%s%s%s in %.2f s\n",
                summary.paths.size(), summary.paths.size() == 1 ? "" : "s", files.c_str(),
                timeline.secondsAt(timeline.totalInterrupts),
                utcText(o.startMs).c_str(), static_cast<double>(summary.bytes) / 1e6,
                static_cast<unsigned long long>(summary.packets), summary.gaps, summary.gaps == 1 ? "" : "s",
                summary.rollovers, summary.rollovers == 1 ? "" : "s", o.tiv ? ", TIV" : "",
                o.sirf ? ", SiRF" : "", damage.c_str(), elapsed);
  }
  return 0;
}
