#include "input/file_header.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "input_test_util.h"

// The largest single request made through operator new since the last reset:
// lets the tests prove that a corrupt count in a small file allocates nothing
// large. Requests are forwarded to malloc unchanged.
namespace {
std::atomic<size_t> largestRequest{0};
}

// The replacement pairs malloc with free; GCC cannot see that every operator
// new of this program is this one and warns about the pairing.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
  size_t seen = largestRequest.load(std::memory_order_relaxed);
  while (size > seen && !largestRequest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

using inputtest::ByteStream;
using pelgbuild::Bytes;
using pelgbuild::Device;
using pelgbuild::Entry;
using pelgbuild::intEntry;
using pelgbuild::PelgHeader;
using V = std::vector<int32_t>;

constexpr uint64_t kStart = 1300000000123ULL;

bool parse(const Bytes& bytes, FileHeader& header, bool regularFile = true) {
  ByteStream stream(bytes, regularFile);
  EXPECT_NE(stream.get(), nullptr);
  return readHeader(header, stream.get());
}

bool parse(const PelgHeader& h, FileHeader& header) { return parse(pelgbuild::encodeHeader(h), header); }

PelgHeader withDevices(std::vector<Device> devices, std::vector<Entry> global = {}) {
  PelgHeader h;
  h.devices = std::move(devices);
  h.globalEntries = std::move(global);
  return h;
}

void append(Bytes& b, std::initializer_list<uint32_t> words, size_t pad = 0) {
  for (uint32_t v : words)
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  b.resize(b.size() + pad, 0);
}

// The first 16 bytes of a valid header (magic, version 2, start time 0), then
// each word in little-endian order, then `pad` zero bytes.
Bytes headerWith(std::initializer_list<uint32_t> words, size_t pad = 0) {
  Bytes b = pelgbuild::encodeHeader(PelgHeader{});
  b.resize(16);
  append(b, words, pad);
  return b;
}

TEST(FileHeader, StandardHeaderReadsCompletelyAndStopsAtFirstPacket) {
  PelgHeader h = pelgbuild::standardHeader(kStart, {}, pelgbuild::TivSchedule{});
  h.globalEntries = {intEntry("glob", 7)};
  h.devices[1].parameter = 0xDEADBEEF;
  h.devices[1].recordSize = 33;
  h.devices[1].parameter2 = 0xBEEF;
  pelgbuild::PelgBuilder file(h);
  file.packet(0, 100, {1, 2, 3});

  ByteStream stream(file.bytes());
  FileHeader header;
  ASSERT_TRUE(readHeader(header, stream.get()));
  EXPECT_EQ(stream.tell(), static_cast<long>(pelgbuild::encodeHeader(h).size()));

  EXPECT_EQ(header.startTime, kStart);
  ASSERT_EQ(header.globalEntryCount, 1);
  ASSERT_EQ(header.globalEntries.size(), 1u);
  EXPECT_EQ(header.globalEntries[0].tag, pelg::tagValue("glob"));
  EXPECT_EQ(header.globalEntries[0].length, 4u);
  EXPECT_EQ(header.globalEntries[0].data, (std::vector<uint8_t>{7, 0, 0, 0}));

  ASSERT_EQ(header.deviceCount, 3);
  ASSERT_EQ(header.devices.size(), 3u);
  const DeviceRecord* d = header.devices.data();
  EXPECT_EQ(std::vector({d[0].kind, d[1].kind, d[2].kind}), std::vector({DeviceKind::hux2, DeviceKind::sgps, DeviceKind::tiv}));
  EXPECT_EQ(V({d[0].entryCount, d[1].entryCount, d[2].entryCount}), V({17, 0, 12}));
  EXPECT_EQ(d[1].tag, pelg::tagValue("sgps"));
  EXPECT_EQ(d[1].parameter, 0xDEADBEEFu);
  EXPECT_EQ(d[1].recordSize, 33u);
  EXPECT_EQ(d[1].parameter2, 0xBEEFu);

  // The standard schedules' values, in declaration order.
  ASSERT_TRUE(extractHuxInfo(header));
  const HuxInfo& x = header.huxInfo;
  EXPECT_EQ(V({x.interrupt_count, x.mic_hz, x.accelerometer_hz, x.amb_light_hz, x.barometer_hz, x.compass_hz,
               x.dals_hz, x.humidity_hz, x.power, x.reserved, x.boardNumber, x.hardwareVersion, x.majorVersion,
               x.minorVersion, x.word1, x.word2, x.word3, x.word4}),
            V({5120, 8000, 1000, 100, 100, 100, 100, 100, 1, 0, 0x1234, 2, 1, 7, 0xB8F2, 0x9A4B, 0xBD18, 0xC4A6}));
  // Of W1 47346, W2 39499, W3 48408, W4 50342: C1 W1 >> 1; C2 the low six bits
  // of W3 (0x18) and W4 (0x26); C3 W4 >> 6; C4 W3 >> 6; C5 W1's low bit (0) and
  // W2 >> 6; C6 W2's low six bits.
  const BaroCoefficients& c = header.baro;
  EXPECT_EQ(V({c.C1, c.C2, c.C3, c.C4, c.C5, c.C6}), V({23673, (24 << 6) | 38, 786, 756, 617, 11}));

  ASSERT_TRUE(extractTivInfo(header));
  const TivInfo& t = header.tivInfo;
  EXPECT_EQ(V({t.interrupt_count, t.gyro, t.magnetometer, t.power, t.boardNumber, t.hardwareVersion, t.majorVersion,
               t.minorVersion, t.word1, t.word2, t.word3, t.word4}),
            V({5120, 1000, 100, 1, 0x42, 1, 3, 2, 11, 22, 33, 44}));
}

// Only the low 16 bits of each calibration word count.
TEST(FileHeader, BaroCoefficientsUseLowSixteenBitsOnly) {
  struct Case {
    int32_t w1, w2, w3, w4;
    V coefficients;
  };
  const Case cases[] = {
      {0xFFFF, 0, 0, 0, {32767, 0, 0, 0, 1024, 0}},
      {0xB8F2, 0x9A4B, 0xBD18, 0xC4A6, {23673, 1574, 786, 756, 617, 11}},
      {0x7ABCB8F2, static_cast<int32_t>(0xFFFF9A4B), 0x0001BD18, static_cast<int32_t>(0x8000C4A6),
       {23673, 1574, 786, 756, 617, 11}},
      {-1, -1, 0, 0, {32767, 0, 0, 0, 1024 | 1023, 63}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.w1);
    HuxInfo info;
    info.word1 = k.w1, info.word2 = k.w2, info.word3 = k.w3, info.word4 = k.w4;
    const BaroCoefficients c = deriveBaroCoefficients(info);
    EXPECT_EQ(V({c.C1, c.C2, c.C3, c.C4, c.C5, c.C6}), k.coefficients);
  }
}

TEST(FileHeader, DeviceKindsAndRecordSizeOverrides) {
  struct Case {
    std::string tag;
    DeviceKind kind;
    uint32_t recordSize;
  };
  const Case cases[] = {
      {"hux ", DeviceKind::hux, 74},      {"tiv ", DeviceKind::tiv, 33},   {"gps ", DeviceKind::gps, 33},
      {"sgps", DeviceKind::sgps, 33},     {"wifi", DeviceKind::wifi, 33},  {"ltln", DeviceKind::ltln, 24},
      {"ant8", DeviceKind::ant8, 5},      {"hux2", DeviceKind::hux2, 33},  {"mic ", DeviceKind::mic, 33},
      {"clck", DeviceKind::clck, 33},     {"tag ", DeviceKind::tag, 33},   {"HUX2", DeviceKind::unknown, 33},
      {"mics", DeviceKind::unknown, 33},  {"xyzw", DeviceKind::unknown, 33},
      {std::string("hux\0", 4), DeviceKind::unknown, 33},  // NUL-padded, not space-padded
  };
  PelgHeader h;
  for (const Case& c : cases) h.devices.push_back(Device{c.tag, {}, 0, 33});
  FileHeader header;
  ASSERT_TRUE(parse(h, header));
  ASSERT_EQ(header.devices.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].tag.c_str());
    EXPECT_EQ(header.devices[i].kind, cases[i].kind);
    EXPECT_EQ(header.devices[i].recordSize, cases[i].recordSize);
  }
}

