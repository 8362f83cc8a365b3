#include "input/file_header.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "pelg_builder/pelg_builder.h"
#include "support/test_support.h"

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

using pelgbuild::Bytes;
using pelgbuild::Device;
using pelgbuild::Entry;
using pelgbuild::intEntry;
using pelgbuild::PelgHeader;
using testsupport::TempDir;

constexpr uint64_t kStart = 1300000000123ULL;

// A stream over `bytes`: a regular file (size known), or a memory stream
// (size unknown to the reader, like a pipe).
class ByteStream {
 public:
  explicit ByteStream(const Bytes& bytes, bool regularFile = true) : bytes_(bytes) {
    if (regularFile) {
      testsupport::writeFile(dir_.file("h.pelg"), std::string(bytes.begin(), bytes.end()));
      stream_ = std::fopen(dir_.file("h.pelg").c_str(), "rb");
    } else {
      if (bytes_.empty()) bytes_.push_back(0);  // fmemopen needs a buffer; size 0 below
      stream_ = fmemopen(bytes_.data(), bytes.size(), "rb");
    }
  }
  ~ByteStream() {
    if (stream_) std::fclose(stream_);
  }
  FILE* get() const { return stream_; }

 private:
  TempDir dir_;
  Bytes bytes_;
  FILE* stream_ = nullptr;
};

bool parse(const Bytes& bytes, FileHeader& header, bool regularFile = true) {
  ByteStream stream(bytes, regularFile);
  EXPECT_NE(stream.get(), nullptr);
  return readHeader(header, stream.get());
}

Entry rawEntry(const std::string& tag, Bytes data) { return Entry{tag, std::move(data), 0}; }

Device device(const std::string& tag, std::vector<Entry> entries, uint16_t recordSize = 0) {
  Device d;
  d.tag = tag;
  d.entries = std::move(entries);
  d.recordSize = recordSize;
  return d;
}

void putU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The first 16 bytes of a valid header: magic, version 2, start time 0.
Bytes headerStart() {
  PelgHeader h;
  Bytes b = pelgbuild::encodeHeader(h);
  b.resize(16);
  return b;
}

TEST(FileHeader, StandardHeaderReadsCompletelyAndStopsAtFirstPacket) {
  PelgHeader h = pelgbuild::standardHeader(kStart, {}, pelgbuild::TivSchedule{});
  h.globalEntries = {intEntry("glob", 7)};
  h.devices[1].parameter = 0xDEADBEEF;
  h.devices[1].recordSize = 33;
  h.devices[1].parameter2 = 0xBEEF;
  const Bytes head = pelgbuild::encodeHeader(h);
  pelgbuild::PelgBuilder file(h);
  file.packet(0, 100, {1, 2, 3});

  ByteStream stream(file.bytes());
  FileHeader header;
  ASSERT_TRUE(readHeader(header, stream.get()));
  EXPECT_EQ(std::ftell(stream.get()), static_cast<long>(head.size()));

  EXPECT_EQ(header.startTime, kStart);
  ASSERT_EQ(header.globalEntryCount, 1);
  ASSERT_EQ(header.globalEntries.size(), 1u);
  EXPECT_EQ(header.globalEntries[0].tag, pelg::tagValue("glob"));
  EXPECT_EQ(header.globalEntries[0].length, 4u);
  EXPECT_EQ(header.globalEntries[0].data, (std::vector<uint8_t>{7, 0, 0, 0}));

  ASSERT_EQ(header.deviceCount, 3);
  ASSERT_EQ(header.devices.size(), 3u);
  EXPECT_EQ(header.devices[0].kind, DeviceKind::hux2);
  EXPECT_EQ(header.devices[0].entryCount, 17);
  EXPECT_EQ(header.devices[1].kind, DeviceKind::sgps);
  EXPECT_EQ(header.devices[1].tag, pelg::tagValue("sgps"));
  EXPECT_EQ(header.devices[1].parameter, 0xDEADBEEFu);
  EXPECT_EQ(header.devices[1].recordSize, 33u);
  EXPECT_EQ(header.devices[1].parameter2, 0xBEEFu);
  EXPECT_EQ(header.devices[1].entryCount, 0);
  EXPECT_EQ(header.devices[2].kind, DeviceKind::tiv);
  EXPECT_EQ(header.devices[2].entryCount, 12);

  ASSERT_TRUE(extractHuxInfo(header));
  const HuxInfo& hux = header.huxInfo;
  EXPECT_EQ(hux.interrupt_count, 5120);
  EXPECT_EQ(hux.mic_hz, 8000);
  EXPECT_EQ(hux.accelerometer_hz, 1000);
  EXPECT_EQ(hux.amb_light_hz, 100);
  EXPECT_EQ(hux.barometer_hz, 100);
  EXPECT_EQ(hux.compass_hz, 100);
  EXPECT_EQ(hux.dals_hz, 100);
  EXPECT_EQ(hux.humidity_hz, 100);
  EXPECT_EQ(hux.power, 1);
  EXPECT_EQ(hux.reserved, 0);
  EXPECT_EQ(hux.boardNumber, 0x1234);
  EXPECT_EQ(hux.hardwareVersion, 2);
  EXPECT_EQ(hux.majorVersion, 1);
  EXPECT_EQ(hux.minorVersion, 7);
  EXPECT_EQ(hux.word1, 0xB8F2);
  EXPECT_EQ(hux.word4, 0xC4A6);

  ASSERT_TRUE(extractTivInfo(header));
  const TivInfo& tiv = header.tivInfo;
  EXPECT_EQ(tiv.interrupt_count, 5120);
  EXPECT_EQ(tiv.gyro, 1000);
  EXPECT_EQ(tiv.magnetometer, 100);
  EXPECT_EQ(tiv.power, 1);
  EXPECT_EQ(tiv.boardNumber, 0x42);
  EXPECT_EQ(tiv.hardwareVersion, 1);
  EXPECT_EQ(tiv.majorVersion, 3);
  EXPECT_EQ(tiv.minorVersion, 2);
  EXPECT_EQ(tiv.word1, 11);
  EXPECT_EQ(tiv.word2, 22);
  EXPECT_EQ(tiv.word3, 33);
  EXPECT_EQ(tiv.word4, 44);
}

