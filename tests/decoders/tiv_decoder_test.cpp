#include "decoders/tiv_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder_test_util.h"
#include "pelg_builder/pelg_builder.h"

// Readings are written with designated initializers naming only the fields a
// message carries; the others stay empty on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace decodertest;
using pelgbuild::TivReadings;
using pelgbuild::tivAux;
using pelgbuild::tivSensor;

namespace {

using Gyro = std::array<int16_t, 6>;

class TivDecoderTest : public DecoderTest<kTivChannelCount> {
 protected:
  void decode(const Bytes& payload) {
    status.status = kDecodeNone;
    decodeTivCopy(status, payload, samples, interruptLimit, enabled);
  }
  // Starts a case afresh, with no sample left from an earlier one.
  void reset() {
    status = TivStatus{};
    samples = TivSamples{};
  }

  int32_t interruptLimit = 0;
};

TEST_F(TivDecoderTest, FramingAndRejectionPaths) {
  const Bytes full = tivSensor(3, 4, TivReadings{Gyro{1, 2, 3, 4, 5, 6}, 7, 8, 9});  // L = 25
  ASSERT_EQ(full.size(), 26u);
  const Bytes magOnly = tivSensor(3, 4, TivReadings{.magX = 1});  // L = 9
  const std::vector<FramingCase> cases = {
      {"empty payload", {}, -3, 1, 1, 0, 0, 0, 0},
      {"one byte", {0x23}, -3, 1, 1, 0, 0, 0, 0},
      {"bad marker", withByte(full, 1, 0x7D), -3, 1, 1, 0, 0, 0, 0},
      {"marker only", {0x23, 0x7C}, -2, 2, 0, 0, 1, 0, 0},
      {"sensor, no mask byte", {0x23, 0x7C, 0}, -2, 2, 0, 0, 1, 0, 0},
      {"sensor cut by one", truncated(full, 1), -2, 2, 0, 0, 1, 0, 0},
      {"mask lies beyond payload", withByte(magOnly, 3, 0x0F), -2, 2, 0, 0, 1, 0, 0},
      {"sensor bad checksum", badChecksum(full), -2, 25, 0, 0, 1, 0, 0},
      {"sensor mask 0x0F", full, 1, 26, 0, 0, 0, 1, 1},
      {"sensor subtype 1", withByte(badChecksum(full), 2, 1), 1, 26, 0, 0, 0, 1, 1},
      {"sensor mask 0", frame(0, 0, 0, 0, {}), 1, 8, 0, 0, 0, 1, 1},
      {"sensor mask 0, bad checksum", badChecksum(frame(0, 0, 0, 0, {})), -2, 7, 0, 0, 1, 0, 0},
      {"mask bits 4-7 ignored", frame(0, 0xF0, 0, 0, {}), 1, 8, 0, 0, 0, 1, 1},
      {"aux 2", tivAux(2), 2, 18, 0, 1, 0, 0, 1},
      {"aux 3 is aux 2", tivAux(3), 2, 18, 0, 1, 0, 0, 1},
      {"aux 4", tivAux(4), 2, 5, 0, 1, 0, 0, 1},
      {"aux 5 is aux 4", tivAux(5), 2, 5, 0, 1, 0, 0, 1},
      {"aux 0x80", tivAux(0x80), 2, 9, 0, 1, 0, 0, 1},
      {"aux 0x81 is aux 0x80", tivAux(0x81), 2, 9, 0, 1, 0, 0, 1},
      {"aux 6 unknown", tivAux(6), -3, 2, 0, 1, 0, 0, 0},
      {"aux 0x82 unknown", {0x23, 0x7C, 0x82}, -3, 2, 0, 1, 0, 0, 0},
      {"aux 2 bad checksum", badChecksum(tivAux(2)), -2, 2, 0, 1, 1, 0, 0},
      {"aux 4 cut by one", truncated(tivAux(4), 1), -2, 2, 0, 1, 1, 0, 0},
      {"aux 4 subtype only", {0x23, 0x7C, 4}, -2, 2, 0, 1, 1, 0, 0},
  };
  for (const FramingCase& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    decode(c.payload);
    expectFraming(c, status, samples);
  }
}

TEST_F(TivDecoderTest, AuxiliaryMessageKeepsTheHeadCounters) {
  decode(tivSensor(0x11, 0x2233, TivReadings{.magZ = 5}));
  ASSERT_EQ(status.status, 1);
  decode(tivAux(4));
  EXPECT_EQ(status.status, 2);
  EXPECT_EQ(status.timeCounter, 0x11);
  EXPECT_EQ(status.interruptCounter, 0x2233);
  EXPECT_EQ(status.validCount, 1);
  EXPECT_EQ(status.otherCount, 1);
}

TEST_F(TivDecoderTest, InterruptLimit) {
  struct Case { int32_t limit; uint16_t counter; int32_t status; };
  for (const Case& c : {Case{1000, 1001, -2}, Case{1000, 1000, 1}, Case{0, 65535, 1}}) {
    SCOPED_TRACE(testing::Message() << "limit " << c.limit << " counter " << c.counter);
    reset();
    interruptLimit = c.limit;
    decode(tivSensor(0, c.counter, TivReadings{.magX = 1}));  // L = 9
    EXPECT_EQ(status.status, c.status);
    EXPECT_EQ(status.checksumChecked, 1);
    EXPECT_EQ(status.accounted, c.status == 1 ? 10 : 9);
    EXPECT_EQ(count(kTivXMag), c.status == 1 ? 1 : 0);
  }
  // Auxiliary messages are not held to the limit.
  interruptLimit = 1;
  decode(tivAux(2));
  EXPECT_EQ(status.status, 2);
}

// Every channel in mask order; a disabled channel is counted but gets no sample.
TEST_F(TivDecoderTest, FullSensorMessageWithAndWithoutDisabledChannels) {
  const Bytes full = tivSensor(9, 77, TivReadings{Gyro{-5, 0, 32767, 0, 110, -1}, -32768, 1234, -1});
  const int16_t expected16[kTivChannelCount] = {-5, 0, 32767, 7672, 7853, 7671, -32768, 1234, -1};
  for (const std::vector<int>& disabled : {std::vector<int>{}, {kTivYGyro, kTivZGyroTemp, kTivYMag}}) {
    SCOPED_TRACE(testing::Message() << disabled.size() << " disabled");
    reset();
    enabled.fill(true);
    for (int ch : disabled) enabled[ch] = false;
    decode(full);
    ASSERT_EQ(status.status, 1);
    EXPECT_EQ(status.accounted, 26);
    EXPECT_EQ(status.timeCounter, 9);
    EXPECT_EQ(status.interruptCounter, 77);
    for (int ch = 0; ch < kTivChannelCount; ++ch) {
      SCOPED_TRACE(kTivChannelLabels[ch]);
      EXPECT_EQ(status.channelCounts[ch], 1);
      ASSERT_EQ(count(ch), enabled[ch] ? 1 : 0);
      if (enabled[ch]) { EXPECT_EQ(value16(ch), expected16[ch]); }
    }
    EXPECT_DOUBLE_EQ(value(kTivXGyro), -5.0);
    EXPECT_DOUBLE_EQ(value(kTivXMag), -32768.0);
  }
  EXPECT_DOUBLE_EQ(value(kTivZGyro), 32767.0);
}

TEST_F(TivDecoderTest, GyroscopeTemperature) {
  struct Case {
    int16_t reading;
    int16_t value16;  // hundredths of a degree Fahrenheit, truncated, low 16 bits
    double value;     // (r / 110 + 298) * 1.8 - 459.67
  };
  const Case cases[] = {
      // 298 * 1.8 - 459.67 = 76.73; in doubles 76.72999999999996, so 7672.9999... -> 7672.
      {0, 7672, 76.73},
      // (-297.8909 + 298) * 1.8 - 459.67 = -459.47364; -45947.36 -> -45947, wrapping to 19589.
      {-32768, 19589, -459.47363636363633},
      // (297.8818 + 298) * 1.8 - 459.67 = 612.91727; 61291 wraps to -4245.
      {32767, -4245, 612.9172727272726},
      // 299 * 1.8 - 459.67 = 78.53 -> 7853.
      {110, 7853, 78.53},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reading);
    reset();
    decode(tivSensor(0, 0, TivReadings{Gyro{0, 0, 0, c.reading, c.reading, c.reading}}));
    ASSERT_EQ(status.status, 1);
    for (int ch = kTivXGyroTemp; ch <= kTivZGyroTemp; ++ch) expectSamples(ch, {{c.value16, c.value}}, 1e-9);
  }
}

TEST_F(TivDecoderTest, MagnetometerAxesFollowTheirMaskBits) {
  decode(tivSensor(0, 0, TivReadings{.magX = 11, .magZ = -33}));  // mask 0x0A, L = 11
  ASSERT_EQ(status.status, 1);
  EXPECT_EQ(status.accounted, 12);
  expectSamples(kTivXMag, {{11, 11.0}});
  expectSamples(kTivZMag, {{-33, -33.0}});
  EXPECT_EQ(count(kTivYMag), 0);
  EXPECT_EQ(count(kTivXGyro), 0);
}

}  // namespace
