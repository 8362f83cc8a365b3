// Random damage to valid board messages: cut short, bytes flipped, count or
// mask rewritten, bytes appended. Every payload is decoded from an exactly
// sized heap copy, so a sanitizer build reports any read beyond it.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <utility>

#include "decoder_test_util.h"
#include "pelg_builder/pelg_builder.h"

using namespace decodertest;

namespace {

class Damage {
 public:
  explicit Damage(uint32_t seed) : rng_(seed) {}

  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  bool coin() { return below(2) == 0; }
  uint8_t byte() { return static_cast<uint8_t>(below(256)); }
  uint16_t word() { return static_cast<uint16_t>(below(65536)); }
  int16_t signedWord() { return static_cast<int16_t>(word()); }

  Bytes huxMessage() {
    if (coin()) {
      std::vector<int16_t> audio(static_cast<size_t>(below(64)));
      for (int16_t& s : audio) s = signedWord();
      return pelgbuild::huxAudio(byte(), word(), audio);
    }
    pelgbuild::HuxReadings r;
    if (coin()) r.accel = std::array<int16_t, 3>{signedWord(), signedWord(), signedWord()};
    if (coin()) r.hfLight = std::pair<uint8_t, uint16_t>{byte(), word()};
    if (coin()) r.baroTemp = word();
    if (coin()) r.baroPressure = word();
    if (coin()) r.compass = word();
    if (coin()) r.visLight = byte();
    if (coin()) r.irLight = byte();
    if (coin()) r.shtTemp = word();
    if (coin()) r.humidity = word();
    return pelgbuild::huxSensor(byte(), word(), r);
  }

  Bytes tivMessage() {
    if (below(4) == 0) {
      static constexpr uint8_t kSubtypes[] = {2, 3, 4, 5, 0x80, 0x81};
      return pelgbuild::tivAux(kSubtypes[below(6)]);
    }
    pelgbuild::TivReadings r;
    if (coin())
      r.gyro = std::array<int16_t, 6>{signedWord(), signedWord(), signedWord(),
                                      signedWord(), signedWord(), signedWord()};
    if (coin()) r.magX = signedWord();
    if (coin()) r.magY = signedWord();
    if (coin()) r.magZ = signedWord();
    return pelgbuild::tivSensor(byte(), word(), r);
  }

  // Returns true when the message was left intact.
  bool damage(Bytes& m) {
    const int kind = below(6);
    if (kind == 0) return true;
    if (kind == 1 || kind == 4) m.resize(static_cast<size_t>(below(static_cast<int>(m.size()) + 1)));
    if ((kind == 2 || kind == 4) && !m.empty()) {
      for (int flips = 1 + below(3); flips > 0; --flips)
        m[static_cast<size_t>(below(static_cast<int>(m.size())))] ^= static_cast<uint8_t>(1 + below(255));
    }
    if (kind == 3 && m.size() > 3) m[3] = byte();
    if (kind == 5)
      for (int extra = 1 + below(8); extra > 0; --extra) m.push_back(byte());
    return kind == 5;
  }

  HuxCalibrationState calibration() {
    HuxCalibrationState c;
    for (auto [coefficient, limit] : {std::pair{&c.C1, 32768}, {&c.C2, 4096}, {&c.C3, 1024}, {&c.C4, 1024},
                                      {&c.C5, 2048}, {&c.C6, 64}})
      *coefficient = below(limit);
    c.interruptLimit = coin() ? 0 : 65535;
    return c;
  }

