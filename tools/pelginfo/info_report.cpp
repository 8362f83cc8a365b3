#include "info_report.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "common/channels.h"
#include "common/damage_json.h"
#include "common/json_writer.h"

namespace {

constexpr int32_t kDefaultMaxGapSec = 3000;

// Text report lines.
constexpr const char* kStartLine = "  start          %s (%" PRIu64 " ms)\n";
constexpr const char* kHuxBoardLine = "  HUX2 board     serial 0x%04X, hardware %d, software %d.%d\n";
constexpr const char* kTivBoardLine = "  TIV board      serial 0x%04X, hardware %d, software %d.%d\n";
constexpr const char* kHuxScheduleLine =
    "  HUX2 schedule  interrupts %.1f Hz, mic %d Hz, accelerometer %.1f Hz, barometer %.1f Hz, "
    "compass %.1f Hz, hf light %.1f Hz, light %.1f Hz, humidity %.1f Hz, power %d\n";
constexpr const char* kCalibrationLine =
    "  calibration    C1 %d, C2 %d, C3 %d, C4 %d, C5 %d, C6 %d (words 0x%04X 0x%04X 0x%04X 0x%04X)\n";
constexpr const char* kTivScheduleLine =
    "  TIV schedule   interrupts %.1f Hz, gyro %.1f Hz, magnetometer %.1f Hz, power %d\n";
constexpr const char* kTivWordsLine = "  TIV words      %d %d %d %d\n";
constexpr const char* kNoTivLine = "  TIV board      none\n";
constexpr const char* kPacketsLine =
    "  packets        %" PRId64 ", %" PRId64 " damaged; timestamps %.3f s to %.3f s (%.3f s)\n";
constexpr const char* kDamageLine =
    "  damage         %" PRId64 " damaged stretches skipped (%" PRId64 " bytes), %" PRId64
    " bad checksums%s\n";
constexpr const char* kCutShortText = ", last packet cut short";
constexpr const char* kScreenedLine =
    "  screened       %" PRId64 " timestamp outliers kept, %" PRId64 " foreign stretches (%" PRId64
    " packets), %" PRId64 " duplicated sectors and %" PRId64 " clock jumps\n";
constexpr const char* kEndNotCounted = "(end not counted)";
constexpr const char* kNotCountedLine = "  packets        not counted (--no-count)\n";
constexpr const char* kRecordingLine = "  recording      %s\n";
constexpr const char* kProblemLine = "  ERROR: %s; belongs to no recording\n";
constexpr const char* kRecordingsHeading = "\n%zu recording%s\n";
constexpr const char* kRecordingHeading = "%s: %zu file%s, %s to %s\n";
constexpr const char* kRecordingFile = "  %s\n";
constexpr const char* kCommandLine = "  mkdir -p %s && %s\n";
constexpr const char* kNoRecordingHeading = "\n%zu file%s in no recording:\n";
constexpr const char* kNoRecordingLine = "  %s: %s\n";

void append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append(std::string& out, const char* format, ...) {
  char line[2048];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof line) {
    out.append(line, static_cast<size_t>(n));
    return;
  }
  std::string longer(static_cast<size_t>(n) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(longer.data(), longer.size(), format, args);
  va_end(args);
  out.append(longer.data(), static_cast<size_t>(n));
}

double hz(int32_t tenths) { return tenths / 10.0; }

const char* plural(size_t n) { return n == 1 ? "" : "s"; }

uint64_t endTimeMs(const FileScan& scan) {
  return scan.record.startTime + static_cast<uint64_t>(scan.lastPacketMs > 0 ? scan.lastPacketMs : 0);
}

// The recording each file joined, by scan index.
std::vector<const Recording*> recordingOfFile(const std::vector<FileScan>& scans,
                                              const std::vector<Recording>& recordings) {
  std::vector<const Recording*> of(scans.size(), nullptr);
  for (const Recording& recording : recordings)
    for (size_t index : recording.files) of[index] = &recording;
  return of;
}

void appendFileText(std::string& out, const FileScan& scan, const Recording* recording) {
  out += scan.path;
  out += '\n';
  if (!scan.headerRead) {
    append(out, kProblemLine, scan.problem.c_str());
    return;
  }
  const HuxInfo& hux = scan.header.huxInfo;
  const BaroCoefficients& baro = scan.header.baro;
  append(out, kStartLine, utcText(scan.record.startTime).c_str(), scan.record.startTime);
  append(out, kHuxBoardLine, static_cast<unsigned>(hux.boardNumber), hux.hardwareVersion,
         hux.majorVersion, hux.minorVersion);
  append(out, kHuxScheduleLine, hz(hux.interrupt_count), hux.mic_hz, hz(hux.accelerometer_hz),
         hz(hux.barometer_hz), hz(hux.compass_hz), hz(hux.amb_light_hz), hz(hux.dals_hz),
         hz(hux.humidity_hz), hux.power);
  append(out, kCalibrationLine, baro.C1, baro.C2, baro.C3, baro.C4, baro.C5, baro.C6,
         static_cast<unsigned>(hux.word1 & 0xFFFF), static_cast<unsigned>(hux.word2 & 0xFFFF),
         static_cast<unsigned>(hux.word3 & 0xFFFF), static_cast<unsigned>(hux.word4 & 0xFFFF));
  if (scan.carriesTiv) {
    const TivInfo& tiv = scan.header.tivInfo;
    append(out, kTivBoardLine, static_cast<unsigned>(tiv.boardNumber), tiv.hardwareVersion,
           tiv.majorVersion, tiv.minorVersion);
    append(out, kTivScheduleLine, hz(tiv.interrupt_count), hz(tiv.gyro), hz(tiv.magnetometer),
           tiv.power);
    append(out, kTivWordsLine, tiv.word1, tiv.word2, tiv.word3, tiv.word4);
  } else {
    out += kNoTivLine;
  }
  if (!scan.usable()) {
    append(out, kProblemLine, scan.problem.c_str());
    return;
  }
  if (!scan.counted) {
    out += kNotCountedLine;
    if (recording) append(out, kRecordingLine, recording->name.c_str());
    return;
  }
  const double first = scan.firstPacketMs / 1000.0;
  const double last = scan.lastPacketMs / 1000.0;
  append(out, kPacketsLine, scan.packets, scan.damagedPackets(), first, last, last - first);
  const DamageCounts& d = scan.damage;
  if (scan.damagedPackets() > 0)
    append(out, kDamageLine, d[DamageKind::skippedBytes].events, d[DamageKind::skippedBytes].bytes,
           d[DamageKind::badChecksum].events, scan.cutShort() ? kCutShortText : "");
  const int64_t outliers = d[DamageKind::timestampOutlier].events;
  const int64_t foreign = d[DamageKind::foreignStretch].events;
  const int64_t repeats = d[DamageKind::duplicatedSector].events;
  const int64_t jumps = d[DamageKind::clockJump].events;
  if (outliers + foreign + repeats + jumps > 0)
    append(out, kScreenedLine, outliers, foreign, d[DamageKind::foreignStretch].packets, repeats, jumps);
  if (recording) append(out, kRecordingLine, recording->name.c_str());
}

void appendBoardJson(JsonWriter& json, int32_t serial, int32_t hardware, int32_t major,
                     int32_t minor) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(serial));
  json.key("serial");
  json.value(serial);
  json.key("serial_hex");
  json.value(hex);
  json.key("hardware_version");
  json.value(hardware);
  json.key("software_version");
  json.value(std::to_string(major) + "." + std::to_string(minor));
}

