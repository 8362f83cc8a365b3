#include "input/file_header.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "common/little_endian.h"

namespace {

using pelg::tagValue;

// Smallest encoded sizes: an entry is tag, type and length; a device block is
// tag, parameter, record size, parameter2 and entry count.
constexpr int64_t kMinEntrySize = 4 + 1 + 4;
constexpr int64_t kMinDeviceSize = 4 + 4 + 2 + 2 + 4;
constexpr int64_t kCountSize = 4;
// Entry data of a stream whose size is unknown is read in pieces of this size,
// so that a corrupt length costs no more memory than the bytes really there.
constexpr size_t kUnknownSizeChunk = 65536;

// Direct reads from the header's stream, keeping count of the bytes the file
// still holds when its size is known, so that a count or length can be checked
// against what remains before anything is allocated for it.
class HeaderSource {
 public:
  explicit HeaderSource(FILE* stream) : stream_(stream) {
    struct stat info;
    if (::fstat(fileno(stream), &info) == 0 && S_ISREG(info.st_mode)) {
      const off_t position = ::ftello(stream);
      if (position >= 0) remaining_ = std::max<int64_t>(0, int64_t{info.st_size} - position);
    }
  }

  bool read(void* into, size_t n) {
    if (n == 0) return true;
    if (std::fread(into, 1, n, stream_) != n) return false;
    if (remaining_ >= 0) remaining_ = std::max<int64_t>(0, remaining_ - static_cast<int64_t>(n));
    return true;
  }

  template <typename T>
  bool readValue(T& value) {
    uint8_t bytes[sizeof(T)];
    if (!read(bytes, sizeof bytes)) return false;
    value = readLittleEndian<T>(bytes);
    return true;
  }

  // False when `bytes` certainly cannot be in the rest of the file.
  bool mayHold(int64_t bytes) const { return remaining_ < 0 || bytes <= remaining_; }
  bool sizeKnown() const { return remaining_ >= 0; }

 private:
  FILE* stream_;
  int64_t remaining_ = -1;  // -1: the stream's size is unknown
};

bool readEntryData(HeaderSource& source, uint32_t length, std::vector<uint8_t>& data) {
  if (!source.mayHold(length)) return false;
  if (source.sizeKnown()) {
    data.resize(length);
    return source.read(data.data(), length);
  }
  data.clear();
  for (size_t done = 0; done < length;) {
    const size_t piece = std::min<size_t>(kUnknownSizeChunk, length - done);
    data.resize(done + piece);
    if (!source.read(data.data() + done, piece)) return false;
    done += piece;
  }
  return true;
}

// Reads `count` tagged entries; `bytesAfter` is the least that must still
// follow them (the device count after the global entries).
bool readEntries(HeaderSource& source, int32_t count, int64_t bytesAfter, std::vector<InfoEntry>& entries) {
  entries.clear();
  if (count <= 0) return true;
  if (!source.mayHold(count * kMinEntrySize + bytesAfter)) return false;
  if (source.sizeKnown()) entries.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    InfoEntry& entry = entries.emplace_back();
    if (!source.readValue(entry.tag) || !source.readValue(entry.type) || !source.readValue(entry.length) ||
        !readEntryData(source, entry.length, entry.data)) {
      return false;
    }
  }
  return true;
}

bool readDevices(HeaderSource& source, int32_t count, std::vector<DeviceRecord>& devices) {
  devices.clear();
  if (count <= 0) return true;
  if (!source.mayHold(count * kMinDeviceSize)) return false;
  if (source.sizeKnown()) devices.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    DeviceRecord& device = devices.emplace_back();
    uint16_t recordSize = 0, parameter2 = 0;
    if (!source.readValue(device.tag) || !source.readValue(device.parameter) || !source.readValue(recordSize) ||
        !source.readValue(parameter2) || !source.readValue(device.entryCount)) {
      return false;
    }
    device.kind = deviceKindOf(device.tag);
    device.recordSize = deviceRecordSize(device.kind, recordSize);
    device.parameter2 = parameter2;
    if (!readEntries(source, device.entryCount, 0, device.entries)) return false;
    device.entryCount = static_cast<int32_t>(device.entries.size());
  }
  return true;
}

