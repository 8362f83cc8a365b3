#include "pelgsim/sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>

namespace pelgsim {
namespace {

constexpr const char* kHelp =
    "pelgsim: writes a simulated PELG recording of the wearable sensor platform\n"
    "\n"
    "Usage: pelgsim [options]\n"
    "\n"
    "Output\n"
    "  -o, --out DIR           output folder, created when missing (default .)\n"
    "  --stem NAME             file-name stem: NAME_001.pelg, NAME_002.pelg, ... (default recording)\n"
    "  --seed N                random seed; one seed always gives the same bytes (default 1)\n"
    "  --start TIME            start of the recording, UTC: 2024-03-14T09:00:00[.mmm] or\n"
    "                          milliseconds since 1970 (default 2024-03-14T09:00:00)\n"
    "  --duration T            length of the recording from the first to the last\n"
    "                          interrupt, gaps included: seconds, or with a unit 90s,\n"
    "                          30m, 24h (default 1h)\n"
    "  --files N               number of files, consecutive pieces with their own header\n"
    "                          and start time (default: one per started 30 minutes)\n"
    "\n"
    "HUX2 schedule (rates in tenths of a hertz unless stated)\n"
    "  --intr N                interrupt rate (default 5120, i.e. 512 Hz); one step of\n"
    "                          the 8-bit time counter is always N interrupts = 10 s\n"
    "  --mic-hz N              microphone rate in hertz, 0 for none (default 8000)\n"
    "  --accel-rate N          accelerometer (default 1000, i.e. 100 Hz)\n"
    "  --baro-rate N           barometer pressure and temperature (default 100)\n"
    "  --compass-rate N        compass (default 100)\n"
    "  --hf-light-rate N       high-frequency visible light (default 100)\n"
    "  --light-rate N          visible, infrared and ambient light (default 100)\n"
    "  --humidity-rate N       humidity and its temperature (default 100)\n"
    "  --tone-hz F             frequency of the tone on the microphone (default 440)\n"
    "\n"
    "TIV board\n"
    "  --tiv                   add the TIV board (gyroscopes, their temperatures, magnetometer)\n"
    "  --gyro-rate N           gyroscopes and their temperatures (default 1000)\n"
    "  --mag-rate N            magnetometer (default 100)\n"
    "\n"
    "Gaps\n"
    "  --gaps N                stretches without packets inside the files (default 0)\n"
    "  --gap-length T          length of each (default 20s); gaps above 100 s make the\n"
    "                          logger's packet timestamps jump as well\n"
    "  --gap-at T[,T...]       gaps starting at these times after the start, instead of\n"
    "                          --gaps spread by the seed\n"
    "  --file-gap T            pause between one file's end and the next file's start\n"
    "                          (default 0)\n"
    "\n"
    "GPS and damage\n"
    "  --sirf                  add SiRF GPS receiver packets, one per second\n"
    "  --stray-bytes N         N runs of stray bytes between packets\n"
    "  --bad-checksums N       N audio messages (sensor messages when the microphone is\n"
    "                          off) with a wrong checksum\n"
    "  --cut-last              cut the last packet of the last file short\n"
    "\n"
    "Other\n"
    "  --time-counter N        board time counter (0-255) at the first interrupt\n"
    "                          (default: from the seed)\n"
    "  --rollover-at T         set the boards' clocks so that their time counters roll\n"
    "                          over T after the start (and every 2560 s after)\n"
    "  --tiv-rollover-at T     the TIV board's clock on its own: its roll-over T after\n"
    "                          the start (default: the same clock as the HUX2 board)\n"
    "  --clock-drift PPM       the logger's millisecond clock runs PPM parts per million\n"
    "                          fast (negative: slow) against the boards' crystals\n"
    "                          (default: from the seed, within +-50, with a slow\n"
    "                          wobble of up to 5 as with temperature)\n"
    "  --stamp-batch MS        the logger writes packets in batches every MS ms, all\n"
    "                          stamped alike when written, up to 2 x MS late; 0 stamps\n"
    "                          each packet at its own time (default: from the seed, 2-40)\n"
    "  --exact-clocks          --clock-drift 0 --stamp-batch 0: the logger's clock is\n"
    "                          the boards'\n"
    "  -q, --quiet             do not print the summary line\n"
    "  -h, --help              print this text\n"
    "\n"
    "The board's 8-bit time counter rolls over from 255 to 0 every 2560 s; the\n"
    "converter reports each roll-over with four warning lines. Gaps and pauses\n"
    "between files fall wherever the seed or the options put them, roll-overs\n"
    "included.\n"
    "Exit status: 0 written, 1 the files could not be written, 2 bad options.\n";

bool parseInt(const std::string& text, long long lo, long long hi, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  value = v;
  return true;
}

bool parseDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v)) return false;
  value = v;
  return true;
}

}  // namespace