// HUX information from the global entries or the devices, as one table.
TEST(FileHeader, HuxInformationSources) {
  struct Case {
    const char* name;
    std::vector<Entry> global;
    std::vector<Device> devices;
    bool found;
    int32_t intr, acc, mic;
  };
  const std::vector<Case> cases = {
      {"no devices: global entries", {intEntry("intr", 10), intEntry("acc ", 11)}, {}, true, 10, 11, -1},
      {"hux2 without a recognised entry falls back to global entries",
       {intEntry("intr", 10), intEntry("mics", 12)}, {{"hux2", {intEntry("zzzz", 99), intEntry("INTR", 98)}}},
       true, 10, -1, 12},
      {"device entries win over global entries", {intEntry("intr", 10), intEntry("acc ", 11)},
       {{"hux2", {intEntry("intr", 20)}}}, true, 20, -1, -1},
      {"later device overwrites earlier",
       {},
       {{"hux2", {intEntry("intr", 20), intEntry("acc ", 21)}}, {"sgps", {intEntry("intr", 77)}},
        {"mic ", {intEntry("intr", 30), intEntry("mic ", 31)}}},
       true, 30, 21, 31},
      {"mic before hux2: hux2 wins", {}, {{"mic ", {intEntry("intr", 30)}}, {"hux2", {intEntry("intr", 20)}}},
       true, 20, -1, -1},
      {"\"mic \" and \"mics\" both set the microphone rate; the later entry wins",
       {}, {{"hux2", {intEntry("mics", 40), intEntry("mic ", 41)}}}, true, -1, -1, 41},
      {"hux device is ignored", {intEntry("intr", 10)}, {{"hux ", {intEntry("intr", 50)}}}, true, 10, -1, -1},
      {"hux device alone gives nothing", {}, {{"hux ", {intEntry("intr", 50)}}}, false, -1, -1, -1},
      {"tiv device gives nothing", {}, {{"tiv ", {intEntry("intr", 50)}}}, false, -1, -1, -1},
      {"nothing at all", {}, {}, false, -1, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileHeader header;
    // Left over from an earlier file: a field without an entry keeps it.
    header.huxInfo.interrupt_count = header.huxInfo.accelerometer_hz = header.huxInfo.mic_hz = -1;
    header.huxInfo.word1 = 0xFFFF;
    header.baro.C1 = 5;
    ASSERT_TRUE(parse(withDevices(c.devices, c.global), header));
    EXPECT_EQ(extractHuxInfo(header), c.found);
    const HuxInfo& x = header.huxInfo;
    EXPECT_EQ(V({x.interrupt_count, x.accelerometer_hz, x.mic_hz, x.word1}), V({c.intr, c.acc, c.mic, 0xFFFF}));
    // Coefficients are derived only when information was found.
    EXPECT_EQ(header.baro.C1, c.found ? 32767 : 5);
  }
}

TEST(FileHeader, TivInformationComesFromTheFirstTivDeviceOnly) {
  struct Case {
    const char* name;
    std::vector<Device> devices;
    bool found;
    int32_t intr, gyro;
  };
  const std::vector<Case> cases = {
      {"first of two", {{"tiv ", {intEntry("intr", 1)}}, {"tiv ", {intEntry("intr", 2), intEntry("gyro", 3)}}},
       true, 1, -1},
      {"first without a recognised entry", {{"tiv ", {intEntry("bar ", 1)}}, {"tiv ", {intEntry("intr", 2)}}},
       false, -1, -1},
      {"after other devices", {{"hux2", {intEntry("intr", 9)}}, {"tiv ", {intEntry("gyro", 4)}}}, true, -1, 4},
      {"no tiv device", {{"hux2", {intEntry("intr", 9)}}}, false, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FileHeader header;
    header.tivInfo.interrupt_count = header.tivInfo.gyro = -1;
    // Global entries are never consulted for TIV.
    ASSERT_TRUE(parse(withDevices(c.devices, {intEntry("intr", 8), intEntry("gyro", 8)}), header));
    EXPECT_EQ(extractTivInfo(header), c.found);
    EXPECT_EQ(V({header.tivInfo.interrupt_count, header.tivInfo.gyro}), V({c.intr, c.gyro}));
  }
}

TEST(FileHeader, ShortAndLongEntryValues) {
  struct Case {
    Bytes data;
    int32_t value;
  };
  const Case cases[] = {
      {{}, 0}, {{0x01}, 0x01}, {{0x01, 0x02}, 0x0201}, {{0x01, 0x02, 0x03}, 0x030201}, {{0xFF, 0xFF, 0xFF}, 0x00FFFFFF},
      {{0x01, 0x02, 0x03, 0x04}, 0x04030201}, {{0xFF, 0xFF, 0xFF, 0xFF}, -1},
      {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, 0x04030201},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.data));
    FileHeader header;
    header.huxInfo.interrupt_count = header.tivInfo.gyro = 12345;
    ASSERT_TRUE(parse(withDevices({{"hux2", {Entry{"intr", c.data}}}, {"tiv ", {Entry{"gyro", c.data}}}}), header));
    EXPECT_EQ(header.devices[0].entries[0].length, c.data.size());
    EXPECT_TRUE(extractHuxInfo(header));
    EXPECT_EQ(header.huxInfo.interrupt_count, c.value);
    EXPECT_TRUE(extractTivInfo(header));
    EXPECT_EQ(header.tivInfo.gyro, c.value);
  }
}