// An object of named header words.
template <size_t N>
void appendWordsJson(JsonWriter& json, const char* key,
                     const std::pair<const char*, int32_t> (&words)[N]) {
  json.key(key);
  json.beginObject();
  for (const auto& [name, word] : words) {
    json.key(name);
    json.value(word);
  }
  json.endObject();
}

// "rates_hz": the board's interrupt rate and each channel's rate, in hertz.
void appendRatesJson(JsonWriter& json, int32_t interruptRate, const char* const* labels,
                     const int32_t* rates, int count) {
  json.key("rates_hz");
  json.beginObject();
  json.key("interrupts");
  json.value(hz(interruptRate));
  for (int c = 0; c < count; ++c) {
    json.key(labels[c]);
    json.value(hz(rates[c]));
  }
  json.endObject();
}

void appendFileJson(JsonWriter& json, const FileScan& scan, const Recording* recording) {
  json.beginObject();
  json.key("path");
  json.value(scan.path);
  json.key("size_bytes");
  json.value(scan.sizeBytes);
  json.key("ok");
  json.value(scan.usable());
  json.key("problem");
  if (scan.usable()) json.null(); else json.value(scan.problem);
  json.key("recording");
  if (recording) json.value(recording->name); else json.null();
  if (scan.headerRead) {
    const HuxInfo& hux = scan.header.huxInfo;
    json.key("start_time_ms");
    json.value(scan.record.startTime);
    json.key("start_time");
    json.value(utcText(scan.record.startTime));
    json.key("hux");
    json.beginObject();
    appendBoardJson(json, hux.boardNumber, hux.hardwareVersion, hux.majorVersion, hux.minorVersion);
    const std::pair<const char*, int32_t> words[] = {
        {"interrupt_count", hux.interrupt_count}, {"mic_hz", hux.mic_hz},
        {"accelerometer_hz", hux.accelerometer_hz}, {"amb_light_hz", hux.amb_light_hz},
        {"barometer_hz", hux.barometer_hz}, {"compass_hz", hux.compass_hz},
        {"dals_hz", hux.dals_hz}, {"humidity_hz", hux.humidity_hz}, {"power", hux.power}};
    appendWordsJson(json, "schedule", words);
    appendRatesJson(json, scan.record.huxInterruptRate, kHuxChannelLabels.data(),
                    scan.record.huxChannelRates.data(), kHuxChannelCount);
    const BaroCoefficients& b = scan.header.baro;
    const std::pair<const char*, int32_t> coefficients[] = {
        {"C1", b.C1}, {"C2", b.C2}, {"C3", b.C3}, {"C4", b.C4}, {"C5", b.C5}, {"C6", b.C6},
        {"word1", hux.word1}, {"word2", hux.word2}, {"word3", hux.word3}, {"word4", hux.word4}};
    appendWordsJson(json, "calibration", coefficients);
    json.endObject();
    json.key("tiv");
    if (scan.carriesTiv) {
      const TivInfo& tiv = scan.header.tivInfo;
      json.beginObject();
      appendBoardJson(json, tiv.boardNumber, tiv.hardwareVersion, tiv.majorVersion, tiv.minorVersion);
      const std::pair<const char*, int32_t> tivWords[] = {
          {"interrupt_count", tiv.interrupt_count}, {"gyro", tiv.gyro},
          {"magnetometer", tiv.magnetometer}, {"power", tiv.power}, {"word1", tiv.word1},
          {"word2", tiv.word2}, {"word3", tiv.word3}, {"word4", tiv.word4}};
      appendWordsJson(json, "schedule", tivWords);
      appendRatesJson(json, scan.record.tivInterruptRate, kTivChannelLabels.data(),
                      scan.record.tivChannelRates.data(), kTivChannelCount);
      json.endObject();
    } else {
      json.null();
    }
    const std::pair<const char*, int64_t> counts[] = {
        {"packets", scan.packets},
        {"damaged_packets", scan.damagedPackets()},
        {"damaged_stretches", scan.damage[DamageKind::skippedBytes].events},
        {"bytes_skipped", scan.damage[DamageKind::skippedBytes].bytes},
        {"bad_checksums", scan.damage[DamageKind::badChecksum].events},
        {"first_packet_ms", scan.firstPacketMs},
        {"last_packet_ms", scan.lastPacketMs}};
    // Without the count (--no-count) only whether the file has packets is known.
    for (const auto& [name, count] : counts) {
      json.key(name);
      if (scan.counted) json.value(count); else json.null();
    }
    json.key("cut_short");
    if (scan.counted) json.value(scan.cutShort()); else json.null();
    // Every kind of damage: events, and the bytes and packets they cover.
    json.key("damage");
    if (scan.counted) writeDamageJson(json, scan.damage); else json.null();
    json.key("span_seconds");
    if (scan.counted)
      json.value(scan.packets > 0 ? (scan.lastPacketMs - scan.firstPacketMs) / 1000.0 : 0.0);
    else
      json.null();
  }
  json.endObject();
}

}  // namespace