// The value an entry carries: its first four bytes as a little-endian signed
// 32-bit integer; a shorter entry gives the bytes present, zero-filled.
int32_t entryValue(const InfoEntry& entry) {
  uint8_t bytes[4] = {0, 0, 0, 0};
  if (!entry.data.empty()) std::memcpy(bytes, entry.data.data(), std::min<size_t>(entry.data.size(), sizeof bytes));
  return readLittleEndian<int32_t>(bytes);
}

template <typename Info>
struct TagField {
  uint32_t tag;
  int32_t Info::*field;
};

constexpr TagField<HuxInfo> kHuxTags[] = {
    {tagValue("intr"), &HuxInfo::interrupt_count}, {tagValue("mic "), &HuxInfo::mic_hz},
    {tagValue("mics"), &HuxInfo::mic_hz},          {tagValue("acc "), &HuxInfo::accelerometer_hz},
    {tagValue("amb "), &HuxInfo::amb_light_hz},    {tagValue("bar "), &HuxInfo::barometer_hz},
    {tagValue("comp"), &HuxInfo::compass_hz},      {tagValue("dals"), &HuxInfo::dals_hz},
    {tagValue("hum "), &HuxInfo::humidity_hz},     {tagValue("powr"), &HuxInfo::power},
    {tagValue("bdnr"), &HuxInfo::boardNumber},     {tagValue("hver"), &HuxInfo::hardwareVersion},
    {tagValue("swma"), &HuxInfo::majorVersion},    {tagValue("swmi"), &HuxInfo::minorVersion},
    {tagValue("wd01"), &HuxInfo::word1},           {tagValue("wd02"), &HuxInfo::word2},
    {tagValue("wd03"), &HuxInfo::word3},           {tagValue("wd04"), &HuxInfo::word4},
};

constexpr TagField<TivInfo> kTivTags[] = {
    {tagValue("intr"), &TivInfo::interrupt_count}, {tagValue("gyro"), &TivInfo::gyro},
    {tagValue("mag "), &TivInfo::magnetometer},    {tagValue("powr"), &TivInfo::power},
    {tagValue("bdnr"), &TivInfo::boardNumber},     {tagValue("hver"), &TivInfo::hardwareVersion},
    {tagValue("swma"), &TivInfo::majorVersion},    {tagValue("swmi"), &TivInfo::minorVersion},
    {tagValue("wd01"), &TivInfo::word1},           {tagValue("wd02"), &TivInfo::word2},
    {tagValue("wd03"), &TivInfo::word3},           {tagValue("wd04"), &TivInfo::word4},
};

template <typename Info, size_t N>
int applyTagSet(const InfoEntry* entries, int32_t count, Info& target, const TagField<Info> (&tags)[N]) {
  int matched = 0;
  for (int32_t i = 0; i < count; ++i) {
    const InfoEntry& entry = entries[i];
    for (const TagField<Info>& tag : tags) {
      if (tag.tag == entry.tag) {
        target.*tag.field = entryValue(entry);
        ++matched;
        break;
      }
    }
  }
  return matched;
}

template <typename Info>
int applyEntries(const std::vector<InfoEntry>& entries, Info& target) {
  return applyInfoEntries(entries.data(), static_cast<int32_t>(entries.size()), target);
}

}  // namespace

void clearHeaderLists(FileHeader& header) {
  header.deviceCount = 0;
  header.devices.clear();
  header.startTime = 0;
  header.globalEntryCount = 0;
  header.globalEntries.clear();
}