TEST(FileHeader, ApplyInfoEntriesCountsMatchesOnly) {
  std::vector<InfoEntry> entries;
  for (uint32_t tag : {pelg::tagValue("intr"), pelg::tagValue("gyro"), pelg::tagValue("acc "),
                       pelg::tagValue("xxxx"), pelg::tagValue("wd04")})
    entries.push_back(InfoEntry{tag, 0, 4, {2, 0, 0, 0}});
  HuxInfo hux;
  TivInfo tiv;
  EXPECT_EQ(applyInfoEntries(entries.data(), 5, hux), 3);  // intr, acc, wd04
  EXPECT_EQ(applyInfoEntries(entries.data(), 5, tiv), 3);  // intr, gyro, wd04
  EXPECT_EQ(hux.word4, 2);
  EXPECT_EQ(tiv.gyro, 2);
  EXPECT_EQ(applyInfoEntries(entries.data(), 2, hux), 1);
  EXPECT_EQ(applyInfoEntries(entries.data(), 0, hux), 0);
  EXPECT_EQ(applyInfoEntries(entries.data(), -3, tiv), 0);
  EXPECT_EQ(applyInfoEntries(nullptr, 0, tiv), 0);
}

TEST(FileHeader, WrongMagicOrVersionFails) {
  for (const auto& [magic, version] : {std::pair<std::string, uint32_t>{"PELH", 2}, {"pelg", 2}, {"GLEP", 2},
                                       {"PELG", 1}, {"PELG", 3}, {"PELG", 0x02000000}}) {
    SCOPED_TRACE(magic + " v" + std::to_string(version));
    PelgHeader h = pelgbuild::standardHeader(kStart);
    h.magic = magic;
    h.version = version;
    FileHeader header;
    EXPECT_FALSE(parse(h, header));
  }
}