TEST(FileHeader, BaroCoefficientsOfTheDefaultWords) {
  // W1 0xB8F2 = 47346, W2 0x9A4B = 39499, W3 0xBD18 = 48408, W4 0xC4A6 = 50342.
  FileHeader header;
  ASSERT_TRUE(parse(pelgbuild::encodeHeader(pelgbuild::standardHeader(kStart)), header));
  ASSERT_TRUE(extractHuxInfo(header));
  EXPECT_EQ(header.baro.C1, 23673);            // 47346 >> 1
  EXPECT_EQ(header.baro.C2, (24 << 6) | 38);   // 0x18 from W3, 0x26 from W4: 1574
  EXPECT_EQ(header.baro.C3, 786);              // 50342 >> 6
  EXPECT_EQ(header.baro.C4, 756);              // 48408 >> 6
  EXPECT_EQ(header.baro.C5, 617);              // low bit of W1 is 0; 39499 >> 6
  EXPECT_EQ(header.baro.C6, 11);               // 39499 & 63
}

TEST(FileHeader, BaroCoefficientsUseLowSixteenBitsOnly) {
  HuxInfo info;
  info.word1 = 0xFFFF;
  BaroCoefficients c = deriveBaroCoefficients(info);
  EXPECT_EQ(c.C1, 32767);
  EXPECT_EQ(c.C2, 0);
  EXPECT_EQ(c.C3, 0);
  EXPECT_EQ(c.C4, 0);
  EXPECT_EQ(c.C5, 1024);
  EXPECT_EQ(c.C6, 0);

  info = {};
  info.word1 = 0xB8F2;
  info.word2 = 0x9A4B;
  info.word3 = 0xBD18;
  info.word4 = 0xC4A6;
  const BaroCoefficients low = deriveBaroCoefficients(info);
  info.word1 = static_cast<int32_t>(0x7ABCB8F2);
  info.word2 = static_cast<int32_t>(0xFFFF9A4B);  // negative as a signed word
  info.word3 = static_cast<int32_t>(0x0001BD18);
  info.word4 = static_cast<int32_t>(0x8000C4A6);
  const BaroCoefficients high = deriveBaroCoefficients(info);
  EXPECT_EQ(high.C1, low.C1);
  EXPECT_EQ(high.C2, low.C2);
  EXPECT_EQ(high.C3, low.C3);
  EXPECT_EQ(high.C4, low.C4);
  EXPECT_EQ(high.C5, low.C5);
  EXPECT_EQ(high.C6, low.C6);

  info = {};
  info.word1 = -1;  // 0xFFFFFFFF: low half 0xFFFF
  info.word2 = -1;
  EXPECT_EQ(deriveBaroCoefficients(info).C1, 32767);
  EXPECT_EQ(deriveBaroCoefficients(info).C5, 1024 | 1023);
  EXPECT_EQ(deriveBaroCoefficients(info).C6, 63);
}