 private:
  std::mt19937 rng_;
};

// Every message is decoded a second time into buffers that keep no values,
// as the scan pass's are: outcomes and counts must come out the same, or the
// scan would size the outputs for other samples than the write pass stores.
TEST(DecoderDamage, RandomDamageStaysInsideThePayload) {
  Damage d(0x5EED2024);
  HuxStatus hux, huxCounted;
  HuxSamples huxSamples;
  HuxSamples huxCounts;
  huxCounts.valuesKept = 0;
  HuxCalibrationState calibration = d.calibration();
  HuxCalibrationState calibrationCounted = calibration;
  HuxEnables huxEnabled;
  huxEnabled.fill(true);
  TivStatus tiv, tivCounted;
  TivSamples tivSamples;
  TivSamples tivCounts;
  tivCounts.valuesKept = 0;
  TivEnables tivEnabled;
  tivEnabled.fill(true);

  int32_t huxCalls = 0, intactAccepted = 0;
  for (int i = 0; i < 200000; ++i) {
    if (i % 1000 == 0) calibrationCounted = calibration = d.calibration();
    if (i % 7 == 0) {
      bool& huxChannel = huxEnabled[static_cast<size_t>(d.below(kHuxChannelCount))];
      huxChannel = !huxChannel;
      bool& tivChannel = tivEnabled[static_cast<size_t>(d.below(kTivChannelCount))];
      tivChannel = !tivChannel;
    }
    const bool huxBoard = d.coin();
    Bytes message = huxBoard ? d.huxMessage() : d.tivMessage();
    const bool intact = d.damage(message);
    // A message sometimes reaches the other board's decoder.
    const bool crossed = d.below(8) == 0;
    const bool toHux = huxBoard != crossed;

    int32_t status = 0, accounted = 0;
    if (toHux) {
      ++huxCalls;
      decodeHux(hux, message, huxSamples, calibration, huxEnabled);
      std::tie(status, accounted) = std::tie(hux.status, hux.accounted);
      for (int32_t n : huxSamples.counts) ASSERT_LE(n, kSampleCapacity);
      decodeHux(huxCounted, message, huxCounts, calibrationCounted, huxEnabled);
      ASSERT_EQ(std::tie(huxCounted.status, huxCounted.accounted, huxCounted.channelCounts, huxCounts.present),
                std::tie(hux.status, hux.accounted, hux.channelCounts, huxSamples.present)) << i;
      ASSERT_EQ(huxCounts.counts, huxSamples.counts) << i;
      huxSamples.clear();
      huxCounts.clear();
    } else {
      const int32_t limit = d.coin() ? 0 : 65535;
      decodeTivCopy(tiv, message, tivSamples, limit, tivEnabled);
      std::tie(status, accounted) = std::tie(tiv.status, tiv.accounted);
      decodeTivCopy(tivCounted, message, tivCounts, limit, tivEnabled);
      ASSERT_EQ(std::tie(tivCounted.status, tivCounted.accounted, tivCounted.channelCounts, tivCounts.present),
                std::tie(tiv.status, tiv.accounted, tiv.channelCounts, tivSamples.present)) << i;
      ASSERT_EQ(tivCounts.counts, tivSamples.counts) << i;
      tivSamples.clear();
      tivCounts.clear();
    }
    // Status 2 (an auxiliary message) only comes from the TIV decoder.
    ASSERT_TRUE(status == 1 || status == -2 || status == -3 || (!toHux && status == 2)) << i;
    if (status > 0) {
      ASSERT_LE(accounted, static_cast<int32_t>(message.size())) << i;
    }
    if (intact && !crossed) {
      ASSERT_GT(status, 0) << i;
      ++intactAccepted;
    }
  }
  // Each HUX2 call ends in exactly one of the four outcomes.
  EXPECT_EQ(hux.unmarkedCount + hux.otherCount + hux.invalidCount + hux.validCount, huxCalls);
  EXPECT_GT(hux.validCount, 0);
  EXPECT_GT(hux.invalidCount, 0);
  EXPECT_GT(hux.unmarkedCount, 0);
  EXPECT_GT(tiv.validCount, 0);
  EXPECT_GT(tiv.invalidCount, 0);
  EXPECT_GT(tiv.otherCount, 0);
  EXPECT_GT(intactAccepted, 10000);
}

}  // namespace