std::string shellQuoted(const std::string& word) {
  bool plain = !word.empty();
  for (const unsigned char c : word) {
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                      c == '_' || c == '-' || c == '.' || c == '/' || c == ':' || c == '=' ||
                      c == '+' || c == ',' || c == '@' || c == '%';
    if (!safe) plain = false;
  }
  if (plain) return word;
  std::string quoted = "'";
  for (const char c : word) {
    if (c == '\'') quoted += "'\\''"; else quoted += c;
  }
  quoted += "'";
  return quoted;
}

std::string RecordingCommand::text() const {
  std::string line;
  for (const std::string& arg : args) {
    if (!line.empty()) line += ' ';
    line += shellQuoted(arg);
  }
  return line;
}

RecordingCommand commandFor(const Recording& recording, const std::vector<FileScan>& scans,
                            const ReportOptions& options) {
  RecordingCommand command;
  std::string base = options.outdir.empty() ? "." : options.outdir;
  if (base.back() != '/') base += '/';
  command.outputDir = base + recording.name + "/";
  command.args.push_back(options.converter);
  if (options.maxGap_sec != kDefaultMaxGapSec) {
    command.args.push_back("-maxGap_sec");
    command.args.push_back(std::to_string(options.maxGap_sec));
  }
  command.args.push_back("-outputdir");
  command.args.push_back(command.outputDir);
  for (size_t index : recording.files) command.args.push_back(scans[index].path);
  return command;
}