TEST(FileHeader, DeviceKindsAndRecordSizeOverrides) {
  struct Case {
    std::string tag;
    DeviceKind kind;
    uint32_t recordSize;
  };
  const Case cases[] = {
      {"hux ", DeviceKind::hux, 74},
      {"tiv ", DeviceKind::tiv, 33},
      {"gps ", DeviceKind::gps, 33},
      {"sgps", DeviceKind::sgps, 33},
      {"wifi", DeviceKind::wifi, 33},
      {"ltln", DeviceKind::ltln, 24},
      {"ant8", DeviceKind::ant8, 5},
      {"hux2", DeviceKind::hux2, 33},
      {"mic ", DeviceKind::mic, 33},
      {"clck", DeviceKind::clck, 33},
      {"tag ", DeviceKind::tag, 33},
      {"HUX2", DeviceKind::unknown, 33},
      {std::string("hux\0", 4), DeviceKind::unknown, 33},  // NUL-padded, not space-padded
      {"mics", DeviceKind::unknown, 33},
      {"xyzw", DeviceKind::unknown, 33},
  };
  PelgHeader h;
  for (const Case& c : cases) h.devices.push_back(device(c.tag, {}, 33));
  FileHeader header;
  ASSERT_TRUE(parse(pelgbuild::encodeHeader(h), header));
  ASSERT_EQ(header.devices.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].tag.c_str());
    EXPECT_EQ(header.devices[i].kind, cases[i].kind);
    EXPECT_EQ(static_cast<int32_t>(header.devices[i].kind), static_cast<int32_t>(cases[i].kind));
    EXPECT_EQ(header.devices[i].recordSize, cases[i].recordSize);
  }
  EXPECT_EQ(static_cast<int32_t>(DeviceKind::unknown), 16);
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
       {intEntry("intr", 10), intEntry("mics", 12)},
       {device("hux2", {intEntry("zzzz", 99), intEntry("INTR", 98)})},
       true, 10, -1, 12},
      {"device entries win over global entries",
       {intEntry("intr", 10), intEntry("acc ", 11)},
       {device("hux2", {intEntry("intr", 20)})},
       true, 20, -1, -1},
      {"later device overwrites earlier",
       {},
       {device("hux2", {intEntry("intr", 20), intEntry("acc ", 21)}), device("sgps", {intEntry("intr", 77)}),
        device("mic ", {intEntry("intr", 30), intEntry("mic ", 31)})},
       true, 30, 21, 31},
      {"mic before hux2: hux2 wins", {}, {device("mic ", {intEntry("intr", 30)}), device("hux2", {intEntry("intr", 20)})},
       true, 20, -1, -1},
      {"\"mic \" and \"mics\" both set the microphone rate; the later entry wins",
       {}, {device("hux2", {intEntry("mics", 40), intEntry("mic ", 41)})}, true, -1, -1, 41},
      {"hux device is ignored", {intEntry("intr", 10)}, {device("hux ", {intEntry("intr", 50)})}, true, 10, -1, -1},
      {"hux device alone gives nothing", {}, {device("hux ", {intEntry("intr", 50)})}, false, -1, -1, -1},
      {"tiv device gives nothing", {}, {device("tiv ", {intEntry("intr", 50)})}, false, -1, -1, -1},
      {"nothing at all", {}, {}, false, -1, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PelgHeader h;
    h.globalEntries = c.global;
    h.devices = c.devices;
    FileHeader header;
    // Left over from an earlier file: a field without an entry keeps it.
    header.huxInfo.interrupt_count = -1;
    header.huxInfo.accelerometer_hz = -1;
    header.huxInfo.mic_hz = -1;
    header.huxInfo.word1 = 0xFFFF;
    header.baro.C1 = 5;
    ASSERT_TRUE(parse(pelgbuild::encodeHeader(h), header));
    EXPECT_EQ(extractHuxInfo(header), c.found);
    EXPECT_EQ(header.huxInfo.interrupt_count, c.intr);
    EXPECT_EQ(header.huxInfo.accelerometer_hz, c.acc);
    EXPECT_EQ(header.huxInfo.mic_hz, c.mic);
    EXPECT_EQ(header.huxInfo.word1, 0xFFFF);
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
      {"first of two", {device("tiv ", {intEntry("intr", 1)}), device("tiv ", {intEntry("intr", 2), intEntry("gyro", 3)})},
       true, 1, -1},
      {"first without a recognised entry",
       {device("tiv ", {intEntry("bar ", 1)}), device("tiv ", {intEntry("intr", 2)})}, false, -1, -1},
      {"after other devices", {device("hux2", {intEntry("intr", 9)}), device("tiv ", {intEntry("gyro", 4)})},
       true, -1, 4},
      {"no tiv device", {device("hux2", {intEntry("intr", 9)})}, false, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PelgHeader h;
    h.globalEntries = {intEntry("intr", 8), intEntry("gyro", 8)};  // never consulted for TIV
    h.devices = c.devices;
    FileHeader header;
    header.tivInfo.interrupt_count = -1;
    header.tivInfo.gyro = -1;
    ASSERT_TRUE(parse(pelgbuild::encodeHeader(h), header));
    EXPECT_EQ(extractTivInfo(header), c.found);
    EXPECT_EQ(header.tivInfo.interrupt_count, c.intr);
    EXPECT_EQ(header.tivInfo.gyro, c.gyro);
  }
}

