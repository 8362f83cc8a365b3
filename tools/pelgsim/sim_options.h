// The simulator's settings and their command-line form. Every option has a
// default, so `pelgsim` alone writes a one-hour recording into the current
// directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pelg_builder/pelg_builder.h"

namespace pelgsim {

struct SimOptions {
  std::string outDir = ".";
  std::string stem = "recording";
  uint64_t seed = 1;
  uint64_t startMs = 1710406800000ull;  // 2024-03-14 09:00:00 UTC
  double durationSec = 3600.0;
  int files = 0;  // 0: one file per started 30 minutes

  // HUX2 schedule: rates in tenths of a hertz, the microphone in hertz.
  pelgbuild::HuxSchedule hux;
  bool tiv = false;
  pelgbuild::TivSchedule tivSchedule;  // its interrupt rate follows the HUX2 board's

  int gaps = 0;             // stretches without packets inside the files
  double gapSec = 20.0;     // length of each
  double fileGapSec = 0.0;  // pause between the end of a file and the start of the next
  std::vector<double> gapAtSec;  // starts of the gaps (seconds from the start) instead of the seeded spread

  bool sirf = false;     // 1 Hz SiRF GPS receiver packets
  int strayRuns = 0;     // runs of stray bytes between packets
  int badChecksums = 0;  // audio messages (sensor messages without microphone) with a wrong checksum
  bool cutLast = false;  // the last packet of the last file is cut short

  int timeCounter = -1;  // board time counter at the first interrupt; -1: from the seed
  double rolloverAtSec = -1;     // the boards' time counters roll over at this time; -1: see timeCounter
  double tivRolloverAtSec = -1;  // the TIV board's own roll-over time; -1: its clock follows the HUX2 board's
  // The logger's clock against the boards' (see LoggerClock): unset, the
  // seed chooses a drift and a batch period as real loggers have them.
  std::optional<double> clockDriftPpm;
  std::optional<int64_t> stampBatchMs;
  double toneHz = 440.0;
  bool quiet = false;
};

// Result of parsing: the options, or the exit status to end with (0 after
// --help, 2 after a usage error, with the message already printed).
struct ParsedOptions {
  SimOptions options;
  std::optional<int> exitStatus;
};

ParsedOptions parseOptions(const std::vector<std::string>& args);
const char* helpText();

// "2024-03-14T09:00:00" (UTC, optional ".mmm" and "Z") or milliseconds since
// the epoch; nullopt when the text is neither.
std::optional<uint64_t> parseStartTime(const std::string& text);
// Seconds, with an optional unit suffix s, m or h ("90", "30m", "24h").
std::optional<double> parseDuration(const std::string& text);

}  // namespace pelgsim
