#include "tools/recording_scan.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "support/test_support.h"

namespace simtest {
namespace {

struct Cursor {
  const std::string& bytes;
  size_t pos = 0;

  const uint8_t* at(size_t n) {
    if (pos + n > bytes.size()) throw std::runtime_error("header cut short");
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data()) + pos;
    pos += n;
    return p;
  }
  template <typename T>
  T read() {
    return readLittleEndian<T>(at(sizeof(T)));
  }
};

// Tagged entries; the value of "intr", "gyro" and the like.
std::map<std::string, int32_t> readEntries(Cursor& c, int32_t count) {
  std::map<std::string, int32_t> values;
  for (int32_t i = 0; i < count; ++i) {
    const std::string tag(reinterpret_cast<const char*>(c.at(4)), 4);
    c.at(1);
    const auto length = c.read<uint32_t>();
    const uint8_t* data = c.at(length);
    if (length >= 4) values[tag] = readLittleEndian<int32_t>(data);
  }
  return values;
}

void step(BoardSteps& b, int ts, int ic, int32_t m) {
  if (b.messages++ == 0) {
    b.firstTimeCounter = b.lastTimeCounter = ts;
    b.firstInterruptCounter = b.lastInterruptCounter = ic;
    return;
  }
  int64_t elapsed = static_cast<int64_t>(ts - b.lastTimeCounter) * m + ic - b.lastInterruptCounter;
  if (elapsed < 0) {
    if (b.lastTimeCounter == 255 && ts == 0 && b.lastInterruptCounter == m - 1 && ic == 0) {
      ++b.rollovers;
      elapsed = 1;
    } else {
      ++b.backwardSteps;
      elapsed = 0;
    }
  }
  if (elapsed * 10 > m) ++b.longSteps;
  if (elapsed > b.longestStep) b.longestStep = elapsed;
  b.span += elapsed;
  b.lastTimeCounter = ts;
  b.lastInterruptCounter = ic;
}

bool checksumOk(const uint8_t* p, size_t length, size_t end) {
  if (end + 1 > length) return false;
  uint8_t sum = 0;
  for (size_t i = 2; i < end; ++i) sum = static_cast<uint8_t>(sum + p[i]);
  return sum == p[end];
}

void huxMessage(RecordingScan& s, const uint8_t* p, size_t length) {
  const uint8_t subtype = p[2], field = p[3];
  size_t end = 7;
  const bool audio = (subtype & 0xFE) == 8;
  if (audio) {
    end += 2u * field;
  } else {
    end += (field & 0x01 ? 6 : 0) + (subtype & 1 ? 3 : 0) + (field & 0x02 ? 1 : 0) + (field & 0x04 ? 1 : 0);
    for (int bit = 3; bit < 8; ++bit) end += field & (1 << bit) ? 2 : 0;
  }
  if (!checksumOk(p, length, end)) {
    ++s.badChecksums;
    return;
  }
  if (audio) {
    s.readings["audio"] += field;
  } else {
    const struct {
      uint8_t bit;
      const char* name;
    } fields[] = {{0x01, "accel"},   {0x20, "baro_temp"}, {0x10, "baro_press"}, {0x08, "compass"},
                  {0x02, "vis_light"}, {0x04, "ir_light"}, {0x80, "sht_temp"},   {0x40, "humidity"}};
    for (const auto& f : fields)
      if (field & f.bit) ++s.readings[f.name];
    if (subtype & 1) ++s.readings["hf_light"];
  }
  step(s.hux, p[4], readLittleEndian<uint16_t>(p + 5), s.interruptRate);
}

void tivMessage(RecordingScan& s, const uint8_t* p, size_t length) {
  const uint8_t field = p[3];
  const size_t end = 7 + (field & 0x01 ? 12 : 0) + (field & 0x02 ? 2 : 0) + (field & 0x04 ? 2 : 0) + (field & 0x08 ? 2 : 0);
  if (!checksumOk(p, length, end)) {
    ++s.badChecksums;
    return;
  }
  if (field & 0x01) ++s.readings["gyro"];
  if (field & 0x02) ++s.readings["mag"];
  step(s.tiv, p[4], readLittleEndian<uint16_t>(p + 5), s.tivInterruptRate);
}

}  // namespace

RecordingScan scanRecording(const std::string& path) {
  const std::string bytes = testsupport::readFile(path);
  RecordingScan s;
  Cursor c{bytes};
  if (std::string(reinterpret_cast<const char*>(c.at(4)), 4) != "PELG" || c.read<uint32_t>() != 2)
    throw std::runtime_error(path + " is not a PELG v2 file");
  s.startMs = c.read<uint64_t>();
  readEntries(c, c.read<int32_t>());
  const auto deviceCount = c.read<int32_t>();
  std::vector<std::string> kinds;
  for (int32_t d = 0; d < deviceCount; ++d) {
    const std::string tag(reinterpret_cast<const char*>(c.at(4)), 4);
    c.at(8);
    const auto values = readEntries(c, c.read<int32_t>());
    kinds.push_back(tag);
    if (tag == "hux2") s.interruptRate = values.at("intr");
    if (tag == "tiv ") {
      s.hasTiv = true;
      s.tivInterruptRate = values.at("intr");
    }
  }

  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t pos = c.pos;
  uint32_t lastStamp = 0;
  bool inStray = false;
  while (pos + 10 <= bytes.size()) {
    const auto id = readLittleEndian<uint16_t>(data + pos);
    const auto stamp = readLittleEndian<uint32_t>(data + pos + 2);
    const auto length = readLittleEndian<uint32_t>(data + pos + 6);
    if (id >= 10 || stamp - lastStamp > 100000 || length > 4096) {
      if (!inStray) ++s.strayRuns;
      inStray = true;
      ++s.strayBytes;
      ++pos;
      continue;
    }
    inStray = false;
    if (pos + 10 + length > bytes.size()) {
      s.cutShort = true;
      break;
    }
    if (s.packets == 0) s.firstTimestamp = stamp;
    if (stamp < lastStamp) s.timestampsMonotonic = false;
    if (s.packets > 0 && stamp - lastStamp > s.largestTimestampStep) s.largestTimestampStep = stamp - lastStamp;
    lastStamp = s.lastTimestamp = stamp;
    ++s.packets;
    const uint8_t* payload = data + pos + 10;
    const std::string& kind = id < kinds.size() ? kinds[id] : std::string();
    if (kind == "hux2" && length >= 8) huxMessage(s, payload, length);
    if (kind == "tiv " && length >= 8) tivMessage(s, payload, length);
    if (kind == "sgps") ++s.sirfPackets;
    pos += 10 + length;
  }
  return s;
}

}  // namespace simtest
