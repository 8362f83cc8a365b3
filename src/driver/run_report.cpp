#include "driver/run_report.h"

#include <sys/stat.h>

#include <cstring>
#include <ctime>

#include "common/channels.h"
#include "common/damage_json.h"
#include "common/json_writer.h"
#include "common/output_file.h"
#include "driver/run_state.h"
#include "driver/summary_report.h"

namespace {

constexpr int kReportVersion = 1;
constexpr const char* kWarningPrefix = "# WARNING: ";
constexpr const char* kErrorPrefix = "# ERROR: ";
constexpr const char* kFileIndexPrefix = "file index ";
constexpr const char* kElided = "\u2026";

// The last HUX channel (the accelerometer magnitude) has no row of its own.
constexpr int kHuxRowCount = kHuxChannelCount - 1;

bool startsWith(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

int64_t fileSize(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<int64_t>(info.st_size);
}

// Milliseconds since the epoch as UTC, ISO 8601 with milliseconds.
std::string isoTime(uint64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + n, sizeof text - n, ".%03uZ", static_cast<unsigned>(ms % 1000));
  return text;
}

// The container the WAV file ended in: RF64 is chosen from the scan's count,
// and libsndfile writes a RIFF WAV when the file stays within its limit.
const char* wavContainer(const std::string& path) {
  char magic[4] = {};
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return "WAV";
  const size_t n = std::fread(magic, 1, sizeof magic, file);
  std::fclose(file);
  return n == sizeof magic && std::memcmp(magic, "RF64", 4) == 0 ? "RF64" : "WAV";
}

const char* matFormat(MatVersion version) { return version == MatVersion::kMat73 ? "MAT v7.3" : "MAT v5"; }

void writeFiles(JsonWriter& json, const RunState& run, int32_t rate) {
  json.key("files");
  json.beginArray();
  for (int i = 0; i < run.fileCount(); ++i) {
    const InputFileInfo& f = run.files[static_cast<size_t>(i)];
    const std::string& name = run.args[static_cast<size_t>(f.fileNumber)];
    json.beginObject();
    json.key("name");
    json.value(name);
    json.key("start");
    json.value(isoTime(f.startTime));
    json.key("seconds");
    json.value(rate > 0 ? static_cast<double>(huxSpanEnd(f, rate) - huxSpanStart(f, rate)) / rate * 10 : 0.0);
    json.key("bytes");
    json.value(fileSize(name));
    json.key("packets");
    json.value(f.packetsRead);
    json.key("damage");
    writeDamageJson(json, f.damage);
    json.endObject();
  }
  json.endArray();
}

void writeChannelRows(JsonWriter& json, const char* const* labels, const int32_t* rates, const int64_t* expected,
                      const int64_t* found, int rows) {
  for (int c = 0; c < rows; ++c) {
    json.beginObject();
    json.key("name");
    json.value(labels[c]);
    json.key("rateHz");
    json.value(rates[c] / 10.0);
    json.key("expected");
    json.value(expected[c]);
    json.key("found");
    json.value(found[c]);
    json.endObject();
  }
}

void writeGaps(JsonWriter& json, const PassCounters& counters, int32_t rate) {
  const auto seconds = [rate](int64_t interrupts) {
    return rate > 0 ? static_cast<double>(interrupts) / rate * 10 : 0.0;
  };
  json.key("gaps");
  json.beginArray();
  for (const TimeLineStep& step : counters.gaps) {
    json.beginObject();
    json.key("kind");
    json.value(step.pause ? "pause" : "gap");
    json.key("file");
    json.value(step.file);
    json.key("packet");
    json.value(step.packet);
    json.key("start");
    json.value(seconds(step.fromIndex));
    json.key("seconds");
    json.value(seconds(step.toIndex - step.fromIndex));
    json.key("rollovers");
    json.value(step.rollovers);
    json.key("filled");
    json.value(step.filled);
    json.endObject();
  }
  json.endArray();
  json.key("rollovers");
  json.beginObject();
  json.key("plain");
  json.value(counters.plainRollovers);
  json.key("bridged");
  json.value(counters.bridgedRollovers);
  json.endObject();
}

void writeOutput(JsonWriter& json, const std::string& path, const char* format) {
  const size_t slash = path.find_last_of("/\\");
  json.beginObject();
  json.key("name");
  json.value(slash == std::string::npos ? path : path.substr(slash + 1));
  json.key("format");
  json.value(format);
  json.key("bytes");
  json.value(fileSize(path));
  json.endObject();
}

void writeOutputs(JsonWriter& json, const RunState& run, int status) {
  json.key("outputs");
  json.beginArray();
  const ParseState& state = run.parseState;
  if (status == 0 && run.outputsCommitted) {
    if (state.wavEnabled) writeOutput(json, state.wav.path, wavContainer(state.wav.path));
    if (state.dataOutEnabled) writeOutput(json, state.dataOut.path, matFormat(state.formats.dataOut));
    if (state.completeDataEnabled)
      writeOutput(json, state.completeData.path, matFormat(state.formats.completeData));
    if (!state.sirfPath.empty()) writeOutput(json, state.sirfPath, "binary");
  }
  json.endArray();
}

}  // namespace

