#include "input/packet_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "input/console_damage_reporter.h"
#include "input/file_header.h"
#include "input/packet_lookahead.h"
#include "input_test_util.h"

namespace {

using pelgbuild::Bytes;
using pelgbuild::kHuxId;
using pelgbuild::kSirfId;
using pelgbuild::kTivId;
using pelgbuild::PelgBuilder;
using testsupport::CapturedConsole;

constexpr uint64_t kStart = 1700000000000ULL;

// Console lines; %lld is the offset in the file.
constexpr const char* kBadId = "# WARNING: file index %lld, PELG Packet's ID is invalid\n";
constexpr const char* kBadTimestamp = "# WARNING: file index %lld, PELG Packet's timestamp is invalid\n";
constexpr const char* kBadLength = "# WARNING: file index %lld, PELG Packet's length is invalid\n";
constexpr const char* kHuxRejected = "# WARNING: file index %lld, HUX2 Packet CRC invalid\n";
constexpr const char* kTivRejected = "# WARNING: file index %lld, TIV Packet CRC invalid\n";
constexpr const char* kCutShort = "# ERROR: PELG Packet not enough data left to read length\n";

std::string at(const char* format, long long value) {
  char text[256];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The lines of a damaged header at `bad`: its warning, the start of the hunt
// at the next byte and, when `found` is given, the valid header found there.
std::string huntLines(const char* warning, long long bad, long long found = -1) {
  std::string lines =
      at(warning, bad) + at("# WARNING: PELG Error mode, looking for new pelg packet, start pos: %lld\n", bad + 1);
  if (found < 0) return lines;
  return lines + "# WARNING: PELG Error mode, found new pelg packet, at pos: " + std::to_string(found) + " (" +
         std::to_string(found - bad - 1) + " bytes skipped)\n";
}

long long end(const PelgBuilder& b) { return static_cast<long long>(b.size()); }

// Devices 0 hux2 and 1 sgps, and 2 tiv when asked.
PelgBuilder standardFile(bool withTiv = false) {
  return PelgBuilder(withTiv ? pelgbuild::standardHeader(kStart, {}, pelgbuild::TivSchedule{})
                             : pelgbuild::standardHeader(kStart));
}

PelgBuilder fileWithDevices(const std::vector<std::string>& tags) {
  pelgbuild::PelgHeader header;
  header.startTime = kStart;
  for (const std::string& tag : tags) header.devices.push_back(pelgbuild::plainDevice(tag));
  return PelgBuilder(header);
}

Bytes huxAudioPayload() { return pelgbuild::huxAudio(3, 17, {100, -200, 300, -400, 500}); }

Bytes huxAccelPayload() {
  pelgbuild::HuxReadings readings;
  readings.accel = std::array<int16_t, 3>{10, -20, 30};
  return pelgbuild::huxSensor(4, 18, readings);
}

Bytes tivGyroPayload() {
  pelgbuild::TivReadings readings;
  readings.gyro = std::array<int16_t, 6>{1, 2, 3, 4, 5, 6};
  readings.magX = -7;
  return pelgbuild::tivSensor(9, 40, readings);
}

Bytes corrupted(Bytes message) {
  pelgbuild::corruptChecksum(message);
  return message;
}

Bytes sirfPayload(uint8_t count, size_t dataBytes) {
  Bytes payload = {0xA0, 0xA2, 0x00, count, 0x00, 0x00, 0x00};
  for (size_t i = 0; i < dataBytes; ++i) payload.push_back(static_cast<uint8_t>(0x30 + i));
  return payload;
}

// One PELG file on disk, opened with its header read, and a packet reader bound
// to it with every channel enabled, as the packet pass sets it up.
// Keeps every damage event and prints it as a run does.
class RecordedDamage : public DamageReporter {
 public:
  explicit RecordedDamage(Console& console) : lines_(console) {}
  void damage(const DamageEvent& event) override {
    events.push_back(event);
    lines_.damage(event);
  }
  std::vector<DamageEvent> events;

 private:
  ConsoleDamageReporter lines_;
};

class ReaderFixture {
 public:
  void open(const PelgBuilder& builder, int32_t capacity = 204800) {
    builder.writeTo(dir.file("in.pelg"));
    file.name = dir.file("in.pelg");
    file.stream = std::fopen(file.name.c_str(), "rb");
    ASSERT_NE(file.stream, nullptr);
    ASSERT_TRUE(readHeader(file.header, file.stream));
    bind(capacity);
  }

  void bind(int32_t capacity = 204800) {
    initPacketReader(*reader, console.console(), damage);
    bindPacketReader(*reader, file, capacity);
    reader->huxEnabled.fill(true);
    reader->tivEnabled.fill(true);
  }

  // The SiRF side file in the fixture's directory, as the outputs hand it over.
  void sirf(bool enabled, const std::string& name = "sirf.bin") {
    reader->sirfEnabled = enabled;
    ASSERT_TRUE(sirfFile.create(dir.file(name)));
    reader->sirfOutput = &sirfFile;
  }
  // The side file's contents once it is closed and in place.
  std::string sirfContents() {
    EXPECT_TRUE(sirfFile.finish() && sirfFile.commit());
    return testsupport::readFile(sirfFile.path());
  }

  // One call as the packet pass makes it.
  int next() {
    reader->huxStatus.status = kDecodeNone;
    reader->tivStatus.status = kDecodeNone;
    reader->huxSamples.clear();
    reader->tivSamples.clear();
    return nextPacket(*reader);
  }

  // Reads to the end; the results of every call.
  std::vector<int> drain() {
    std::vector<int> results;
    while (reader->active) results.push_back(next());
    return results;
  }

  ~ReaderFixture() {
    closePacketReader(*reader);
    if (file.stream) std::fclose(file.stream);
  }

  testsupport::TempDir dir;
  CapturedConsole console;
  RecordedDamage damage{console.console()};
  InputFile file;
  OutputFile sirfFile;
  std::unique_ptr<PacketReader> reader = std::make_unique<PacketReader>();
};

TEST(PacketReader, InitGivesStartingValues) {
  CapturedConsole console;
  auto reader = std::make_unique<PacketReader>();
  reader->lastTimestamp = 5;
  reader->sirfEnabled = true;
  OutputFile side;
  reader->sirfOutput = &side;
  reader->huxEnabled.fill(true);
  reader->huxStatus.timeCounter = 7;
  reader->huxCalibration.C3 = 12;
  DamageTally tally;
  initPacketReader(*reader, console.console(), tally);
  const PacketReader& r = *reader;
  EXPECT_EQ(std::vector<int64_t>({r.active, r.sirfEnabled, r.huxEnabled[0], r.lastTimestamp, r.huxStatus.timeCounter,
                                  r.huxStatus.interruptCounter, r.tivStatus.timeCounter, r.huxCalibration.C3,
                                  r.huxCalibration.interruptLimit, r.tivInterruptLimit}),
            std::vector<int64_t>({false, false, false, 0, -1, -1, -1, -1, 0, 0}));
  EXPECT_EQ(r.reporter, &tally);
  EXPECT_EQ(r.sirfOutput, nullptr);
  EXPECT_EQ(r.console, &console.console());
}

// A clean stream of both boards: every packet is decoded, nothing is printed,
// and the end at a packet boundary is -1 without a message.
TEST(PacketReader, CleanStreamDecodesEveryPacketAndEndsQuietly) {
  ReaderFixture f;
  PelgBuilder b = standardFile(true);
  b.packet(kHuxId, 10, huxAudioPayload())
      .packet(kTivId, 10, tivGyroPayload())
      .packet(kHuxId, 10, huxAccelPayload())  // equal timestamps are fine
      .packet(kHuxId, 100010, huxAudioPayload());
  f.open(b);

  ASSERT_EQ(f.next(), 1);
  EXPECT_EQ(f.reader->huxStatus.status, 1);
  EXPECT_EQ(f.reader->tivStatus.status, 0);
  EXPECT_EQ(f.reader->huxSamples.counts[kHuxAudio], 5);
  ASSERT_EQ(f.next(), 1);
  EXPECT_EQ(f.reader->tivStatus.status, 1);
  EXPECT_EQ(f.reader->huxStatus.status, 0);
  EXPECT_EQ(f.reader->tivSamples.counts[kTivXGyro], 1);
  EXPECT_EQ(f.reader->tivSamples.counts[kTivXMag], 1);
  ASSERT_EQ(f.next(), 1);
  EXPECT_EQ(f.reader->huxStatus.status, 1);
  EXPECT_EQ(f.reader->huxSamples.counts[kHuxXAccel], 1);
  ASSERT_EQ(f.next(), 1);
  EXPECT_EQ(f.reader->lastTimestamp, 100010u);
  EXPECT_TRUE(f.reader->active);
  EXPECT_EQ(f.reader->buffer.position(), static_cast<int64_t>(b.size()));

  EXPECT_EQ(f.next(), -1);
  EXPECT_FALSE(f.reader->active);
  EXPECT_EQ(f.console.out(), "");
  EXPECT_EQ(f.console.err(), "");
}

// readPacketHeader looks without consuming.
TEST(PacketReader, HeaderChecks) {
  struct Case {
    const char* name;
    uint16_t id;
    uint32_t timestamp;
    uint32_t declaredLength;
    size_t payloadBytes;
    int expected;
    size_t cut = 0;  // bytes dropped from the end of the file
  };
  const Case cases[] = {
      {"valid", 0, 0, 5, 5, 1},
      {"empty payload", 0, 0, 0, 0, 1},
      {"last id", 9, 0, 5, 5, 1},
      {"id 10 with 11 devices", 10, 0, 5, 5, -3},
      {"id 65535", 65535, 0, 5, 5, -3},
      {"timestamp 100000", 0, 100000, 5, 5, 1},
      {"first timestamp above 100000", 0, 100001, 5, 5, -4},
      {"length 4096", 0, 0, 4096, 4096, 1},
      {"length 4097", 0, 0, 4097, 4097, -5},
      {"length 4096 one byte short", 0, 0, 4096, 4095, -2},
      {"bad id wins over bad timestamp and length", 12, 200000, 5000, 0, -3},
      {"bad timestamp wins over bad length", 0, 200000, 5000, 0, -4},
      {"fewer than ten bytes", 0, 0, 0, 0, -1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderFixture f;
    PelgBuilder b = fileWithDevices(std::vector<std::string>(11, "gps "));
    const long long headerEnd = end(b);
    f.open(b.packetWithLength(c.id, c.timestamp, c.declaredLength, Bytes(c.payloadBytes, 0xEE)).cut(c.cut), 4106);
    PacketHeader header;
    EXPECT_EQ(readPacketHeader(*f.reader, header), c.expected);
    EXPECT_EQ(header.id, c.id);
    EXPECT_EQ(header.timestamp, c.timestamp);
    EXPECT_EQ(header.length, c.declaredLength);
    EXPECT_EQ(f.reader->buffer.position(), headerEnd);
    EXPECT_EQ(f.console.out(), "");
  }
}

// A damaged header after a good packet gives one warning at its offset, then
// the hunt from the next byte to the following valid header. The damaged
// packets' bytes are 0xEE and their fields are chosen so that no false header
// starts inside them.
TEST(PacketReader, DamagedHeaderIsReportedAndSkipped) {
  auto damaged = [](uint16_t id, uint32_t timestamp, uint32_t length) {
    return PelgBuilder().packetWithLength(id, timestamp, length, Bytes(4, 0xEE)).bytes();
  };
  struct Case {
    const char* name;
    Bytes damage;
    const char* warning;
  };
  const Case cases[] = {
      {"bad id", damaged(0xEEEE, 0, 4), kBadId},
      {"bad timestamp", damaged(0, 200000, 4), kBadTimestamp},
      {"bad length", damaged(0, 0, 5000), kBadLength},
      {"three stray bytes", {0xFF, 0xFF, 0xFF}, kBadId},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderFixture f;
    PelgBuilder b = standardFile();
    b.packet(kHuxId, 0, huxAudioPayload());
    const long long bad = end(b);
    const long long good = end(b.raw(c.damage));
    f.open(b.packet(kHuxId, 20, huxAccelPayload()));

    ASSERT_EQ(f.next(), 1);
    EXPECT_EQ(f.console.out(), "");
    ASSERT_EQ(f.next(), 1);
    EXPECT_EQ(f.reader->huxStatus.status, 1);
    EXPECT_EQ(f.reader->huxSamples.counts[kHuxXAccel], 1);
    EXPECT_EQ(f.reader->lastTimestamp, 20u);
    EXPECT_EQ(f.console.out(), huntLines(c.warning, bad, good));
    EXPECT_EQ(f.next(), -1);
  }
}

// A timestamp more than 100 s ahead is accepted only when the packets after it
// continue from it (the logger paused); a lone damaged timestamp, a jump with
// nothing after it and a jump followed by broken packets keep the rejection
// and the hunt. Packets: 0 at 1000 ms, then the jumped packet at 151000 ms,
// then `after` packets 10 ms apart.
TEST(PacketReader, ClockJumpIsAcceptedOnlyWhenThePacketsAfterItFollow) {
  enum class After { chained, brokenBoardMessage, oldTimeLine };
  struct Case {
    const char* name;
    int after;
    After kind;
    size_t strayBytes;  // garbage before the jumped packet
    bool accepted;
  };
  const Case cases[] = {
      {"three packets follow", 3, After::chained, 0, true},
      {"one packet follows, then the end", 1, After::chained, 0, true},
      {"nothing follows", 0, After::chained, 0, false},
      {"the next board message is broken", 3, After::brokenBoardMessage, 0, false},
      {"the next packets continue the old time line", 3, After::oldTimeLine, 0, false},
      {"found by the hunt after stray bytes", 3, After::chained, 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderFixture f;
    PelgBuilder b = standardFile();
    b.packet(kHuxId, 1000, huxAudioPayload());
    const long long stray = end(b);
    b.raw(Bytes(c.strayBytes, 0xFF));
    const long long jumped = end(b);
    b.packet(kHuxId, 151000, huxAccelPayload());
    const long long firstAfter = end(b);
    for (int i = 0; i < c.after; ++i) {
      const uint32_t stamp = c.kind == After::oldTimeLine ? 1010 + 10 * i : 151010 + 10 * i;
      b.packet(kHuxId, stamp, c.kind == After::brokenBoardMessage ? corrupted(huxAudioPayload()) : huxAudioPayload());
    }
    f.open(b);
    const std::vector<int> results = f.drain();

    if (c.accepted) {
      std::vector<int> expected(2 + c.after, 1);
      expected.push_back(-1);
      EXPECT_EQ(results, expected);
      EXPECT_EQ(f.reader->lastTimestamp, static_cast<uint32_t>(151000 + 10 * c.after));
      std::string lines = c.strayBytes ? huntLines(kBadId, stray, jumped) : "";
      lines += at("# WARNING: file index %lld, PELG Packet's timestamp jumped ahead 150000 ms and the packets "
                  "that follow continue from it: the logger paused, packets accepted from here\n",
                  jumped);
      EXPECT_EQ(f.console.out(), lines);
      continue;
    }
    EXPECT_TRUE(f.console.out().starts_with(huntLines(kBadTimestamp, jumped)));
    EXPECT_EQ(f.console.out().find("jumped ahead"), std::string::npos);
    if (c.kind == After::oldTimeLine) {
      // The hunt lands on the first packet that continues the old time line.
      EXPECT_EQ(f.console.out(), huntLines(kBadTimestamp, jumped, firstAfter));
      EXPECT_EQ(f.reader->lastTimestamp, 1030u);
    }
  }
}

// The timestamp test is modular: a small timestamp right after one near 2^32
// passes it, and is then replaced by the previous one.
TEST(PacketReader, BackwardsTimestampKeepsThePreviousOne) {
  ReaderFixture f;
  PelgBuilder b = fileWithDevices({"gps "});
  const long long payload = end(b) + 10;
  f.open(b.packet(0, 5, Bytes(3, 1)).packet(0, 7, Bytes(3, 1)));
  f.reader->lastTimestamp = 4294967290u;

  ASSERT_EQ(f.next(), 1);
  EXPECT_EQ(f.reader->lastTimestamp, 4294967290u);
  // The kept timestamp stays ahead of every later small one.
  ASSERT_EQ(f.next(), 1);
  EXPECT_EQ(f.reader->lastTimestamp, 4294967290u);
  EXPECT_EQ(f.next(), -1);
  EXPECT_EQ(f.console.out(),
            at("# WARNING: file index %lld, PELG Packet's timestamp has moved backwards, discarding read "
               "timestamp 5, and using previous timestamp -6\n",
               payload) +
                at("# WARNING: file index %lld, PELG Packet's timestamp has moved backwards, discarding read "
                   "timestamp 7, and using previous timestamp -6\n",
                   payload + 13));
}

// Ends of the data: fewer than ten bytes left, a payload cut short, and a hunt
// that runs into the end, which returns at once and leaves the reader active.
// The call that ends the stream stays where it stands.
TEST(PacketReader, EndsOfTheData) {
  const long long bad = end(fileWithDevices({"hux2"}));  // the first byte after the header
  const std::string hunt = huntLines(kBadId, bad);
  Bytes cutHeader = Bytes(4, 0xEE);  // then a valid header whose packet runs past the end
  const Bytes bigPacket = {0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x55};
  cutHeader.insert(cutHeader.end(), bigPacket.begin(), bigPacket.end());
  struct Case {
    const char* name;
    Bytes tail;
    std::vector<int> results;
    std::vector<std::string> out;  // after each call
  };
  const Case cases[] = {
      {"fewer than ten bytes", Bytes(9, 0), {-1}, {""}},
      {"payload cut short",
       PelgBuilder().packet(kHuxId, 1, huxAudioPayload()).packet(kHuxId, 2, huxAudioPayload()).cut(1).bytes(),
       {1, -2}, {"", kCutShort}},
      {"hunt through garbage only", Bytes(12, 0xEE), {-1, -1}, {hunt, hunt}},
      {"hunt to a packet that runs past the end", cutHeader, {-2, -2}, {hunt, hunt + kCutShort}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderFixture f;
    f.open(fileWithDevices({"hux2"}).raw(c.tail));
    int64_t before = bad;
    for (size_t i = 0; i < c.results.size(); ++i) {
      if (i > 0) before = f.reader->buffer.position();
      EXPECT_EQ(f.next(), c.results[i]) << i;
      EXPECT_EQ(f.reader->active, i + 1 < c.results.size()) << i;
      EXPECT_EQ(f.console.out(), c.out[i]) << i;
    }
    EXPECT_EQ(f.reader->buffer.position(), before);
    EXPECT_EQ(f.reader->huxStatus.status, 0);
  }
}

// Dispatch by the kind of the device block the id names; an id that names no
// device is stepped over.
TEST(PacketReader, DispatchByDeviceKind) {
  struct Case {
    const char* tag;
    Bytes payload;
    int huxStatus;
    int tivStatus;
    const char* warning;  // with the payload's offset
    uint16_t id = 1;
  };
  const Case cases[] = {
      {"hux2", huxAudioPayload(), 1, 0, nullptr},
      {"mic ", huxAudioPayload(), 1, 0, nullptr},
      {"hux2", huxAccelPayload(), 1, 0, nullptr},
      {"tiv ", tivGyroPayload(), 0, 1, nullptr},
      {"tiv ", pelgbuild::tivAux(2), 0, 2, nullptr},
      {"hux2", corrupted(huxAudioPayload()), -2, 0, kHuxRejected},
      {"mic ", Bytes{}, -3, 0, kHuxRejected},
      {"hux2", Bytes{'a', 'b', 'c'}, -3, 0, kHuxRejected},
      {"tiv ", corrupted(tivGyroPayload()), 0, -2, kTivRejected},
      {"tiv ", Bytes{'a'}, 0, -3, kTivRejected},
      {"hux ", huxAudioPayload(), 0, 0, nullptr},
      {"gps ", huxAudioPayload(), 0, 0, nullptr},
      {"sgps", tivGyroPayload(), 0, 0, nullptr},
      {"wifi", huxAudioPayload(), 0, 0, nullptr},
      {"ltln", huxAudioPayload(), 0, 0, nullptr},
      {"ant8", huxAudioPayload(), 0, 0, nullptr},
      {"clck", tivGyroPayload(), 0, 0, nullptr},
      {"tag ", tivGyroPayload(), 0, 0, nullptr},
      {"zzzz", huxAudioPayload(), 0, 0, nullptr},
      {"hux2", huxAudioPayload(), 0, 0, nullptr, 5},
      {"tiv ", tivGyroPayload(), 0, 0, nullptr, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tag) + " id " + std::to_string(c.id));
    ReaderFixture f;
    PelgBuilder b = fileWithDevices({"gps ", c.tag});
    const long long payload = end(b) + 10;
    f.open(b.packet(c.id, 1, c.payload).packet(0, 2, Bytes(7, 0)));
    ASSERT_EQ(f.next(), 1);
    EXPECT_EQ(f.reader->huxStatus.status, c.huxStatus);
    EXPECT_EQ(f.reader->tivStatus.status, c.tivStatus);
    EXPECT_EQ(f.console.out(), c.warning ? at(c.warning, payload) : "");
    // A rejected payload is not retried: the next packet follows.
    ASSERT_EQ(f.next(), 1);
    EXPECT_EQ(f.reader->lastTimestamp, 2u);
    EXPECT_EQ(f.next(), -1);
  }
}

TEST(PacketReader, SirfCopy) {
  struct Case {
    const char* name;
    Bytes payload;
    size_t copied;  // receiver bytes that reach the side file
  };
  const Case cases[] = {
      {"count 0", sirfPayload(0, 0), 0},
      {"count 20", sirfPayload(20, 20), 20},
      {"count 20 with trailing bytes", sirfPayload(20, 25), 20},
      {"count 255", sirfPayload(255, 255), 0},
      {"count beyond the payload", sirfPayload(30, 29), 0},
      {"three bytes", Bytes{0xA0, 0xA2, 0x00}, 0},
      {"count but no head", Bytes{0xA0, 0xA2, 0x00, 0x00}, 0},
      {"empty", Bytes{}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderFixture f;
    f.open(standardFile().packet(kSirfId, 1, c.payload).packet(kSirfId, 2, sirfPayload(2, 2)));
    f.sirf(true);
    f.sirfFile.write("old", 3);  // the reader only appends

    EXPECT_EQ(f.drain(), (std::vector<int>{1, 1, -1}));
    closePacketReader(*f.reader);
    EXPECT_TRUE(f.sirfFile.isOpen());  // the side file belongs to the caller
    const std::string copied(c.payload.begin() + 7, c.payload.begin() + 7 + static_cast<long>(c.copied));
    EXPECT_EQ(f.sirfContents(), "old" + copied + "01");
    EXPECT_EQ(f.console.out(), "");
  }
}

// With the copy off, or on without a side file (the scan pass), nothing is
// written and nothing is said.
TEST(PacketReader, SirfCopyOffOrWithoutFile) {
  for (const bool enabled : {false, true}) {
    SCOPED_TRACE(enabled);
    ReaderFixture f;
    f.open(standardFile().packet(kSirfId, 1, sirfPayload(4, 4)).packet(kSirfId, 2, sirfPayload(4, 4)));
    f.sirf(enabled);
    if (enabled) f.reader->sirfOutput = nullptr;
    EXPECT_EQ(f.drain(), (std::vector<int>{1, 1, -1}));
    EXPECT_EQ(f.sirfContents(), "");
    EXPECT_EQ(f.console.out(), "");
  }
}

// Each event gives its kind, where it begins and what it covers: a hunt the
// bytes from the one after the rejected header's first to the header found
// (or to where the data ends), a failed checksum its payload, a cut packet
// the bytes left.
TEST(PacketReader, DamageEventsGiveTheirPlaceAndSize) {
  ReaderFixture f;
  PelgBuilder b = standardFile(true);
  const long long stray = end(b);
  const long long hux = end(b.raw({0xFF, 0xFF, 0xFF}));
  const long long tiv = end(b.packet(kHuxId, 1, corrupted(huxAudioPayload())));
  const long long bad = end(b.packet(kTivId, 1, corrupted(tivGyroPayload())));
  const long long last = end(b.packetWithLength(kHuxId, 200000, 4, Bytes(4, 0xEE)));
  f.open(b.packet(kHuxId, 2, huxAudioPayload()).cut(1));

  // The second hunt stops at the cut packet, and the call after it ends the file.
  EXPECT_EQ(f.drain(), (std::vector<int>{1, 1, -2, -2}));
  const long long huxPayload = static_cast<long long>(huxAudioPayload().size());
  const long long tivPayload = static_cast<long long>(tivGyroPayload().size());
  const long long cutPacket = 10 + huxPayload - 1;
  std::vector<std::vector<long long>> got;
  for (const DamageEvent& e : f.damage.events)
    got.push_back({static_cast<long long>(e.kind), e.offset, e.bytes, e.packets, e.toEnd});
  const auto kind = [](DamageKind k) { return static_cast<long long>(k); };
  EXPECT_EQ(got, (std::vector<std::vector<long long>>{
                     {kind(DamageKind::skippedBytes), stray + 1, hux - stray - 1, 0, false},
                     {kind(DamageKind::badChecksum), hux + 10, huxPayload, 1, false},
                     {kind(DamageKind::badChecksum), tiv + 10, tivPayload, 1, false},
                     {kind(DamageKind::skippedBytes), bad + 1, last - bad - 1, 0, true},
                     {kind(DamageKind::truncatedPacket), last, cutPacket, 1, false}}));
}

// Offsets beyond 2 GiB print in full: the packets sit 3 GiB into a sparse file.
TEST(PacketReader, OffsetsBeyondTwoGibibytes) {
  ReaderFixture f;
  PelgBuilder packets;
  packets.raw({0xFF, 0xFF, 0xFF}).packet(kHuxId, 1, corrupted(huxAudioPayload()));
  const long long base = 3LL << 30;

  const std::string path = f.dir.file("big.pelg");
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  const Bytes head = pelgbuild::encodeHeader(pelgbuild::standardHeader(kStart));
  std::fwrite(head.data(), 1, head.size(), out);
  if (fseeko(out, base, SEEK_SET) != 0 ||
      std::fwrite(packets.bytes().data(), 1, packets.size(), out) != packets.size()) {
    std::fclose(out);
    GTEST_SKIP() << "no room for a sparse 3 GiB file";
  }
  std::fclose(out);

  f.file.name = path;
  f.file.stream = std::fopen(path.c_str(), "rb");
  ASSERT_TRUE(readHeader(f.file.header, f.file.stream));
  ASSERT_EQ(fseeko(f.file.stream, base, SEEK_SET), 0);
  f.bind();
  EXPECT_EQ(f.drain(), (std::vector<int>{1, -1}));
  EXPECT_EQ(f.console.out(),
            "# WARNING: file index 3221225472, PELG Packet's ID is invalid\n"
            "# WARNING: PELG Error mode, looking for new pelg packet, start pos: 3221225473\n"
            "# WARNING: PELG Error mode, found new pelg packet, at pos: 3221225475 (2 bytes skipped)\n"
            "# WARNING: file index 3221225485, HUX2 Packet CRC invalid\n");
}

// A small buffer refills many times; every packet still arrives whole.
TEST(PacketReader, SmallBufferDeliversEveryPacket) {
  ReaderFixture f;
  PelgBuilder b = standardFile(true);
  std::vector<int16_t> samples(63);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 100 - 3000);
  constexpr int kPackets = 3000;
  for (int i = 0; i < kPackets; ++i) {
    if (i % 3 == 0) b.packet(kHuxId, i, pelgbuild::huxAudio(0, 0, samples));
    if (i % 3 == 1) b.packet(kTivId, i, tivGyroPayload());
    if (i % 3 == 2) b.packet(kSirfId, i, Bytes(4096, 0xEE));
  }
  f.open(b, 1);  // raised to the largest packet and the packets looked at after it
  EXPECT_EQ(f.reader->buffer.capacity, (1 + kLookAheadPackets) * 4106);
  int hux = 0, tiv = 0, results = 0;
  while (f.reader->active) {
    const int result = f.next();
    if (result != 1) break;
    ++results;
    if (f.reader->huxStatus.status == 1 && f.reader->huxSamples.counts[kHuxAudio] == 63) ++hux;
    if (f.reader->tivStatus.status == 1) ++tiv;
  }
  EXPECT_EQ(results, kPackets);
  EXPECT_EQ(hux, kPackets / 3);
  EXPECT_EQ(tiv, kPackets / 3);
  EXPECT_EQ(f.console.out(), "");
}

// Random damage to a valid stream. The reader must end every file, move
// forward on every packet, keep its buffer invariants and never read outside
// the buffer; the decoders, fed each framed payload in an allocation of
// exactly its size, must never read outside it (run under the sanitizers).
TEST(PacketReader, RandomDamageNeverReadsOutside) {
  std::mt19937 random(20240611);
  auto below = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };

  PelgBuilder clean = standardFile(true);
  const size_t headerSize = clean.size();
  uint32_t timestamp = 0;
  for (int i = 0; i < 400; ++i) {
    timestamp += below(2000);
    switch (below(7)) {
      case 0: {
        std::vector<int16_t> samples(below(64));
        for (auto& s : samples) s = static_cast<int16_t>(random());
        clean.packet(kHuxId, timestamp, pelgbuild::huxAudio(0, below(5120), samples));
        break;
      }
      case 1: clean.packet(kHuxId, timestamp, huxAccelPayload()); break;
      case 2: clean.packet(kTivId, timestamp, tivGyroPayload()); break;
      case 3: clean.packet(kTivId, timestamp, pelgbuild::tivAux(static_cast<uint8_t>(2 << below(3)))); break;
      case 4: clean.packet(kSirfId, timestamp, sirfPayload(static_cast<uint8_t>(below(256)), below(40))); break;
      case 5: clean.packet(static_cast<uint16_t>(3 + below(7)), timestamp, Bytes(below(300), 0x23)); break;
      default: {
        pelgbuild::HuxReadings readings;
        readings.baroTemp = 30000;
        readings.baroPressure = 40000;
        readings.humidity = 1500;
        readings.shtTemp = 6000;
        readings.visLight = 20;
        readings.irLight = 30;
        readings.hfLight = std::make_pair<uint8_t, uint16_t>(2, 1000);
        clean.packet(kHuxId, timestamp, pelgbuild::huxSensor(1, 2, readings));
      }
    }
  }

  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    Bytes bytes = clean.bytes();
    const int damages = 1 + static_cast<int>(below(8));
    for (int d = 0; d < damages; ++d) {
      const size_t span = bytes.size() - headerSize;
      if (span == 0) break;
      const size_t where = headerSize + below(static_cast<uint32_t>(span));
      switch (below(4)) {
        case 0: bytes[where] ^= static_cast<uint8_t>(1u << below(8)); break;
        case 1: bytes[where] = static_cast<uint8_t>(random()); break;
        case 2: {
          Bytes junk(1 + below(20));
          for (auto& j : junk) j = static_cast<uint8_t>(random());
          bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(where), junk.begin(), junk.end());
          break;
        }
        default:
          if (below(3) == 0)
            bytes.resize(where);
          else
            bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(where),
                        bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), where + 1 + below(40))));
      }
    }

    ReaderFixture f;
    f.open(PelgBuilder().raw(bytes), round % 2 == 0 ? 4106 : 204800);
    f.sirf(true);
    HuxCalibrationState& calibration = f.reader->huxCalibration;
    std::tie(calibration.C1, calibration.C2, calibration.C3, calibration.C4, calibration.C5, calibration.C6) =
        std::tuple(23000, 2500, 700, 700, 1000, 40);

    auto scratchHux = std::make_unique<HuxSamples>();
    auto scratchTiv = std::make_unique<TivSamples>();
    HuxCalibrationState scratchCalibration = f.reader->huxCalibration;
    int64_t previous = f.reader->buffer.origin;
    size_t calls = 0;
    while (f.reader->active) {
      ASSERT_LE(++calls, bytes.size() + 2) << "the reader stopped moving";
      PacketHeader header;
      if (readPacketHeader(*f.reader, header) == 1) {
        const uint8_t* start = f.reader->buffer.next() + 10;
        const std::unique_ptr<uint8_t[]> exact(new uint8_t[header.length]);
        std::copy(start, start + header.length, exact.get());
        HuxStatus huxStatus;
        TivStatus tivStatus;
        scratchHux->clear();
        scratchTiv->clear();
        decodeHux2(huxStatus, exact.get(), header.length, *scratchHux, scratchCalibration, f.reader->huxEnabled);
        decodeTiv(tivStatus, exact.get(), header.length, *scratchTiv, 0, f.reader->tivEnabled);
      }
      const int result = f.next();
      ASSERT_TRUE(result == 1 || result == -1 || result == -2) << result;
      const ReadBuffer& buffer = f.reader->buffer;
      ASSERT_LE(buffer.consumed, buffer.filled);
      ASSERT_LE(buffer.filled, buffer.capacity);
      if (result == 1) {
        ASSERT_GE(buffer.position(), previous + 10);
        ASSERT_LE(buffer.position(), static_cast<int64_t>(bytes.size()));
        previous = buffer.position();
      }
    }
  }
}

}  // namespace