const char* helpText() { return kHelp; }

std::optional<uint64_t> parseStartTime(const std::string& text) {
  long long ms = 0;
  if (parseInt(text, 0, 4102444800000LL, ms)) return static_cast<uint64_t>(ms);
  int year, month, day, hour, minute, second, consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                  &second, &consumed) != 6)
    return std::nullopt;
  std::string rest = text.substr(static_cast<size_t>(consumed));
  int millis = 0;
  if (!rest.empty() && rest[0] == '.') {
    size_t digits = 1;
    while (digits < rest.size() && digits <= 3 && rest[digits] >= '0' && rest[digits] <= '9') {
      millis = millis * 10 + (rest[digits] - '0');
      ++digits;
    }
    if (digits != 4) return std::nullopt;
    rest = rest.substr(4);
  }
  if (!rest.empty() && rest != "Z") return std::nullopt;
  if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
      second > 59)
    return std::nullopt;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  const time_t seconds = timegm(&tm);
  if (seconds < 0) return std::nullopt;
  return static_cast<uint64_t>(seconds) * 1000 + static_cast<uint64_t>(millis);
}

std::optional<double> parseDuration(const std::string& text) {
  if (text.empty()) return std::nullopt;
  double scale = 1.0;
  std::string number = text;
  switch (text.back()) {
    case 's': scale = 1.0; number.pop_back(); break;
    case 'm': scale = 60.0; number.pop_back(); break;
    case 'h': scale = 3600.0; number.pop_back(); break;
    default: break;
  }
  double value = 0;
  if (!parseDouble(number, value) || value < 0) return std::nullopt;
  return value * scale;
}