// Every cut of a header with global entries, devices and device entries fails,
// wherever it falls, for a file and for a stream of unknown size.
TEST(FileHeader, EveryCutHeaderFails) {
  PelgHeader h = pelgbuild::standardHeader(kStart, {}, pelgbuild::TivSchedule{});
  h.globalEntries = {intEntry("intr", 1), Entry{"long", Bytes(40, 0xAB)}};
  const Bytes full = pelgbuild::encodeHeader(h);
  for (bool regularFile : {true, false}) {
    for (size_t keep = 0; keep < full.size(); ++keep) {
      SCOPED_TRACE(std::to_string(keep) + (regularFile ? " file" : " memory"));
      FileHeader header;
      EXPECT_FALSE(parse(Bytes(full.begin(), full.begin() + static_cast<long>(keep)), header, regularFile));
      EXPECT_EQ(header.deviceCount, 0);
      EXPECT_TRUE(header.devices.empty());
      EXPECT_EQ(header.globalEntryCount, 0);
      EXPECT_TRUE(header.globalEntries.empty());
    }
    FileHeader header;
    EXPECT_TRUE(parse(full, header, regularFile));
    EXPECT_EQ(header.devices.size(), 3u);
  }
}

// Negative counts mean empty lists; counts that exactly fit the bytes are read.
TEST(FileHeader, NegativeCountsAndExactFit) {
  FileHeader header;
  // G -1, D 1: "hux2", parameter, record size and parameter2, then E negative.
  ASSERT_TRUE(parse(headerWith({0xFFFFFFFF, 1, pelg::tagValue("hux2"), 0, 0, 0x80000000}), header));
  EXPECT_EQ(header.globalEntryCount, 0);
  ASSERT_EQ(header.deviceCount, 1);
  EXPECT_EQ(header.devices[0].entryCount, 0);
  EXPECT_FALSE(extractHuxInfo(header));

  FileHeader none;
  ASSERT_TRUE(parse(headerWith({0, 0x80000000}), none));  // D negative
  EXPECT_EQ(none.deviceCount, 0);

  // Three empty entries of length 0 and a device count of 0: 9 bytes each + 4.
  FileHeader exact;
  ASSERT_TRUE(parse(headerWith({3}, 3 * 9 + 4), exact));
  EXPECT_EQ(exact.globalEntryCount, 3);
  EXPECT_EQ(exact.globalEntries[2].length, 0u);
  EXPECT_EQ(exact.deviceCount, 0);
}