std::string warningKind(const char* format) {
  std::string kind;
  const char* p = format + std::strlen(kWarningPrefix);
  if (startsWith(p, kFileIndexPrefix)) {
    const char* comma = std::strstr(p, ", ");
    if (comma) p = comma + 2;
  }
  for (; *p && *p != '\n'; ++p) {
    if (*p != '%') {
      kind += *p;
      continue;
    }
    if (p[1] == '%') {
      kind += '%';
      ++p;
      continue;
    }
    // A conversion: flags, width, precision and length up to its letter.
    ++p;
    while (*p && !std::strchr("diouxXeEfFgGaAcsp", *p)) ++p;
    kind += kElided;
    if (!*p) break;
  }
  return kind;
}

void RunReportLines::beginPass() {
  inPass_ = true;
  ++passes_;
  lastPass_.clear();
}

void RunReportLines::consoleLine(const char* format, const char* text) {
  // ERROR lines come on both streams; those of the error stream that name
  // an input file lack the "# ".
  const char* error = startsWith(text, kErrorPrefix) ? text + std::strlen(kErrorPrefix)
                      : startsWith(text, kErrorPrefix + 2) ? text + std::strlen(kErrorPrefix + 2)
                                                            : nullptr;
  if (error) {
    std::string line(error);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    errors_.push_back({line, inPass_ ? passes_ : 0});
  } else if (startsWith(format, kWarningPrefix)) {
    ++(inPass_ ? lastPass_ : outsidePasses_)[warningKind(format)];
  }
}

std::vector<std::string> RunReportLines::errors() const {
  std::vector<std::string> lines;
  for (const ErrorLine& e : errors_)
    if (e.pass == 0 || e.pass == passes_) lines.push_back(e.text);
  return lines;
}

std::map<std::string, int64_t> RunReportLines::warnings() const {
  std::map<std::string, int64_t> all = outsidePasses_;
  for (const auto& [kind, count] : lastPass_) all[kind] += count;
  return all;
}

std::string runReportJson(const RunState& run, const RunReportLines& lines, int status) {
  std::string text;
  JsonWriter json(text);
  json.beginObject();
  json.key("version");
  json.value(kReportVersion);
  json.key("status");
  json.value(status);
  json.key("errors");
  json.beginArray();
  for (const std::string& line : lines.errors()) json.value(line);
  json.endArray();
  json.key("warnings");
  json.beginObject();
  for (const auto& [kind, count] : lines.warnings()) {
    json.key(kind);
    json.value(count);
  }
  json.endObject();
  const bool wrote = run.passesStarted > 1;
  json.key("pass");
  if (run.passesStarted > 0) json.value(wrote ? "write" : "scan"); else json.null();
  const PassCounters& counters = wrote ? run.writeCounters : run.scanCounters;
  const int32_t huxRate = run.validationFile.header.huxInfo.interrupt_count;
  if (run.passesStarted > 0) {
    writeFiles(json, run, huxRate);
    json.key("channels");
    json.beginArray();
    const InputFileInfo& first = run.files[0];
    writeChannelRows(json, kHuxChannelLabels.data(), first.huxChannelRates.data(), counters.huxAlignedCounts.data(),
                     counters.huxSampleTotals.data(), kHuxRowCount);
    if (run.tivFileTally > 0)
      writeChannelRows(json, kTivChannelLabels.data(), first.tivChannelRates.data(), counters.tivAlignedCounts.data(),
                       counters.tivSampleTotals.data(), kTivChannelCount);
    json.endArray();
    writeGaps(json, counters, huxRate);
  } else {
    json.key("files");
    json.beginArray();
    json.endArray();
    json.key("channels");
    json.beginArray();
    json.endArray();
    json.key("gaps");
    json.beginArray();
    json.endArray();
    json.key("rollovers");
    json.null();
  }
  writeOutputs(json, run, status);
  json.endObject();
  text += '\n';
  return text;
}

void createRunReport(OutputFile& report, const std::string& path, Console& console) {
  if (!report.create(path)) exitOnOutputFailure(report, console);
}

bool writeRunReport(OutputFile& report, const RunState& run, const RunReportLines& lines, int status,
                    Console& console) {
  const std::string text = runReportJson(run, lines, status);
  if (!report.write(text.data(), text.size()) || !report.finish() || !report.commit()) {
    reportOutputFailure(report, console);
    return false;
  }
  return true;
}