ParsedOptions parseOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  SimOptions& o = parsed.options;

  auto fail = [&](const std::string& message) {
    std::fprintf(stderr, "pelgsim: %s\n(pelgsim --help lists the options)\n", message.c_str());
    parsed.exitStatus = 2;
    return parsed;
  };

  // Options that take a value: each setter returns false when the value is unusable.
  using Setter = std::function<bool(const std::string&)>;
  auto intSetter = [](auto& field, long long lo, long long hi) {
    return Setter([&field, lo, hi](const std::string& v) {
      long long value = 0;
      if (!parseInt(v, lo, hi, value)) return false;
      field = static_cast<std::remove_reference_t<decltype(field)>>(value);
      return true;
    });
  };
  auto durationSetter = [](double& field) {
    return Setter([&field](const std::string& v) {
      const auto d = parseDuration(v);
      if (!d) return false;
      field = *d;
      return true;
    });
  };
  const std::map<std::string, Setter> valued = {
      {"--out", [&](const std::string& v) { o.outDir = v; return !v.empty(); }},
      {"-o", [&](const std::string& v) { o.outDir = v; return !v.empty(); }},
      {"--stem", [&](const std::string& v) { o.stem = v; return !v.empty() && v.find('/') == std::string::npos; }},
      {"--seed", intSetter(o.seed, 0, INT64_MAX)},
      {"--start", [&](const std::string& v) {
         const auto t = parseStartTime(v);
         if (t) o.startMs = *t;
         return t.has_value();
       }},
      {"--duration", durationSetter(o.durationSec)},
      {"--files", intSetter(o.files, 1, 4096)},
      {"--intr", intSetter(o.hux.interrupt_count, 10, 65535)},
      {"--mic-hz", intSetter(o.hux.mic_hz, 0, 1000000)},
      {"--accel-rate", intSetter(o.hux.accelerometer_hz, 0, 65535)},
      {"--baro-rate", intSetter(o.hux.barometer_hz, 0, 65535)},
      {"--compass-rate", intSetter(o.hux.compass_hz, 0, 65535)},
      {"--hf-light-rate", intSetter(o.hux.amb_light_hz, 0, 65535)},
      {"--light-rate", intSetter(o.hux.dals_hz, 0, 65535)},
      {"--humidity-rate", intSetter(o.hux.humidity_hz, 0, 65535)},
      {"--gyro-rate", intSetter(o.tivSchedule.gyro, 0, 65535)},
      {"--mag-rate", intSetter(o.tivSchedule.magnetometer, 0, 65535)},
      {"--gaps", intSetter(o.gaps, 0, 100000)},
      {"--gap-length", durationSetter(o.gapSec)},
      {"--file-gap", durationSetter(o.fileGapSec)},
      {"--gap-at", [&](const std::string& v) {
         o.gapAtSec.clear();
         size_t from = 0;
         for (;;) {
           const size_t comma = v.find(',', from);
           const auto d = parseDuration(v.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
           if (!d) return false;
           o.gapAtSec.push_back(*d);
           if (comma == std::string::npos) return true;
           from = comma + 1;
         }
       }},
      {"--rollover-at", durationSetter(o.rolloverAtSec)},
      {"--tiv-rollover-at", durationSetter(o.tivRolloverAtSec)},
      {"--stray-bytes", intSetter(o.strayRuns, 0, 100000)},
      {"--bad-checksums", intSetter(o.badChecksums, 0, 100000)},
      {"--time-counter", intSetter(o.timeCounter, 0, 255)},
      {"--clock-drift", [&](const std::string& v) {
         double ppm = 0;
         if (!parseDouble(v, ppm) || ppm < -1000 || ppm > 1000) return false;
         o.clockDriftPpm = ppm;
         return true;
       }},
      {"--stamp-batch", [&](const std::string& v) {
         long long ms = 0;
         if (!parseInt(v, 0, 1000, ms)) return false;
         o.stampBatchMs = ms;
         return true;
       }},
      {"--tone-hz", [&](const std::string& v) { return parseDouble(v, o.toneHz) && o.toneHz >= 0; }},
  };

  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (name.rfind("--", 0) == 0) {
      const size_t eq = name.find('=');
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name = name.substr(0, eq);
      }
    }
    if (name == "-h" || name == "--help") {
      std::fputs(kHelp, stdout);
      parsed.exitStatus = 0;
      return parsed;
    }
    if (!value) {
      if (name == "--tiv") { o.tiv = true; continue; }
      if (name == "--sirf") { o.sirf = true; continue; }
      if (name == "--cut-last") { o.cutLast = true; continue; }
      if (name == "--exact-clocks") { o.clockDriftPpm = 0; o.stampBatchMs = 0; continue; }
      if (name == "-q" || name == "--quiet") { o.quiet = true; continue; }
    }
    const auto it = valued.find(name);
    if (it == valued.end()) return fail("unknown option '" + args[i] + "'");
    if (!value) {
      if (i + 1 >= args.size()) return fail("option " + name + " needs a value");
      value = args[++i];
    }
    if (!it->second(*value)) return fail("bad value '" + *value + "' for " + name);
  }
  o.tivSchedule.interrupt_count = o.hux.interrupt_count;
  return parsed;
}

}  // namespace pelgsim