namespace {

// A HUX2 accelerometer message at board clock `counter` (time counter x M +
// interrupt counter, M = 5120).
Bytes accelAt(int64_t counter) {
  pelgbuild::HuxReadings readings;
  readings.accel = std::array<int16_t, 3>{static_cast<int16_t>(counter % 1000), 2, 3};
  const int64_t c = counter % (256 * 5120);
  return pelgbuild::huxSensor(static_cast<uint8_t>(c / 5120), static_cast<uint16_t>(c % 5120), readings);
}

// Packets 10 ms apart whose board clock runs with the timestamps (5.12
// interrupts per 10 ms): packet k at timestamp 1000 + 10 k, counter
// `clock` + 5 k.
void onTimeLine(PelgBuilder& b, int from, int to, int64_t clock = 51200) {
  for (int k = from; k < to; ++k)
    b.packet(kHuxId, static_cast<uint32_t>(1000 + 10 * k), accelAt(clock + 5 * k));
}

}  // namespace

// Damage that costs more than its own bytes unless the two clocks vote: a
// timestamp that alone jumped, a block of another recording (its counters off
// the time line) behind damage, a packet repeated behind damage. A clean break
// of the counters without damage before it is left to the time line.
TEST(PacketReader, DamageIsDroppedWhereTheTwoClocksDisagree) {
  enum class Kind {
    outlierTimestamp,
    staleBlock,
    staleToEnd,
    staleWithoutDamage,
    repeatedPacket,
    gapOfBothClocks,
    staleFarAhead,
    cleanCopy,
    staleOverEdge,
    chanceHeaderAtEdge,
    outlierBeforePause,
    behindAfterPause,
    pauseAhead
  };
  struct Case {
    const char* name;
    Kind kind;
    int delivered;       // packets delivered
    const char* line;    // a warning the case must give ("" none)
    uint32_t lastTimestamp;
  };
  const Case cases[] = {
      {"one timestamp 65536 ms ahead", Kind::outlierTimestamp, 40,
       "ms ahead of the packets around it: the packet is kept, its timestamp is not", 1390},
      {"a stale block behind a broken message", Kind::staleBlock, 30,
       "whose board counters lie off this recording's time line: dropped as foreign data, reading on at", 1390},
      {"a stale stretch to the end of the file", Kind::staleToEnd, 20, "to the end of the file", 1195},
      {"counters that break in clean framing", Kind::staleWithoutDamage, 40, "", 1390},
      {"a packet repeated behind a hunt", Kind::repeatedPacket, 40,
       "repeats one read shortly before (a duplicated sector): dropped", 1390},
      {"a gap of both clocks behind a broken message", Kind::gapOfBothClocks, 40, "", 1390 + 30000},
      // Chains like a logger pause, but its counters refute one: hunted over.
      {"a stale stretch whose timestamps lie 150 s ahead", Kind::staleFarAhead, 30, "PELG Error mode", 1390},
      // Behind a hunt, a sector copy: another packet's header (a new
      // timestamp) before a message delivered already, its counters behind.
      {"a copy of a delivered message under a new timestamp", Kind::cleanCopy, 40,
       "repeats one read shortly before (a duplicated sector): dropped", 1390},
      // The block's cut edge right after a header: its length runs over this
      // recording's packets after it.
      {"a stale block cut right after a header", Kind::staleOverEdge, 30, "dropped as foreign data, reading on at",
       1390},
      // At the cut edge, bytes that read as a header of an id without a
      // device, whose length runs into this recording's first packet.
      {"a header by chance at a stale block's cut edge", Kind::chanceHeaderAtEdge, 30,
       "dropped as foreign data, reading on at", 1390},
      // Two packets continue from the last timestamp before a 150 s pause.
      {"one timestamp 256 ms ahead, two packets before a logger pause", Kind::outlierBeforePause, 40,
       "ms ahead of the packets around it: the packet is kept, its timestamp is not", 151390},
      // The packet after a 150 s pause 4 s behind it, its counters with the pause.
      {"the packet after a logger pause 4096 ms behind it", Kind::behindAfterPause, 39,
       "timestamp jumped ahead 150010 ms", 151390},
      // 1 s is within what the counters tolerate: the packet after it decides.
      {"a logger pause whose own timestamp is 1024 ms ahead", Kind::pauseAhead, 39, "timestamp jumped ahead 150020 ms",
       151390},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReaderFixture f;
    PelgBuilder b = standardFile();
    switch (c.kind) {
      case Kind::outlierTimestamp:
        onTimeLine(b, 0, 20);
        b.packet(kHuxId, 1200 + 65536, accelAt(51200 + 100));
        onTimeLine(b, 21, 40);
        break;
      case Kind::outlierBeforePause:
      case Kind::behindAfterPause:
      case Kind::pauseAhead: {
        const bool before = c.kind == Kind::outlierBeforePause;
        onTimeLine(b, 0, 20);
        if (before) b.packet(kHuxId, 1200 + 256, accelAt(51200 + 100));
        onTimeLine(b, before ? 21 : 20, before ? 23 : 20);
        for (int k = before ? 23 : 20; k < 40; ++k) {
          uint32_t stamp = static_cast<uint32_t>(151000 + 10 * k);
          if (k == 21 && c.kind == Kind::behindAfterPause) stamp -= 4096;
          if (k == 20 && c.kind == Kind::pauseAhead) stamp += 1024;
          b.packet(kHuxId, stamp, accelAt(51200 + 76800 + 5 * k));
        }
        break;
      }
      case Kind::staleOverEdge:
      case Kind::chanceHeaderAtEdge: {
        onTimeLine(b, 0, 20);
        b.packet(kHuxId, 1195, corrupted(accelAt(51200 + 98)));
        for (int k = 20; k < 29; ++k) b.packet(kHuxId, static_cast<uint32_t>(1000 + 10 * k), accelAt(563200 + 5 * k));
        const bool chance = c.kind == Kind::chanceHeaderAtEdge;
        b.packetWithLength(chance ? 5 : kHuxId, 1290, chance ? 3 : 40, {});
        onTimeLine(b, 30, 40);
        break;
      }
      case Kind::staleBlock:
      case Kind::staleToEnd:
      case Kind::staleWithoutDamage:
        onTimeLine(b, 0, 20);
        if (c.kind != Kind::staleWithoutDamage) b.packet(kHuxId, 1195, corrupted(accelAt(51200 + 98)));
        // Ten packets of another recording: timestamps like this one's, the
        // board clock 1000 s elsewhere.
        for (int k = 20; k < 30; ++k) b.packet(kHuxId, static_cast<uint32_t>(1000 + 10 * k), accelAt(563200 + 5 * k));
        if (c.kind != Kind::staleToEnd) onTimeLine(b, 30, 40);
        break;
      case Kind::repeatedPacket: {
        onTimeLine(b, 0, 20);
        b.raw(Bytes(3, 0xFF));
        // The copy repeats the last packet (same millisecond, same counters).
        b.packet(kHuxId, 1190, accelAt(51200 + 95));
        onTimeLine(b, 20, 40);
        break;
      }
      case Kind::staleFarAhead:
        onTimeLine(b, 0, 20);
        b.raw(Bytes(3, 0xFF));
        for (int k = 20; k < 30; ++k)
          b.packet(kHuxId, static_cast<uint32_t>(151000 + 10 * k), accelAt(563200 + 5 * k));
        onTimeLine(b, 30, 40);
        break;
      case Kind::cleanCopy:
        onTimeLine(b, 0, 20);
        b.raw(Bytes(3, 0xFF));
        b.packet(kHuxId, 1200, accelAt(51200 + 90));
        onTimeLine(b, 20, 40);
        break;
      case Kind::gapOfBothClocks:
        onTimeLine(b, 0, 20);
        b.packet(kHuxId, 1195, corrupted(accelAt(51200 + 98)));
        // 30 s on, on both clocks.
        for (int k = 20; k < 40; ++k)
          b.packet(kHuxId, static_cast<uint32_t>(31000 + 10 * k), accelAt(51200 + 15360 + 5 * k));
        break;
    }
    f.file.name = f.dir.file("in.pelg");
    b.writeTo(f.file.name);
    f.file.stream = std::fopen(f.file.name.c_str(), "rb");
    ASSERT_TRUE(readHeader(f.file.header, f.file.stream));
    ASSERT_TRUE(extractHuxInfo(f.file.header));
    f.bind();
    int delivered = 0;
    while (f.reader->active) {
      if (f.next() == 1 && f.reader->huxStatus.status == 1) ++delivered;
    }
    EXPECT_EQ(delivered, c.delivered) << f.console.out();
    if (*c.line) {
      EXPECT_NE(f.console.out().find(c.line), std::string::npos) << f.console.out();
    } else {
      EXPECT_EQ(f.console.out().find("dropped"), std::string::npos) << f.console.out();
    }
    EXPECT_EQ(f.reader->lastTimestamp, c.lastTimestamp);
  }
}