// A corrupt count or length in a small file fails at once and never asks for
// a large allocation, whether the reader knows the stream's size or not.
TEST(FileHeader, AbsurdCountsFailWithoutLargeAllocations) {
  std::vector<std::pair<std::string, Bytes>> cases = {
      {"global entry count", headerWith({0x7FFFFFFF}, 64)},
      {"device count", headerWith({0, 0x7FFFFFFF}, 64)},
      // Just one entry too many: three empty-tag entries of length 0, then a cut device count.
      {"count one byte short", headerWith({3}, 3 * 9 + 3)},
  };
  Bytes entryCount = pelgbuild::encodeHeader(withDevices({{"hux2", {intEntry("intr", 1)}}}));
  // The entry count sits just before the device's only entry (13 bytes).
  const size_t at = entryCount.size() - 13 - 4;
  entryCount[at] = 0xFF, entryCount[at + 1] = 0xFF, entryCount[at + 2] = 0xFF, entryCount[at + 3] = 0x7F;
  cases.emplace_back("device entry count", entryCount);
  for (uint32_t length : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000000u}) {
    Bytes b = headerWith({1, pelg::tagValue("intr")});
    b.push_back(0);  // the entry's type byte, then its length
    append(b, {length}, 64);
    cases.emplace_back("entry length", b);
  }
  for (bool regularFile : {true, false}) {
    for (const auto& [name, bytes] : cases) {
      SCOPED_TRACE(name + (regularFile ? " file" : " memory"));
      FileHeader header;
      ByteStream stream(bytes, regularFile);
      largestRequest.store(0);
      EXPECT_FALSE(readHeader(header, stream.get()));
      EXPECT_LT(largestRequest.load(), size_t{1} << 20);
    }
  }
}

}  // namespace