std::string utcText(uint64_t ms) {
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  char when[40] = "(out of range)";
  if (gmtime_r(&seconds, &utc) != nullptr) {
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(when, sizeof when, "%s.%03uZ", date, static_cast<unsigned>(ms % 1000));
  }
  return when;
}

std::string textReport(const std::vector<FileScan>& scans, const std::vector<Recording>& recordings,
                       const ReportOptions& options) {
  const auto of = recordingOfFile(scans, recordings);
  std::string out;
  for (size_t i = 0; i < scans.size(); ++i) appendFileText(out, scans[i], of[i]);

  append(out, kRecordingsHeading, recordings.size(), plural(recordings.size()));
  for (const Recording& recording : recordings) {
    const FileScan& first = scans[recording.files.front()];
    const FileScan& last = scans[recording.files.back()];
    append(out, kRecordingHeading, recording.name.c_str(), recording.files.size(),
           plural(recording.files.size()), utcText(first.record.startTime).c_str(),
           last.counted ? utcText(endTimeMs(last)).c_str() : kEndNotCounted);
    for (size_t index : recording.files) append(out, kRecordingFile, scans[index].path.c_str());
    const RecordingCommand command = commandFor(recording, scans, options);
    append(out, kCommandLine, shellQuoted(command.outputDir).c_str(), command.text().c_str());
  }

  size_t unplaced = 0;
  for (const FileScan& scan : scans) unplaced += scan.usable() ? 0 : 1;
  if (unplaced > 0) {
    append(out, kNoRecordingHeading, unplaced, plural(unplaced));
    for (const FileScan& scan : scans)
      if (!scan.usable()) append(out, kNoRecordingLine, scan.path.c_str(), scan.problem.c_str());
  }
  return out;
}

std::string jsonReport(const std::vector<FileScan>& scans, const std::vector<Recording>& recordings,
                       const ReportOptions& options) {
  const auto of = recordingOfFile(scans, recordings);
  std::string out;
  JsonWriter json(out);
  json.beginObject();
  json.key("files");
  json.beginArray();
  for (size_t i = 0; i < scans.size(); ++i) appendFileJson(json, scans[i], of[i]);
  json.endArray();
  json.key("recordings");
  json.beginArray();
  for (const Recording& recording : recordings) {
    const FileScan& first = scans[recording.files.front()];
    const FileScan& last = scans[recording.files.back()];
    const RecordingCommand command = commandFor(recording, scans, options);
    json.beginObject();
    json.key("name");
    json.value(recording.name);
    json.key("hux_serial");
    json.value(first.record.huxBoardNumber);
    json.key("has_tiv");
    json.value(recording.tivFileTally > 0);
    json.key("tiv_serial");
    if (recording.tivFileTally > 0) json.value(first.record.tivBoardNumber); else json.null();
    json.key("start_time_ms");
    json.value(first.record.startTime);
    json.key("start_time");
    json.value(utcText(first.record.startTime));
    // The end is known only when the last file's packets were counted.
    json.key("end_time_ms");
    if (last.counted) json.value(endTimeMs(last)); else json.null();
    json.key("end_time");
    if (last.counted) json.value(utcText(endTimeMs(last))); else json.null();
    json.key("duration_seconds");
    if (last.counted)
      json.value(static_cast<double>(endTimeMs(last) - first.record.startTime) / 1000.0);
    else
      json.null();
    int64_t bytes = 0;
    for (size_t index : recording.files) bytes += scans[index].sizeBytes > 0 ? scans[index].sizeBytes : 0;
    json.key("size_bytes");
    json.value(bytes);
    json.key("files");
    json.beginArray();
    for (size_t index : recording.files) json.value(scans[index].path);
    json.endArray();
    json.key("output_dir");
    json.value(command.outputDir);
    json.key("command");
    json.value(command.text());
    json.key("args");
    json.beginArray();
    for (const std::string& arg : command.args) json.value(arg);
    json.endArray();
    json.endObject();
  }
  json.endArray();
  json.endObject();
  return out;
}