// The board track's vote: counters must advance as far as the timestamps,
// modulo the 2560 s cycle, within 2 s plus 1 % of the advance.
TEST(BoardTrack, CountersMustAdvanceWithTheTimestamps) {
  constexpr int32_t m = 5120;  // interrupts per 10 s
  struct Case {
    const char* name;
    int64_t counterStep;  // interrupts the counters advanced (may wrap)
    int32_t millis;       // the timestamps' advance
    bool on;
  };
  const Case cases[] = {
      {"both still", 0, 0, true},
      {"10 ms, 5 interrupts", 5, 10, true},
      {"a small step back in the same millisecond", -3, 0, true},
      {"30 s gap on both clocks", 15360, 30000, true},
      {"across the roll-over", 256 * m - 100 + 105, 10, true},
      {"a gap spanning a roll-over", 256 * m + 1024, 2000, true},
      {"1.9 s off", 973, 0, true},
      {"2.5 s off", 1280, 0, false},
      {"counters 1000 s back", -512000, 10, false},
      {"counters 500 s ahead", 256000, 10, false},
      {"timestamps 60 s ahead, counters still", 0, 60000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BoardTrack track;
    resetBoardTrack(track, m);
    const int64_t from = 200 * m + 4000;
    followBoardTrack(track, static_cast<int32_t>(from / m), static_cast<int32_t>(from % m), 50000);
    const int64_t cycle = 256 * m;
    const int64_t to = ((from + c.counterStep) % cycle + cycle) % cycle;
    EXPECT_EQ(onBoardTrack(track, static_cast<int32_t>(to / m), static_cast<int32_t>(to % m),
                           50000 + static_cast<uint32_t>(c.millis)),
              c.on);
  }
  BoardTrack unknown;
  resetBoardTrack(unknown, m);
  EXPECT_TRUE(onBoardTrack(unknown, 7, 7, 7)) << "nothing to judge by";
  // Over an advance of 2^25 ms the tolerance spans an eighth of the cycle:
  // a timestamp with that bit flipped would agree by chance.
  BoardTrack track;
  resetBoardTrack(track, m);
  followBoardTrack(track, 200, 4000, 50000);
  EXPECT_EQ(judgeByBoardTrack(track, 200, 4005, 50010), TrackVerdict::on);
  EXPECT_EQ(judgeByBoardTrack(track, 200, 4005, 50000 + 65536), TrackVerdict::off);
  EXPECT_EQ(judgeByBoardTrack(track, 200, 4005, 50000 + (1u << 25)), TrackVerdict::cannotTell);
}