TEST(FileHeader, ShortAndLongEntryValues) {
  struct Case {
    Bytes data;
    int32_t value;
  };
  const Case cases[] = {
      {{}, 0},
      {{0x01}, 0x01},
      {{0x01, 0x02}, 0x0201},
      {{0x01, 0x02, 0x03}, 0x030201},
      {{0xFF, 0xFF, 0xFF}, 0x00FFFFFF},
      {{0x01, 0x02, 0x03, 0x04}, 0x04030201},
      {{0xFF, 0xFF, 0xFF, 0xFF}, -1},
      {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, 0x04030201},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.data));
    PelgHeader h;
    h.devices = {device("hux2", {rawEntry("intr", c.data)}), device("tiv ", {rawEntry("gyro", c.data)})};
    FileHeader header;
    header.huxInfo.interrupt_count = 12345;
    header.tivInfo.gyro = 12345;
    ASSERT_TRUE(parse(pelgbuild::encodeHeader(h), header));
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
                       pelg::tagValue("xxxx"), pelg::tagValue("wd04")}) {
    InfoEntry& e = entries.emplace_back();
    e.tag = tag;
    e.length = 4;
    e.data = {2, 0, 0, 0};
  }
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
  struct Case {
    std::string magic;
    uint32_t version;
  };
  const Case cases[] = {{"PELH", 2}, {"pelg", 2}, {"GLEP", 2}, {"PELG", 1}, {"PELG", 3}, {"PELG", 0x02000000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.magic + " v" + std::to_string(c.version));
    PelgHeader h = pelgbuild::standardHeader(kStart);
    h.magic = c.magic;
    h.version = c.version;
    FileHeader header;
    EXPECT_FALSE(parse(pelgbuild::encodeHeader(h), header));
  }
  PelgHeader h = pelgbuild::standardHeader(kStart);
  FileHeader header;
  EXPECT_TRUE(parse(pelgbuild::encodeHeader(h), header));
}