bool readHeader(FileHeader& header, FILE* stream) {
  clearHeaderLists(header);
  if (stream == nullptr) return false;
  HeaderSource source(stream);

  char magic[4];
  uint32_t version = 0;
  if (!source.read(magic, sizeof magic) || std::memcmp(magic, pelg::kMagic, sizeof magic) != 0) return false;
  if (!source.readValue(version) || version != pelg::kVersion) return false;

  uint64_t startTime = 0;
  int32_t globalCount = 0, deviceCount = 0;
  std::vector<InfoEntry> globalEntries;
  std::vector<DeviceRecord> devices;
  if (!source.readValue(startTime) || !source.readValue(globalCount) ||
      !readEntries(source, globalCount, kCountSize, globalEntries) || !source.readValue(deviceCount) ||
      !readDevices(source, deviceCount, devices)) {
    return false;
  }

  // The counts are those of the lists held: a negative count in the file
  // means an empty list.
  header.startTime = startTime;
  header.globalEntryCount = static_cast<int32_t>(globalEntries.size());
  header.globalEntries = std::move(globalEntries);
  header.deviceCount = static_cast<int32_t>(devices.size());
  header.devices = std::move(devices);
  return true;
}

DeviceKind deviceKindOf(uint32_t tag) {
  static constexpr std::pair<uint32_t, DeviceKind> kKinds[] = {
      {tagValue("hux "), DeviceKind::hux},  {tagValue("tiv "), DeviceKind::tiv},
      {tagValue("gps "), DeviceKind::gps},  {tagValue("sgps"), DeviceKind::sgps},
      {tagValue("wifi"), DeviceKind::wifi}, {tagValue("ltln"), DeviceKind::ltln},
      {tagValue("ant8"), DeviceKind::ant8}, {tagValue("hux2"), DeviceKind::hux2},
      {tagValue("mic "), DeviceKind::mic},  {tagValue("clck"), DeviceKind::clck},
      {tagValue("tag "), DeviceKind::tag},
  };
  for (const auto& [kindTag, kind] : kKinds) {
    if (kindTag == tag) return kind;
  }
  return DeviceKind::unknown;
}

uint32_t deviceRecordSize(DeviceKind kind, uint32_t recordSizeAsRead) {
  switch (kind) {
    case DeviceKind::hux:
      return 74;
    case DeviceKind::ltln:
      return 24;
    case DeviceKind::ant8:
      return 5;
    default:
      return recordSizeAsRead;
  }
}

int applyInfoEntries(const InfoEntry* entries, int32_t count, HuxInfo& target) {
  if (count <= 0) return 0;
  return applyTagSet(entries, count, target, kHuxTags);
}

int applyInfoEntries(const InfoEntry* entries, int32_t count, TivInfo& target) {
  if (count <= 0) return 0;
  return applyTagSet(entries, count, target, kTivTags);
}

bool extractHuxInfo(FileHeader& header) {
  int matched = 0;
  // Later devices overwrite what earlier ones set.
  for (const DeviceRecord& device : header.devices) {
    if (device.kind == DeviceKind::hux2 || device.kind == DeviceKind::mic) {
      matched += applyEntries(device.entries, header.huxInfo);
    }
  }
  if (matched == 0) matched = applyEntries(header.globalEntries, header.huxInfo);
  if (matched <= 0) return false;
  header.baro = deriveBaroCoefficients(header.huxInfo);
  return true;
}

bool extractTivInfo(FileHeader& header) {
  for (const DeviceRecord& device : header.devices) {
    if (device.kind == DeviceKind::tiv) return applyEntries(device.entries, header.tivInfo) > 0;
  }
  return false;
}

BaroCoefficients deriveBaroCoefficients(const HuxInfo& info) {
  const uint32_t w1 = static_cast<uint32_t>(info.word1) & 0xFFFF;
  const uint32_t w2 = static_cast<uint32_t>(info.word2) & 0xFFFF;
  const uint32_t w3 = static_cast<uint32_t>(info.word3) & 0xFFFF;
  const uint32_t w4 = static_cast<uint32_t>(info.word4) & 0xFFFF;
  BaroCoefficients c;
  c.C1 = static_cast<int32_t>(w1 >> 1);
  c.C2 = static_cast<int32_t>(((w3 & 0x3F) << 6) | (w4 & 0x3F));
  c.C3 = static_cast<int32_t>(w4 >> 6);
  c.C4 = static_cast<int32_t>(w3 >> 6);
  c.C5 = static_cast<int32_t>(((w1 & 1) << 10) | (w2 >> 6));
  c.C6 = static_cast<int32_t>(w2 & 0x3F);
  return c;
}
