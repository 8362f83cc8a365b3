// Damaged cards through the real converter: a recording damaged the way
// reused SD cards damage files (stale blocks of an earlier recording, a
// flipped timestamp bit, a sector written twice, zeroed stretches) is
// converted and compared with the clean conversion of the same recording.
// Every reading outside the damaged bytes must come out with its clean value
// and time, nothing foreign and nothing twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/little_endian.h"
#include "output/mat_read_back.h"
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
  return testsupport::runPelgToMatlab(
      {"-outputdir", folder + "/out/", folder + "/" + kFirst, folder + "/" + kSecond});
}

// Offsets of the packet headers of a file, framed from its first packet (the
// first offset from which 50 packets chain).
std::vector<size_t> packetOffsets(const std::string& bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  auto chains = [&](size_t at, int count) {
    for (int i = 0; i < count; ++i) {
      if (at + 10 > bytes.size()) return false;
      if (readLittleEndian<uint16_t>(p + at) >= 10 || readLittleEndian<uint32_t>(p + at + 6) > 4096) return false;
      at += 10 + readLittleEndian<uint32_t>(p + at + 6);
    }
    return true;
  };
  size_t at = 0;
  while (!chains(at, 50)) ++at;
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

int countLines(const std::string& out, const std::string& needle) {
  int n = 0;
  for (size_t at = out.find(needle); at != std::string::npos; at = out.find(needle, at + 1)) ++n;
  return n;
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

}  // namespace