// Every cut of a header with global entries, devices and device entries fails,
// wherever it falls, for a file and for a stream of unknown size.
TEST(FileHeader, EveryCutHeaderFails) {
  PelgHeader h = pelgbuild::standardHeader(kStart, {}, pelgbuild::TivSchedule{});
  h.globalEntries = {intEntry("intr", 1), rawEntry("long", Bytes(40, 0xAB))};
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

TEST(FileHeader, NegativeCountsMeanEmptyLists) {
  Bytes b = headerStart();
  putU32(b, 0xFFFFFFFF);  // G = -1
  putU32(b, 1);           // D = 1
  for (char ch : std::string("hux2")) b.push_back(static_cast<uint8_t>(ch));
  putU32(b, 0);                                 // parameter
  putU32(b, 0);                                 // record size and parameter2
  putU32(b, static_cast<uint32_t>(INT32_MIN));  // E
  FileHeader header;
  ASSERT_TRUE(parse(b, header));
  EXPECT_EQ(header.globalEntryCount, 0);
  ASSERT_EQ(header.deviceCount, 1);
  EXPECT_EQ(header.devices[0].entryCount, 0);
  EXPECT_FALSE(extractHuxInfo(header));

  Bytes d = headerStart();
  putU32(d, 0);
  putU32(d, 0x80000000);  // D negative
  FileHeader none;
  ASSERT_TRUE(parse(d, none));
  EXPECT_EQ(none.deviceCount, 0);
}

// A corrupt count or length in a small file fails at once and never asks for
// a large allocation, whether the reader knows the stream's size or not.
TEST(FileHeader, AbsurdCountsFailWithoutLargeAllocations) {
  struct Case {
    const char* name;
    Bytes bytes;
  };
  std::vector<Case> cases;
  {
    Bytes b = headerStart();
    putU32(b, 0x7FFFFFFF);  // G
    b.resize(b.size() + 64, 0);
    cases.push_back({"global entry count", b});
  }
  {
    Bytes b = headerStart();
    putU32(b, 0);
    putU32(b, 0x7FFFFFFF);  // D
    b.resize(b.size() + 64, 0);
    cases.push_back({"device count", b});
  }
  {
    PelgHeader h;
    h.devices = {device("hux2", {intEntry("intr", 1)})};
    Bytes b = pelgbuild::encodeHeader(h);
    // The entry count sits just before the device's only entry (13 bytes).
    const size_t at = b.size() - 13 - 4;
    b[at] = 0xFF, b[at + 1] = 0xFF, b[at + 2] = 0xFF, b[at + 3] = 0x7F;
    cases.push_back({"device entry count", b});
  }
  for (uint32_t length : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000000u}) {
    Bytes b = headerStart();
    putU32(b, 1);
    for (char ch : std::string("intr")) b.push_back(static_cast<uint8_t>(ch));
    b.push_back(0);
    putU32(b, length);
    b.resize(b.size() + 64, 0);
    cases.push_back({"entry length", b});
  }
  {
    // Just one entry too many for the bytes that follow the count.
    Bytes b = headerStart();
    putU32(b, 3);
    b.resize(b.size() + 3 * 9 + 3, 0);  // three empty-tag entries of length 0, then a cut device count
    cases.push_back({"count one byte short", b});
  }
  for (bool regularFile : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (regularFile ? " file" : " memory"));
      FileHeader header;
      ByteStream stream(c.bytes, regularFile);
      largestRequest.store(0);
      EXPECT_FALSE(readHeader(header, stream.get()));
      EXPECT_LT(largestRequest.load(), size_t{1} << 20);
    }
  }
}

TEST(FileHeader, ExactFitIsAccepted) {
  // Three empty entries of length 0 and a device count of 0: 9 bytes each + 4.
  Bytes b = headerStart();
  putU32(b, 3);
  b.resize(b.size() + 3 * 9 + 4, 0);
  FileHeader header;
  ASSERT_TRUE(parse(b, header));
  EXPECT_EQ(header.globalEntryCount, 3);
  EXPECT_EQ(header.globalEntries[2].length, 0u);
  EXPECT_EQ(header.deviceCount, 0);
}

TEST(FileHeader, ClearHeaderListsKeepsInformationBlocks) {
  FileHeader header;
  ASSERT_TRUE(parse(pelgbuild::encodeHeader(pelgbuild::standardHeader(kStart, {}, pelgbuild::TivSchedule{})), header));
  ASSERT_TRUE(extractHuxInfo(header));
  ASSERT_TRUE(extractTivInfo(header));
  clearHeaderLists(header);
  EXPECT_EQ(header.startTime, 0u);
  EXPECT_EQ(header.deviceCount, 0);
  EXPECT_TRUE(header.devices.empty());
  EXPECT_EQ(header.globalEntryCount, 0);
  EXPECT_TRUE(header.globalEntries.empty());
  EXPECT_EQ(header.huxInfo.boardNumber, 0x1234);
  EXPECT_EQ(header.tivInfo.boardNumber, 0x42);
  EXPECT_EQ(header.baro.C1, 23673);
}

}  // namespace
