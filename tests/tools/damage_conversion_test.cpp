// Damaged cards through the real converter: a recording damaged the way
// reused SD cards damage files (stale blocks of an earlier recording, a
// flipped timestamp bit, a sector written twice, zeroed stretches) is
// converted and compared with the clean conversion of the same recording.
// Every reading outside the damaged bytes must come out with its clean value
// and time, nothing foreign and nothing twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/damage_counts.h"
#include "common/little_endian.h"
#include "file_scan.h"
#include "output/mat_read_back.h"
#include "pelg_builder/pelg_builder.h"
#include "support/test_support.h"

namespace {

using testsupport::RunResult;
using testsupport::TempDir;

constexpr const char* kFirst = "recording_001.pelg";
constexpr const char* kSecond = "recording_002.pelg";

// A 15 min recording in two files, both boards and GPS; `timeCounter` sets
// the boards' clocks.
void simulate(const std::string& folder, const char* seed, const char* timeCounter) {
  ASSERT_EQ(testsupport::runProgram({PELGSIM_BIN, "-q", "-o", folder, "--duration", "900", "--files", "2", "--tiv",
                                     "--sirf", "--seed", seed, "--time-counter", timeCounter})
                .status,
            0);
}

RunResult convert(const std::string& folder) {
  std::filesystem::create_directories(folder + "/out");
  return testsupport::runPelgToMatlab({"-jsonReport", folder + "/out/report.json", "-outputdir", folder + "/out/",
                                       folder + "/" + kFirst, folder + "/" + kSecond});
}

int countLines(const std::string& out, const std::string& needle) {
  int n = 0;
  for (size_t at = out.find(needle); at != std::string::npos; at = out.find(needle, at + 1)) ++n;
  return n;
}

// The console line of each kind of damage, in the kinds' order.
constexpr const char* kDamageLines[kDamageKinds] = {
    "looking for new pelg packet", "Packet CRC invalid", "not enough data left to read length",
    "ms ahead of the packets around it", "dropped as foreign data", "(a duplicated sector): dropped",
    "PELG Packet's timestamp jumped ahead"};

// The run's report counts each kind of damage as often as the console shows
// it in a pass, and file by file as pelginfo counts the recording.
void expectReportCountsTheDamage(const std::string& folder, const std::string& out) {
  const nlohmann::json report = testsupport::readJson(folder + "/out/report.json");
  ASSERT_TRUE(report.is_object());
  ASSERT_EQ(report["files"].size(), 2u);
  for (int k = 0; k < kDamageKinds; ++k) {
    const char* kind = kDamageKindNames[static_cast<size_t>(k)];
    int64_t events = 0;
    for (const nlohmann::json& file : report["files"]) events += file["damage"][kind]["events"].get<int64_t>();
    EXPECT_EQ(2 * events, countLines(out, kDamageLines[k])) << kind;
  }
  testsupport::CapturedConsole quiet;
  InputOpener opener(quiet.console());
  BoardsCarried carried;
  for (const nlohmann::json& file : report["files"]) {
    FileScan scan = scanFile(file["name"].get<std::string>(), opener, false);
    countFile(scan, opener, &carried);
    for (int k = 0; k < kDamageKinds; ++k) {
      const nlohmann::json& counted = file["damage"][kDamageKindNames[static_cast<size_t>(k)]];
      const DamageCount& c = scan.damage.byKind[static_cast<size_t>(k)];
      EXPECT_EQ(std::vector<int64_t>({c.events, c.bytes, c.packets}),
                std::vector<int64_t>({counted["events"], counted["bytes"], counted["packets"]}))
          << file["name"] << " " << kDamageKindNames[static_cast<size_t>(k)];
    }
  }
}

// Offsets of the packet headers of a file, framed from the end of its
// header: global entries, then device blocks of entries, each entry a tag,
// a type byte, its length and its value.
std::vector<size_t> packetOffsets(const std::string& bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t at = 16;
  const uint32_t globals = readLittleEndian<uint32_t>(p + at);
  at += 4;
  for (uint32_t i = 0; i < globals; ++i) at += 9 + readLittleEndian<uint32_t>(p + at + 5);
  const uint32_t devices = readLittleEndian<uint32_t>(p + at);
  at += 4;
  for (uint32_t d = 0; d < devices; ++d) {
    const uint32_t entries = readLittleEndian<uint32_t>(p + at + 12);
    at += 16;
    for (uint32_t i = 0; i < entries; ++i) at += 9 + readLittleEndian<uint32_t>(p + at + 5);
  }
  std::vector<size_t> offsets;
  for (; at + 10 <= bytes.size(); at += 10 + readLittleEndian<uint32_t>(p + at + 6)) offsets.push_back(at);
  return offsets;
}

// One channel's readings in dataOut: (time, value) pairs.
using Readings = std::vector<std::pair<double, double>>;

Readings readings(const std::string& folder, const char* timeField, const char* valueField) {
  const auto dataOut = readback::load(folder + "/out/dataOut.mat", "dataOut");
  const std::vector<double> t = readback::doubles(readback::field(dataOut.get(), timeField));
  const std::vector<double> v = readback::doubles(readback::field(dataOut.get(), valueField));
  Readings r;
  for (size_t i = 0; i < t.size() && i < v.size(); ++i) r.emplace_back(t[i], v[i]);
  return r;
}

size_t rows(const std::string& folder, const char* field) {
  const auto completeData = readback::load(folder + "/out/completeData.mat", "completeData");
  return readback::shape(readback::field(completeData.get(), field)).rows;
}

struct Damage {
  const char* name;
  // Changes the first file's bytes; `stale` is the same file of an earlier
  // recording on the card (other board clocks), `ahead` one whose clocks run
  // ahead of this recording's.
  void (*apply)(std::string& bytes, const std::string& stale, const std::string& ahead);
  const char* warning;  // a line the damage must give ("" for none)
  size_t maxLost;       // accelerometer readings that may be lost
};

size_t middle(const std::string& bytes) { return bytes.size() / 2 / 4096 * 4096; }

// The timestamp of a packet a third into the file whose bit 16 is clear, so
// that flipping it moves the timestamp ahead.
size_t timestampToFlip(const std::string& bytes) {
  const std::vector<size_t> offsets = packetOffsets(bytes);
  for (size_t i = offsets.size() / 3;; ++i) {
    const size_t at = offsets[i] + 2;
    if ((readLittleEndian<uint32_t>(reinterpret_cast<const uint8_t*>(bytes.data()) + at) & 0x10000u) == 0) return at;
  }
}

const Damage kDamages[] = {
    {"stale 4096-byte block",
     [](std::string& b, const std::string& stale, const std::string&) {
       b.replace(middle(b), 4096, stale.substr(middle(b), 4096));
     },
     "lie off this recording's time line: dropped as foreign data, reading on at", 20},
    {"stale second half",
     [](std::string& b, const std::string& stale, const std::string&) {
       b.replace(middle(b), std::string::npos, stale.substr(middle(b)));
     },
     "to the end of the file whose board counters lie off", 22600},
    {"stale second half with clocks ahead",
     [](std::string& b, const std::string&, const std::string& ahead) {
       b.replace(middle(b), std::string::npos, ahead.substr(middle(b)));
     },
     "to the end of the file whose board counters lie off", 22600},
    {"timestamp bit 16 flipped",
     [](std::string& b, const std::string&, const std::string&) {
       const size_t at = timestampToFlip(b);
       b[at + 2] = static_cast<char>(b[at + 2] ^ 0x01);
     },
     "ms ahead of the packets around it: the packet is kept, its timestamp is not", 0},
    {"timestamp bits 13, 15 and 16 flipped",
     [](std::string& b, const std::string&, const std::string&) {
       const size_t at = timestampToFlip(b);
       b[at + 1] = static_cast<char>(b[at + 1] ^ 0xA0);
       b[at + 2] = static_cast<char>(b[at + 2] ^ 0x01);
     },
     "", 2},
    {"sector written twice",
     [](std::string& b, const std::string&, const std::string&) {
       // A sector whose copy holds a packet of the same millisecond as the last.
       const size_t at = middle(b) + 512 * 12;
       b.insert(at + 512, b.substr(at, 512));
     },
     "repeats one read shortly before (a duplicated sector): dropped", 0},
    {"zeroed sector", [](std::string& b, const std::string&, const std::string&) { b.replace(middle(b), 512, 512, '\0'); },
     "", 4},
    {"zeroed block", [](std::string& b, const std::string&, const std::string&) { b.replace(middle(b), 4096, 4096, '\0'); },
     "", 20},
};

TEST(DamageConversion, DamageCostsOnlyTheDamagedBytes) {
  TempDir dir;
  const std::string clean = dir.file("clean"), stale = dir.file("stale"), ahead = dir.file("ahead");
  simulate(clean, "1", "20");
  simulate(stale, "7", "5");
  simulate(ahead, "7", "150");
  const RunResult reference = convert(clean);
  ASSERT_EQ(reference.status, 0);
  const Readings cleanAccel = readings(clean, "accelTime", "accelX");
  const Readings cleanGyro = readings(clean, "gyroTime", "gyroX");
  const std::set<std::pair<double, double>> cleanAccelSet(cleanAccel.begin(), cleanAccel.end());
  const size_t cleanRows = rows(clean, "accel");
  const int64_t cleanFrames = testsupport::wavFrames(clean + "/out/completeSensorAudio.wav");
  const std::string first = testsupport::readFile(clean + "/" + kFirst);

  for (const Damage& d : kDamages) {
    SCOPED_TRACE(d.name);
    const std::string folder = dir.file(std::string("damaged_") + std::to_string(&d - kDamages));
    std::filesystem::create_directories(folder);
    std::string bytes = first;
    d.apply(bytes, testsupport::readFile(stale + "/" + kFirst), testsupport::readFile(ahead + "/" + kFirst));
    testsupport::writeFile(folder + "/" + kFirst, bytes);
    std::filesystem::copy_file(clean + "/" + kSecond, folder + "/" + kSecond);

    const RunResult r = convert(folder);
    ASSERT_EQ(r.status, 0) << r.out.substr(r.out.size() > 4000 ? r.out.size() - 4000 : 0);
    EXPECT_EQ(countLines(r.out, "Algorithm error"), 0);
    EXPECT_EQ(countLines(r.out, "exceeds expected amount"), 0);
    if (*d.warning) {
      EXPECT_EQ(countLines(r.out, d.warning), 2) << "once in each pass";
    }
    expectReportCountsTheDamage(folder, r.out);

    const Readings accel = readings(folder, "accelTime", "accelX");
    size_t foreign = 0;
    for (const auto& reading : accel) foreign += cleanAccelSet.count(reading) == 0;
    EXPECT_EQ(foreign, 0u) << "readings not in the clean conversion";
    EXPECT_LE(cleanAccel.size() - accel.size(), d.maxLost);
    EXPECT_TRUE(std::adjacent_find(accel.begin(), accel.end(), [](const auto& a, const auto& b) {
                  return a.first >= b.first;
                }) == accel.end())
        << "accelerometer times step back or repeat";
    const Readings gyro = readings(folder, "gyroTime", "gyroX");
    EXPECT_LE(cleanGyro.size() - gyro.size(), d.maxLost);

    // Each stretch without packets keeps one sample of slack, as a gap does.
    EXPECT_NEAR(static_cast<double>(rows(folder, "accel")), static_cast<double>(cleanRows), 1.0);
    EXPECT_NEAR(static_cast<double>(testsupport::wavFrames(folder + "/out/completeSensorAudio.wav")),
                static_cast<double>(cleanFrames), 1.0);
  }
}

// Damage where it meets a decision of the time line: a logger pause, a
// roll-over of the boards' time counters, a gap, the start of a file. Each
// recording is made by pelgsim with the logger's clock drifting and stamping
// in batches (the seed's), damaged at such a place and converted; the
// conversion must end with status 0, lose no more readings than the damaged
// packets held, and put every reading it keeps within one sample of the same
// reading in the clean conversion.

// The subtype of a HUX2 audio message; its count byte gives its samples.
constexpr uint8_t kAudioSubtype = 8;

// A packet of a file as its header frames it; the counters of its board
// message, when it carries one.
struct Packet {
  size_t at = 0;
  uint16_t id = 0;
  uint32_t timestamp = 0;
  uint32_t length = 0;
  int timeCounter = -1;
  int interruptCounter = -1;
  size_t audio = 0;  // microphone samples it carries
  size_t end() const { return at + 10 + length; }
  bool board() const { return timeCounter >= 0; }
};

std::vector<Packet> framedPackets(const std::string& bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  std::vector<Packet> packets;
  for (const size_t at : packetOffsets(bytes)) {
    Packet k;
    k.at = at;
    k.id = readLittleEndian<uint16_t>(p + at);
    k.timestamp = readLittleEndian<uint32_t>(p + at + 2);
    k.length = readLittleEndian<uint32_t>(p + at + 6);
    if (k.end() > bytes.size()) break;
    const uint8_t* payload = p + at + 10;
    if ((k.id == pelgbuild::kHuxId || k.id == pelgbuild::kTivId) && k.length >= 8 && payload[0] == '#' &&
        payload[1] == '|') {
      k.timeCounter = payload[4];
      k.interruptCounter = readLittleEndian<uint16_t>(payload + 5);
      if (k.id == pelgbuild::kHuxId && payload[2] == kAudioSubtype) k.audio = payload[3];
    }
    packets.push_back(k);
  }
  return packets;
}

// What damaged packets held, as a bound on what their damage may cost: each
// board packet carries at most one reading of a sensor channel, and an audio
// message its samples.
struct Held {
  size_t hux = 0, tiv = 0, audio = 0;
  void add(const Packet& k) {
    hux += k.id == pelgbuild::kHuxId && k.board();
    tiv += k.id == pelgbuild::kTivId && k.board();
    audio += k.audio;
  }
};

// What the packets whose bytes meet [from, to) held.
Held heldIn(const std::vector<Packet>& packets, size_t from, size_t to) {
  Held held;
  for (const Packet& k : packets)
    if (k.at < to && k.end() > from) held.add(k);
  return held;
}

// The places where the time line decides: the first packet after a jump of
// the timestamps of more than `jumpMs`, the first HUX2 message after its
// time counter rolled over from 255 to 0.
size_t firstAfterJump(const std::vector<Packet>& packets, uint32_t jumpMs) {
  for (size_t i = 1; i < packets.size(); ++i)
    if (packets[i].timestamp - packets[i - 1].timestamp > jumpMs) return i;
  return 0;
}

size_t firstAfterRollover(const std::vector<Packet>& packets) {
  int last = -1;
  for (size_t i = 0; i < packets.size(); ++i) {
    if (packets[i].id != pelgbuild::kHuxId || !packets[i].board()) continue;
    if (last == 255 && packets[i].timeCounter == 0) return i;
    last = packets[i].timeCounter;
  }
  return 0;
}

// The next board packet of the HUX2 board from packet i on.
size_t nextHux(const std::vector<Packet>& packets, size_t i) {
  while (i < packets.size() && !(packets[i].id == pelgbuild::kHuxId && packets[i].board())) ++i;
  return i;
}

// A wrong checksum: the message's last byte.
void corruptMessage(std::string& bytes, const Packet& k) { bytes[k.end() - 1] = static_cast<char>(bytes[k.end() - 1] ^ 0x5A); }

void setTimestamp(std::string& bytes, const Packet& k, uint32_t timestamp) {
  for (int i = 0; i < 4; ++i) bytes[k.at + 2 + static_cast<size_t>(i)] = static_cast<char>(timestamp >> (8 * i));
}

// What a clean conversion gave, to compare damaged ones with.
struct CleanConversion {
  std::string folder;
  Readings accel, gyro;  // sorted by time
  size_t rows = 0;
  std::vector<int16_t> audio;
  std::string console;
};

CleanConversion convertClean(const std::string& folder) {
  CleanConversion clean;
  clean.folder = folder;
  const RunResult r = convert(folder);
  EXPECT_EQ(r.status, 0) << r.out;
  clean.console = r.out;
  clean.accel = readings(folder, "accelTime", "accelX");
  clean.gyro = readings(folder, "gyroTime", "gyroX");
  clean.rows = rows(folder, "accel");
  clean.audio = testsupport::wavSamples(folder + "/out/completeSensorAudio.wav");
  return clean;
}

// Readings that are not within one sample (`period` seconds) of a clean
// reading of the same value.
size_t misplaced(const Readings& clean, const Readings& damaged, double period) {
  size_t n = 0;
  for (const auto& [t, v] : damaged) {
    auto it = std::lower_bound(clean.begin(), clean.end(), std::make_pair(t - period * 1.001, -1e300));
    bool found = false;
    for (; it != clean.end() && it->first <= t + period * 1.001 && !found; ++it) found = it->second == v;
    n += !found;
  }
  return n;
}

// Audio frames of the damaged WAV file that equal no clean frame within two
// places of theirs (the slack of two fills).
size_t audioAway(const std::vector<int16_t>& clean, const std::vector<int16_t>& damaged) {
  constexpr long kSlack = 2;
  size_t away = 0;
  for (size_t i = 0; i < damaged.size(); ++i) {
    bool near = false;
    for (long j = static_cast<long>(i) - kSlack; j <= static_cast<long>(i) + kSlack && !near; ++j)
      near = j >= 0 && j < static_cast<long>(clean.size()) && clean[static_cast<size_t>(j)] == damaged[i];
    away += !near;
  }
  return away;
}

// The three measures against the clean conversion: no more readings lost
// than the damaged packets `held`, every reading kept within one sample of
// its clean time, and completeData and the WAV file as long (within the
// slack a new stretch without packets keeps). The WAV frames must match the
// clean ones but for the damaged packets' samples. Returns the conversion's
// console text.
std::string expectAsClean(const CleanConversion& clean, const std::string& folder, const Held& held) {
  const RunResult r = convert(folder);
  EXPECT_EQ(r.status, 0) << r.out.substr(r.out.size() > 4000 ? r.out.size() - 4000 : 0);
  if (r.status != 0) return r.out;
  EXPECT_EQ(countLines(r.out, "Algorithm error"), 0);
  const Readings accel = readings(folder, "accelTime", "accelX");
  const Readings gyro = readings(folder, "gyroTime", "gyroX");
  EXPECT_EQ(misplaced(clean.accel, accel, 0.01), 0u) << "accelerometer readings away from their clean times";
  EXPECT_EQ(misplaced(clean.gyro, gyro, 0.01), 0u) << "gyroscope readings away from their clean times";
  EXPECT_LE(static_cast<double>(clean.accel.size()) - static_cast<double>(accel.size()), static_cast<double>(held.hux));
  EXPECT_LE(static_cast<double>(clean.gyro.size()) - static_cast<double>(gyro.size()), static_cast<double>(held.tiv));
  EXPECT_GE(clean.accel.size() + 1, accel.size()) << "readings twice";
  // A stretch the damage emptied keeps one sample of slack, as a gap does.
  EXPECT_NEAR(static_cast<double>(rows(folder, "accel")), static_cast<double>(clean.rows), 1.0);
  const std::vector<int16_t> audio = testsupport::wavSamples(folder + "/out/completeSensorAudio.wav");
  EXPECT_NEAR(static_cast<double>(audio.size()), static_cast<double>(clean.audio.size()), 1.0);
  EXPECT_LE(audioAway(clean.audio, audio), held.audio + 1) << "audio samples away from their clean places";
  expectReportCountsTheDamage(folder, r.out);
  return r.out;
}

// A 600 s recording of both boards and GPS in two files, with `layout`
// placing its pauses, gaps and roll-overs.
void simulateLayout(const std::string& folder, const std::string& seed, const std::vector<std::string>& layout) {
  std::vector<std::string> args = {PELGSIM_BIN, "-q", "-o", folder, "--duration", "600", "--files", "2",
                                   "--tiv", "--sirf", "--seed", seed};
  args.insert(args.end(), layout.begin(), layout.end());
  ASSERT_EQ(testsupport::runProgram(args).status, 0);
}

// The recording's two files, as bytes, to damage.
struct Recording {
  std::string first, second;
  std::vector<Packet> firstPackets, secondPackets;
};

Recording loadRecording(const std::string& folder) {
  Recording r;
  r.first = testsupport::readFile(folder + "/" + kFirst);
  r.second = testsupport::readFile(folder + "/" + kSecond);
  r.firstPackets = framedPackets(r.first);
  r.secondPackets = framedPackets(r.second);
  return r;
}

void writeRecording(const std::string& folder, const Recording& r) {
  std::filesystem::create_directories(folder);
  testsupport::writeFile(folder + "/" + kFirst, r.first);
  testsupport::writeFile(folder + "/" + kSecond, r.second);
}

struct TimeLineDamage {
  const char* name;
  std::vector<std::string> layout;  // pelgsim options
  // Damages the recording (`stale` is another recording on the card) and
  // returns what the damaged packets held.
  Held (*apply)(Recording& r, const Recording& stale);
  const char* warning;  // a line the conversion must give ("" for none)
};

const TimeLineDamage kTimeLineDamages[] = {
    // The block begins inside a packet header, so that the hunt comes upon
    // the stale packets without a failed checksum before them.
    {"1: stale 4096-byte block whose timestamps lie 150 s ahead", {},
     [](Recording& r, const Recording& stale) {
       const auto k = std::find_if(r.firstPackets.begin(), r.firstPackets.end(),
                                   [&](const Packet& p) { return p.at >= r.first.size() / 4; });
       const size_t at = k->at + 3, from = stale.first.size() * 3 / 4 / 4096 * 4096;
       r.first.replace(at, 4096, stale.first.substr(from, 4096));
       return heldIn(r.firstPackets, at, at + 4096);
     },
     "PELG Error mode"},
    {"2: bit flip in the timestamp of the second packet after a gap holding a roll-over",
     {"--gap-at", "200", "--gap-length", "50", "--rollover-at", "220"},
     [](Recording& r, const Recording&) {
       const Packet& k = r.firstPackets[firstAfterJump(r.firstPackets, 40000) + 1];
       uint32_t bit = 1u << 15;
       while ((k.timestamp & bit) == 0) bit >>= 1;
       setTimestamp(r.first, k, k.timestamp & ~bit);
       return heldIn(r.firstPackets, k.at, k.end());
     },
     "bridged as 1 roll-over(s) of the time counter inside a gap"},
    // A bit cleared that puts it 16 s or more back into the gap, still ahead
    // of the packet before the gap: its counters agree with the next packet.
    {"2: bit flip in the timestamp of the first packet after a gap holding a roll-over",
     {"--gap-at", "200", "--gap-length", "50", "--rollover-at", "220"},
     [](Recording& r, const Recording&) {
       const Packet& k = r.firstPackets[firstAfterJump(r.firstPackets, 40000)];
       uint32_t bit = 1u << 14;
       while ((k.timestamp & bit) == 0 && bit < (1u << 15)) bit <<= 1;
       EXPECT_NE(k.timestamp & bit, 0u) << "no bit for 16 or 32 s";
       setTimestamp(r.first, k, k.timestamp & ~bit);
       return heldIn(r.firstPackets, k.at, k.end());
     },
     "ahead of the packets around it"},
    {"3: zeroed block straddling a 255-to-0 roll-over", {"--rollover-at", "150"},
     [](Recording& r, const Recording&) {
       const size_t at = r.firstPackets[firstAfterRollover(r.firstPackets)].at - 2048;
       r.first.replace(at, 4096, 4096, '\0');
       return heldIn(r.firstPackets, at, at + 4096);
     },
     "This will be treated as a wrap around event"},
    // Damage beginning inside a message can leave it passing its 8-bit
    // checksum by chance, with its interrupt counter zeroed: its counters
    // lie behind its board's, and damaged bytes follow it.
    {"3: zeroed bytes from inside a message that still passes its checksum, before a roll-over",
     {"--rollover-at", "150"},
     [](Recording& r, const Recording&) {
       size_t i = firstAfterRollover(r.firstPackets);
       for (int back = 0; back < 4; ++back) do --i; while (!r.firstPackets[i].board());
       const Packet& k = r.firstPackets[i];
       const size_t message = k.at + 10, checksum = message + k.length - 1;
       r.first.replace(message + 5, 2, 2, '\0');
       uint8_t sum = 0;
       for (size_t b = message + 2; b < checksum; ++b) sum = static_cast<uint8_t>(sum + r.first[b]);
       r.first[checksum] = static_cast<char>(sum);
       r.first.replace(k.end(), 512, 512, '\0');
       Held held = heldIn(r.firstPackets, k.end(), k.end() + 512);
       held.add(k);
       return held;
     },
     "dropped as foreign data"},
    {"3: bad checksums on both sides of a 255-to-0 roll-over", {"--rollover-at", "150"},
     [](Recording& r, const Recording&) {
       size_t i = firstAfterRollover(r.firstPackets);
       for (int back = 0; back < 3; ++back)
         do --i; while (!(r.firstPackets[i].id == pelgbuild::kHuxId && r.firstPackets[i].board()));
       Held held;
       for (int n = 0; n < 6; ++n, i = nextHux(r.firstPackets, i + 1)) {
         corruptMessage(r.first, r.firstPackets[i]);
         held.add(r.firstPackets[i]);
       }
       return held;
     },
     "HUX2 Packet CRC invalid"},
    // Zeroes from the third packet on, up to a short HUX2 message early
    // enough that one byte before it reads as a header whose timestamp (its
    // own times 256) lies within 100 s.
    {"4: zeroed bytes in the first 0.4 s of a later file", {},
     [](Recording& r, const Recording&) {
       const std::vector<Packet>& p = r.secondPackets;
       size_t i = 3;
       while (i < p.size() && !(p[i].id == pelgbuild::kHuxId && p[i].length <= 16 && p[i].timestamp >= 100)) ++i;
       EXPECT_LE(p[i].timestamp, 390u) << "no short message early in the file";
       r.second.replace(p[2].at, p[i].at - p[2].at, p[i].at - p[2].at, '\0');
       return heldIn(p, p[2].at, p[i].at);
     },
     "PELG Error mode"},
    {"5: bad checksums in the two packets after a 150 s pause", {"--gap-at", "100", "--gap-length", "150"},
     [](Recording& r, const Recording&) {
       const size_t i = firstAfterJump(r.firstPackets, 100000);
       Held held;
       for (size_t k = i + 1; k < i + 3; ++k) {
         corruptMessage(r.first, r.firstPackets[k]);
         held.add(r.firstPackets[k]);
       }
       return held;
     },
     "and the packets that follow continue from it"},
    // A sector copy that begins 6 bytes into a header joins that packet's id
    // and timestamp to the copied packet's length and message: it frames
    // cleanly, no damage comes before it, and its message lies behind.
    {"5: a sector written twice, 6 bytes into a header, after a 150 s pause", {"--gap-at", "100", "--gap-length", "150"},
     [](Recording& r, const Recording&) {
       const std::vector<Packet>& p = r.firstPackets;
       for (size_t i = firstAfterJump(p, 100000) + 1; i < p.size(); ++i) {
         const auto q = std::find_if(p.begin(), p.end(), [&](const Packet& k) { return k.at + 512 == p[i].at; });
         if (q == p.end() || !q->board()) continue;
         r.first.insert(p[i].at + 6, r.first.substr(q->at + 6, 512));
         return Held{};
       }
       ADD_FAILURE() << "no packet 512 bytes after another";
       return Held{};
     },
     ""},
    {"6: bad checksum, then a packet whose timestamp alone is 32 s ahead", {},
     [](Recording& r, const Recording&) {
       size_t i = nextHux(r.firstPackets, r.firstPackets.size() / 2);
       while ((r.firstPackets[i + 1].timestamp & (1u << 15)) != 0 || !r.firstPackets[i + 1].board())
         i = nextHux(r.firstPackets, i + 1);
       corruptMessage(r.first, r.firstPackets[i]);
       setTimestamp(r.first, r.firstPackets[i + 1], r.firstPackets[i + 1].timestamp | (1u << 15));
       Held held;
       held.add(r.firstPackets[i]);
       return held;
     },
     "the packet is kept, its timestamp is not"},
    {"7: a later file that begins with the last packets of the file before, its start 0.9 s late", {},
     [](Recording& r, const Recording&) {
       // The tail from the TIV board's last message but one: both boards
       // begin the next file a few interrupts behind.
       const Packet& first = r.secondPackets.front();
       size_t from = r.firstPackets.size();
       for (int tiv = 0; tiv < 2;) tiv += r.firstPackets[--from].id == pelgbuild::kTivId;
       std::string tail = r.first.substr(r.firstPackets[from].at);
       for (size_t at = 0; at < tail.size(); at += 10 + readLittleEndian<uint32_t>(
                                                             reinterpret_cast<const uint8_t*>(tail.data()) + at + 6))
         for (int i = 0; i < 4; ++i) tail[at + 2 + static_cast<size_t>(i)] = static_cast<char>(first.timestamp >> (8 * i));
       r.second.insert(first.at, tail);
       const uint64_t start = readLittleEndian<uint64_t>(reinterpret_cast<const uint8_t*>(r.second.data()) + 8) + 900;
       for (int i = 0; i < 8; ++i) r.second[8 + static_cast<size_t>(i)] = static_cast<char>(start >> (8 * i));
       return Held{};
     },
     "repeat that file and are dropped"},
};

TEST(DamageConversion, DamageWhereItMeetsTheTimeLineCostsOnlyItsBytes) {
  TempDir dir;
  for (const TimeLineDamage& d : kTimeLineDamages) {
    SCOPED_TRACE(d.name);
    const std::string tag = std::to_string(&d - kTimeLineDamages);
    const std::string clean = dir.file("clean" + tag), stale = dir.file("stale" + tag);
    simulateLayout(clean, "3", d.layout);
    simulateLayout(stale, "8", {"--time-counter", "40"});
    const CleanConversion reference = convertClean(clean);
    Recording damaged = loadRecording(clean);
    const Held held = d.apply(damaged, loadRecording(stale));
    const std::string folder = dir.file("damaged" + tag);
    writeRecording(folder, damaged);
    const std::string out = expectAsClean(reference, folder, held);
    if (*d.warning) {
      EXPECT_GE(countLines(out, d.warning), 1);
    }
  }
}

// A seeded sweep: recordings damaged at random places next to a logger
// pause, a gap holding a roll-over, a roll-over between packets and the
// start of a later file, by zeroed blocks, stale blocks of another recording
// whose clocks lie behind or ahead, flipped bits in a timestamp or a payload
// and sectors written twice; each is held to the three measures against its
// clean conversion. The clean conversions themselves, with the logger's clock
// drifting and stamping in batches as the seeds choose, must give no damage
// warning. PELG_DAMAGE_SWEEP sets the number of damaged recordings,
// PELG_DAMAGE_SWEEP_SEED the seed that places them.
struct SweepLayout {
  std::vector<std::string> args;
  // The places of the time line's decisions: (file, packet index).
  std::vector<std::pair<int, size_t>> (*places)(const Recording& r);
};

const SweepLayout kSweepLayouts[] = {
    // A 150 s pause in the first file, a roll-over between packets in the second.
    {{"--gap-at", "100", "--gap-length", "150", "--rollover-at", "450"},
     [](const Recording& r) {
       return std::vector<std::pair<int, size_t>>{{0, firstAfterJump(r.firstPackets, 100000)},
                                                  {1, firstAfterRollover(r.secondPackets)},
                                                  {1, 0}};
     }},
    // A 50 s gap holding a roll-over in the first file.
    {{"--gap-at", "60", "--gap-length", "50", "--rollover-at", "80"},
     [](const Recording& r) {
       return std::vector<std::pair<int, size_t>>{{0, firstAfterJump(r.firstPackets, 40000)}, {1, 0}};
     }},
};

constexpr const char* kDamageWarnings[] = {
    "PELG Error mode", "CRC invalid", "is invalid", "ahead of the packets around it", "dropped as foreign",
    "duplicated sector", "moved backwards", "repeat that file", "not enough data left"};

TEST(DamageConversion, SeededSweepNearTheTimeLinesDecisions) {
  const char* count = std::getenv("PELG_DAMAGE_SWEEP");
  const int cases = count ? std::atoi(count) : 16;
  TempDir dir;
  const std::string staleFolder = dir.file("stale");
  simulateLayout(staleFolder, "8", {"--time-counter", "40"});
  const Recording stale = loadRecording(staleFolder);

  struct Base {
    CleanConversion clean;
    Recording recording;
    std::vector<std::pair<int, size_t>> places;
  };
  std::vector<Base> bases;
  for (const SweepLayout& layout : kSweepLayouts) {
    for (const char* seed : {"11", "12"}) {
      const std::string folder = dir.file("clean" + std::to_string(bases.size()));
      simulateLayout(folder, seed, layout.args);
      Base base{convertClean(folder), loadRecording(folder), {}};
      base.places = layout.places(base.recording);
      for (const char* warning : kDamageWarnings)
        EXPECT_EQ(countLines(base.clean.console, warning), 0) << "clean recording " << folder << ": " << warning;
      bases.push_back(std::move(base));
    }
  }

  const char* sweepSeed = std::getenv("PELG_DAMAGE_SWEEP_SEED");
  std::mt19937_64 rng(sweepSeed ? std::strtoull(sweepSeed, nullptr, 10) : 20);
  auto uniform = [&](int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng); };
  const char* kinds[] = {"zeroed block", "stale block behind", "stale block ahead", "timestamp bit",
                         "payload bit", "sector twice"};
  for (int c = 0; c < cases; ++c) {
    const Base& base = bases[static_cast<size_t>(uniform(0, static_cast<int64_t>(bases.size()) - 1))];
    const auto [file, index] = base.places[static_cast<size_t>(uniform(0, static_cast<int64_t>(base.places.size()) - 1))];
    const int kind = static_cast<int>(uniform(0, 5));
    Recording damaged = base.recording;
    std::string& bytes = file == 0 ? damaged.first : damaged.second;
    const std::vector<Packet>& packets = file == 0 ? damaged.firstPackets : damaged.secondPackets;
    const std::string& staleBytes = file == 0 ? stale.first : stale.second;
    const size_t first = packets.front().at;
    const size_t place = packets[index].at;
    auto near = [&](int64_t spread) {
      return static_cast<size_t>(std::clamp<int64_t>(static_cast<int64_t>(place) + uniform(-spread, spread),
                                                     static_cast<int64_t>(first), static_cast<int64_t>(bytes.size()) - 8192));
    };
    Held held;
    std::string what = std::string(kinds[kind]) + " in file " + std::to_string(file + 1);
    switch (kind) {
      case 0: {
        const size_t at = near(3000), length = static_cast<size_t>(uniform(256, 4096));
        bytes.replace(at, length, length, '\0');
        held = heldIn(packets, at, at + length);
        what += " at " + std::to_string(at) + ", " + std::to_string(length) + " bytes";
        break;
      }
      case 1:
      case 2: {
        // Sectors, but never the file's header.
        const size_t at = std::max(first, near(3000) / 512 * 512), length = 512 * static_cast<size_t>(uniform(1, 8));
        const int64_t shift = uniform(20000, static_cast<int64_t>(staleBytes.size()) / 3) * (kind == 1 ? -1 : 1);
        const auto from = static_cast<size_t>(std::clamp<int64_t>(static_cast<int64_t>(at) + shift, 0,
                                                                  static_cast<int64_t>(staleBytes.size() - length)));
        bytes.replace(at, length, staleBytes.substr(from, length));
        held = heldIn(packets, at, at + length);
        what += " at " + std::to_string(at) + ", " + std::to_string(length) + " bytes from " + std::to_string(from);
        break;
      }
      case 3:
      case 4: {
        const auto k = static_cast<size_t>(std::clamp<int64_t>(static_cast<int64_t>(index) + uniform(-3, 3), 0,
                                                               static_cast<int64_t>(packets.size()) - 1));
        const Packet& packet = packets[k];
        const size_t bit = static_cast<size_t>(uniform(0, kind == 3 ? 31 : 8 * packet.length - 1));
        const size_t at = packet.at + (kind == 3 ? 2 : 10) + bit / 8;
        bytes[at] = static_cast<char>(bytes[at] ^ (1 << (bit % 8)));
        held.add(packet);
        what += " packet " + std::to_string(k) + " bit " + std::to_string(bit);
        break;
      }
      default: {
        const size_t at = std::max(first, near(3000) / 512 * 512);
        bytes.insert(at + 512, bytes.substr(at, 512));
        held = heldIn(packets, at, at + 513);
        what += " at " + std::to_string(at);
        break;
      }
    }
    SCOPED_TRACE("case " + std::to_string(c) + ": " + what + ", clean " + base.clean.folder);
    const std::string folder = dir.file("damaged" + std::to_string(c));
    writeRecording(folder, damaged);
    expectAsClean(base.clean, folder, held);
    // A long sweep would otherwise hold some 25 MB per case until it ends.
    std::filesystem::remove_all(folder);
  }
}

}  // namespace
