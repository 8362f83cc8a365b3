#include "decoders/hux2_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decoder_test_util.h"
#include "pelg_builder/pelg_builder.h"

// Readings are written with designated initializers naming only the fields a
// message carries; the others stay empty on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using namespace decodertest;
using pelgbuild::HuxReadings;
using pelgbuild::huxSensor;

namespace {

using Hf = std::pair<uint8_t, uint16_t>;
using Axes = std::array<int16_t, 3>;

class Hux2DecoderTest : public DecoderTest<kHuxChannelCount> {
 protected:
  Hux2DecoderTest() : calibration(builderCalibration()) {}

  void decode(const Bytes& payload) {
    status.status = kDecodeNone;
    decodeHux(status, payload, samples, calibration, enabled);
  }
  // Decodes one sensor message and expects it accepted.
  void decodeSensor(const HuxReadings& readings) {
    decode(huxSensor(1, 100, readings));
    ASSERT_EQ(status.status, 1);
  }
  // Starts a case afresh, as at the start of a file.
  void reset() {
    status = HuxStatus{};
    samples.clear();
    calibration = builderCalibration();
  }

  HuxCalibrationState calibration;
};

// ---- Framing and rejection ------------------------------------------------

TEST_F(Hux2DecoderTest, FramingAndRejectionPaths) {
  const Bytes audio3 = frame(8, 3, 7, 9, {0, 0x80, 1, 0x80, 2, 0x80});  // L = 13
  HuxReadings all{Axes{1, 2, 3}, Hf{10, 20}, 26000, 17000, 5, 0x23, 0x15, 7513, 1500};
  const Bytes sensorAll = huxSensor(1, 2, all);  // L = 28
  ASSERT_EQ(sensorAll.size(), 29u);
  all.hfLight.reset();
  const Bytes sensorNoHf = huxSensor(1, 2, all);  // L = 25
  ASSERT_EQ(sensorNoHf.size(), 26u);
  const std::vector<FramingCase> cases = {
      {"empty payload", {}, -3, 1, 1, 0, 0, 0, 0},
      {"one byte", {0x23}, -3, 1, 1, 0, 0, 0, 0},
      {"second byte not the bar", {0x23, 0x7D, 8, 0, 0, 0, 0, 8}, -3, 1, 1, 0, 0, 0, 0},
      {"first byte not the hash", {0x24, 0x7C, 8, 0, 0, 0, 0, 8}, -3, 1, 1, 0, 0, 0, 0},
      {"marker only", {0x23, 0x7C}, -2, 2, 0, 0, 1, 0, 0},
      {"subtype 2", {0x23, 0x7C, 2}, -3, 2, 0, 1, 0, 0, 0},
      {"subtype 0x10", frame(0x10, 0, 0, 0, {}), -3, 2, 0, 1, 0, 0, 0},
      {"subtype 0xFF", frame(0xFF, 0, 0, 0, {}), -3, 2, 0, 1, 0, 0, 0},
      {"sensor subtype, no mask byte", {0x23, 0x7C, 0}, -2, 2, 0, 0, 1, 0, 0},
      {"audio subtype, no count byte", {0x23, 0x7C, 9}, -2, 2, 0, 0, 1, 0, 0},
      {"head cut short", {0x23, 0x7C, 0, 0, 0, 0}, -2, 2, 0, 0, 1, 0, 0},
      {"checksum byte missing", truncated(audio3, 1), -2, 2, 0, 0, 1, 0, 0},
      {"count lies beyond payload", withByte(audio3, 3, 60), -2, 2, 0, 0, 1, 0, 0},
      {"mask lies beyond payload", withByte(frame(0, 1, 0, 0, Bytes(6, 0)), 3, 0xFF), -2, 2, 0, 0, 1, 0, 0},
      {"hf flag lies beyond payload", withByte(sensorNoHf, 2, 1), -2, 2, 0, 0, 1, 0, 0},
      {"sensor cut by one", truncated(sensorAll, 1), -2, 2, 0, 0, 1, 0, 0},
      {"bad checksum", badChecksum(audio3), -2, 2, 0, 0, 1, 0, 0},
      {"audio accepted", audio3, 1, 14, 0, 0, 0, 1, 1},
      {"audio subtype 9", badChecksum(withByte(audio3, 2, 9)), 1, 14, 0, 0, 0, 1, 1},
      {"trailing bytes after the message", withTail(audio3, 5), 1, 14, 0, 0, 0, 1, 1},
      {"largest sensor message", sensorAll, 1, 29, 0, 0, 0, 1, 1},
      {"empty sensor message", frame(0, 0, 0, 0, {}), 1, 8, 0, 0, 0, 1, 1},
  };
  for (const FramingCase& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    decode(c.payload);
    expectFraming(c, status, samples);
    if (c.status != 1) { EXPECT_EQ(calibration.savedBaroTempRaw, -1); }
  }
}

TEST_F(Hux2DecoderTest, AcceptedMessageStoresItsHeadCounters) {
  decode(frame(8, 1, 0xFE, 0xBEEF, {0, 0x80}));
  EXPECT_EQ(std::tie(status.status, status.timeCounter, status.interruptCounter), std::tuple(1, 0xFE, 0xBEEF));
  // A later rejection leaves them as they were.
  decode(frame(8, 64, 3, 4, Bytes(128, 0)));
  EXPECT_EQ(std::tie(status.status, status.timeCounter, status.interruptCounter), std::tuple(-2, 0xFE, 0xBEEF));
  EXPECT_EQ(status.validCount, 1);
  EXPECT_EQ(status.invalidCount, 1);
}

TEST_F(Hux2DecoderTest, InterruptLimit) {
  struct Case { int32_t limit; uint16_t counter; int32_t status; };
  for (const Case& c : {Case{1000, 1001, -2}, Case{1000, 1000, 1}, Case{1000, 0, 1}, Case{0, 65535, 1},
                        Case{0, 0, 1}}) {
    SCOPED_TRACE(testing::Message() << "limit " << c.limit << " counter " << c.counter);
    reset();
    calibration.interruptLimit = c.limit;
    decode(frame(0, 0x08, 1, c.counter, {0x10, 0x00}));
    EXPECT_EQ(status.status, c.status);
    EXPECT_EQ(status.checksumChecked, 1);
    EXPECT_EQ(status.accounted, c.status == 1 ? 10 : 2);
    EXPECT_EQ(status.channelCounts[kHuxCompass], c.status == 1 ? 1 : 0);
  }
}

// ---- Audio -----------------------------------------------------------------

TEST_F(Hux2DecoderTest, AudioOffsetBinary) {
  // 0x8000 -> 0, 0xFFFF -> 32767, 0x0000 -> -32768, 0x8001 -> 1, 0x7FFF -> -1.
  const Bytes audio = frame(8, 5, 0, 0, {0x00, 0x80, 0xFF, 0xFF, 0x00, 0x00, 0x01, 0x80, 0xFF, 0x7F});
  decode(audio);
  ASSERT_EQ(status.status, 1);
  EXPECT_EQ(status.accounted, 7 + 10 + 1);
  EXPECT_EQ(status.channelCounts[kHuxAudio], 5);
  ASSERT_EQ(count(kHuxAudio), 5);
  const int16_t expected[] = {0, 32767, -32768, 1, -1};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(value16(kHuxAudio, i), expected[i]) << i;
  // Disabled, the samples are counted but not appended.
  enabled[kHuxAudio] = false;
  decode(audio);
  ASSERT_EQ(status.status, 1);
  EXPECT_EQ(status.channelCounts[kHuxAudio], 10);
  EXPECT_EQ(count(kHuxAudio), 5);
}

TEST_F(Hux2DecoderTest, AudioSampleCountLimitAndFullBuffer) {
  Bytes data63;
  for (int i = 0; i < 63; ++i) putU16(data63, static_cast<uint16_t>(0x8000 + i));
  const Bytes audio63 = frame(8, 63, 0, 0, data63);
  decode(audio63);
  ASSERT_EQ(status.status, 1);
  EXPECT_EQ(status.accounted, 7 + 126 + 1);
  ASSERT_EQ(count(kHuxAudio), 63);
  EXPECT_EQ(value16(kHuxAudio, 62), 62);

  Bytes data64 = data63;
  putU16(data64, 0x8000);
  decode(frame(8, 64, 0, 0, data64));
  EXPECT_EQ(status.status, -2);
  EXPECT_EQ(status.accounted, 2);
  EXPECT_EQ(status.checksumChecked, 1);
  EXPECT_EQ(count(kHuxAudio), 63);
  EXPECT_EQ(status.channelCounts[kHuxAudio], 63);  // only the accepted message

  // A full buffer drops samples rather than overrun.
  decode(audio63);
  decode(audio63);
  EXPECT_EQ(count(kHuxAudio), kSampleCapacity);
  EXPECT_EQ(status.channelCounts[kHuxAudio], 189);
}

// ---- Accelerometer -----------------------------------------------------------

TEST_F(Hux2DecoderTest, Accelerometer) {
  struct Case {
    Axes axes;
    int16_t magnitude16;  // floor(sqrt(X*X/4 + Y*Y/4 + Z*Z/4)), quotients truncated
    double magnitude;     // sqrt of the sum of (axis / 16383)^2
  };
  const Case cases[] = {
      {{-1, 0, 0}, 0, 1.0 / 16383},                            // 1/4 -> 0
      {{16383, 0, 0}, 8191, 1.0},                              // 67100672 -> 8191.4
      {{1000, -2000, 3000}, 1870, 0.22838658284648364},        // 3500000 -> 1870.8
      {{-32768, -32768, -32768}, 28377, 3.4643130600266723},  // 805306368 -> 28377.9
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.axes[0] << "," << c.axes[1] << "," << c.axes[2]);
    reset();
    decodeSensor(HuxReadings{.accel = c.axes});
    for (int i = 0; i < 3; ++i) expectSamples(kHuxXAccel + i, {{c.axes[i], c.axes[i] / 16383.0}});
    expectSamples(kHuxMagAccel, {{c.magnitude16, c.magnitude}});
  }
}

// ---- High-frequency light ----------------------------------------------------

TEST_F(Hux2DecoderTest, HighFrequencyLight) {
  struct Case {
    uint8_t gain;
    uint16_t count;
    int16_t value16;  // (2c) / g, integer division, low 16 bits
    double value;     // c * (g / 256 * 100100 / 499) / 65536
  };
  const Case cases[] = {
      {128, 1000, 15, 1.5304657165894289},     // 2000 / 128 = 15.6
      {255, 40000, 313, 121.9589867907201},    // 80000 / 255 = 313.7
      {1, 65535, -2, 0.7835864901303767},      // 131070 wraps to -2
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "gain " << int{c.gain} << " count " << c.count);
    reset();
    decodeSensor(HuxReadings{.hfLight = Hf{c.gain, c.count}});
    expectSamples(kHuxHfVisLight, {{c.value16, c.value}});
    EXPECT_EQ(calibration.hfLightGain, c.gain);
  }
  // Gain zero is counted but keeps neither a sample nor the gain.
  samples.clear();
  decodeSensor(HuxReadings{.hfLight = Hf{0, 100}});
  EXPECT_EQ(count(kHuxHfVisLight), 0);
  EXPECT_EQ(status.channelCounts[kHuxHfVisLight], 2);
  EXPECT_EQ(calibration.hfLightGain, 1);
}

// ---- Barometer -----------------------------------------------------------------
// Coefficients C1..C6 = 23673, 1574, 786, 756, 617, 11; UT1 = 8*617 + 20224 = 25160.

TEST_F(Hux2DecoderTest, BarometerCompensation) {
  struct Case { uint16_t d2, d1; int16_t temp16; double temp; int16_t press16; double press; };
  const Case cases[] = {
      // dT = 840; dT*(C6+50) = 51240; T = 51240/102 = 502 -> 2502; (51240/1024 + 200)/10.
      // SENS = 786*840/1024 (=660240/1024 -> 644) + 23673 + 24576 = 48893;
      // OFF = 244*840/4096 (=204960/4096 -> 50) + 4*1574 = 6346;
      // X = 9832*48893/16384 (=480715976/16384 -> 29340) - 6346 = 22994;
      // P = 22994/3.2 + 2500 = 9685.625 -> 9685.
      {26000, 17000, 2502, 25.00390625, 9685, 968.5935966968536},
      // Negative dT = -4160: -253760/102 = -2487.8 -> -2487 (toward zero) -> -487.
      // SENS = -3269760/1024 = -3193.1 -> -3193, + 48249 = 45056;
      // OFF = -1015040/4096 = -247.8 -> -247, + 6296 = 6049;
      // X = 9832*45056/16384 (=442990592/16384 -> 27038) - 6049 = 20989; P = 9059.06 -> 9059.
      {21000, 17000, -487, -4.78125, 9059, 905.9292964935303},
      // Negative product: (7000-7168)*48893 = -8214024; /16384 = -501.3 -> -501;
      // X = -501 - 6346 = -6847; P = -6847/3.2 + 2500 = 360.3 -> 360.
      {26000, 7000, 2502, 25.00390625, 360, 36.01902651786804},
      // X = -7569408/16384 (-462) - 6049 = -6511; P = 465.3 -> 465.
      {21000, 7000, -487, -4.78125, 465, 46.55668067932129},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "D2 " << c.d2 << " D1 " << c.d1);
    reset();
    decodeSensor(HuxReadings{.baroTemp = c.d2, .baroPressure = c.d1});
    expectSamples(kHuxTemp, {{c.temp16, c.temp}});
    expectSamples(kHuxBarPress, {{c.press16, c.press}});
    EXPECT_EQ(calibration.savedBaroTempRaw, c.d2);
  }
}

TEST_F(Hux2DecoderTest, PressureBeforeAnyTemperatureIsCountedOnly) {
  decodeSensor(HuxReadings{.baroPressure = 17000});
  EXPECT_EQ(count(kHuxBarPress), 0);
  EXPECT_EQ(status.channelCounts[kHuxBarPress], 1);
  // The saved temperature from an earlier message compensates a later pressure.
  decodeSensor(HuxReadings{.baroTemp = 26000});
  decodeSensor(HuxReadings{.baroPressure = 17000});
  expectSamples(kHuxBarPress, {{9685, 968.5935966968536}});
  EXPECT_EQ(status.channelCounts[kHuxBarPress], 2);
}

TEST_F(Hux2DecoderTest, TemperatureRange) {
  // T = trunc(dT*61/102) + 2000 with dT = D2 - 25160; out of range keeps the earlier D2.
  struct Case { uint16_t d2; bool kept; int16_t temp16; };
  const Case cases[] = {
      {38537, true, 9999},    // dT 13377: 815997/102 = 7999.97 -> 9999
      {38538, false, 0},      // dT 13378: 816058/102 = 8000.6 -> 10000
      {20144, true, -999},    // dT -5016: -305976/102 = -2999.8 -> -999
      {20143, false, 0},      // dT -5017: -306037/102 = -3000.4 -> -1000
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.d2);
    reset();
    calibration.savedBaroTempRaw = 26000;
    decodeSensor(HuxReadings{.baroTemp = c.d2});
    EXPECT_EQ(status.channelCounts[kHuxTemp], 1);
    ASSERT_EQ(count(kHuxTemp), c.kept ? 1 : 0);
    if (c.kept) { EXPECT_EQ(value16(kHuxTemp), c.temp16); }
    EXPECT_EQ(calibration.savedBaroTempRaw, c.kept ? c.d2 : 26000);
  }
}

// ---- Compass -------------------------------------------------------------------

TEST_F(Hux2DecoderTest, Compass) {
  decodeSensor(HuxReadings{.compass = 123});
  decodeSensor(HuxReadings{.compass = 40000});  // above 32767: wraps in the integer form
  expectSamples(kHuxCompass, {{123, 12.3}, {40000 - 65536, 4000.0}});
}

// ---- Light sensor and ambient light ------------------------------------------

TEST_F(Hux2DecoderTest, LightByteConversion) {
  struct Case {
    uint8_t adc;
    int16_t value16;  // (10 S + 165) 2^E - 165, low 16 bits
    double value;     // 16.5 (2^E - 1) + 10 S 2^E
  };
  const Case cases[] = {
      {0x00, 0, 0.0},
      {0x01, 10, 10.0},               // E 0, S 1: 175 - 165
      {0x23, 615, 169.5},             // E 2, S 3: 195*4 - 165; 16.5*3 + 120
      {0x7F, -25381, 21295.5},        // E 7, S 15: 315*128 - 165 = 40155 -> -25381; 2095.5 + 19200
      {0xFF, -25381, 21295.5},        // bit 7 is not part of the reading
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "byte " << int{c.adc});
    for (bool visible : {true, false}) {
      reset();
      const int channel = visible ? kHuxVisLight : kHuxIrLight;
      decodeSensor(visible ? HuxReadings{.visLight = c.adc} : HuxReadings{.irLight = c.adc});
      expectSamples(channel, {{c.value16, c.value}});
      EXPECT_EQ(visible ? calibration.savedVisLight : calibration.savedIrLight, c.value16);
      EXPECT_DOUBLE_EQ(visible ? calibration.savedVisLightValue : calibration.savedIrLightValue, c.value);
      EXPECT_EQ(count(kHuxAmbLight), 0);
    }
  }
}

TEST_F(Hux2DecoderTest, AmbientLightFromTwoMessages) {
  decodeSensor(HuxReadings{.visLight = 0x23});  // 615 / 169.5
  EXPECT_EQ(count(kHuxAmbLight), 0);
  EXPECT_EQ(status.channelCounts[kHuxAmbLight], 0);
  decodeSensor(HuxReadings{.irLight = 0x15});  // E 1, S 5: 215*2 - 165 = 265 / 16.5 + 100 = 116.5
  // 0.46 * 615 * exp(-3.13 * 265 / 615.000001) = 73.43 -> 73;
  // 0.46 * 169.5 * exp(-3.13 * 116.5 / 169.500001).
  expectSamples(kHuxAmbLight, {{73, 9.070489346804205}});
  EXPECT_EQ(status.channelCounts[kHuxAmbLight], 1);
  EXPECT_EQ(calibration.savedVisLight, -1);
  EXPECT_EQ(calibration.savedIrLight, -1);
  // A single new reading does not make another pair.
  decodeSensor(HuxReadings{.irLight = 0x15});
  EXPECT_EQ(count(kHuxAmbLight), 1);
}

// Ambient light and humidity pair with a reading of the same message.
TEST_F(Hux2DecoderTest, PairsWithinOneMessage) {
  decodeSensor(HuxReadings{.visLight = 0x23, .irLight = 0x15, .shtTemp = 7513, .humidity = 1500});
  ASSERT_EQ(count(kHuxAmbLight), 1);
  EXPECT_EQ(value16(kHuxAmbLight), 73);
  ASSERT_EQ(count(kHuxHumidity), 1);
  EXPECT_EQ(value16(kHuxHumidity), 5181);
}

TEST_F(Hux2DecoderTest, DisabledVisibleChannelStandsInAsOne) {
  enabled[kHuxVisLight] = false;
  decodeSensor(HuxReadings{.visLight = 0x23});
  EXPECT_EQ(calibration.savedVisLight, 1);
  EXPECT_DOUBLE_EQ(calibration.savedVisLightValue, -1.0);  // left as it was
  EXPECT_EQ(count(kHuxVisLight), 0);
  EXPECT_EQ(status.channelCounts[kHuxVisLight], 1);
  decodeSensor(HuxReadings{.irLight = 0x15});
  // 0.46 * 1 * exp(-3.13 * 265 / 1.000001) is 0 after truncation.
  ASSERT_EQ(count(kHuxAmbLight), 1);
  EXPECT_EQ(value16(kHuxAmbLight), 0);
}

// ---- Humidity sensor -------------------------------------------------------------

TEST_F(Hux2DecoderTest, HumiditySensorTemperature) {
  decodeSensor(HuxReadings{.shtTemp = 7513});  // 7513 - 3963 = 3550; 75.13 - 39.634
  decodeSensor(HuxReadings{.shtTemp = 65535});  // 61572 wraps to -3964; 655.35 - 39.634
  expectSamples(kHuxTempSensiron, {{3550, 35.496}, {-3964, 615.716}});
  EXPECT_EQ(calibration.savedShtTemp, -3964);
  EXPECT_DOUBLE_EQ(calibration.savedShtTempValue, 615.716);
}

TEST_F(Hux2DecoderTest, HumidityCompensation) {
  // Before any temperature, humidity is counted only.
  decodeSensor(HuxReadings{.humidity = 1500});
  EXPECT_EQ(count(kHuxHumidity), 0);
  EXPECT_EQ(status.channelCounts[kHuxHumidity], 1);

  // Saved temperature 3550 (35.50 degrees, divided as a real number) and 35.496.
  struct Case { uint16_t h; int16_t value16; double value; };
  const Case cases[] = {
      // RHlin = 0.0405*1500 - 4 - 0.0000028*1500^2 = 50.45 -> single 50.45000076293945;
      // 100*RHlin + (35.5 - 25)*(1 + 12) = 5045.00007 + 136.5 = 5181.5 -> 5181;
      // RHlin + 10.496*(0.01 + 0.12) = 51.81448076293945.
      {1500, 5181, 51.81448076293945},
      // RHlin = -4: -400 + 10.5 = -389.5 -> -389 (toward zero); -4 + 10.496*0.01.
      {0, -389, -3.89504},
      // RHlin = -9375.37393 -> single -9375.3740234375;
      // -937537.40 + 10.5*525.28 = -932021.96 -> -932021, wrapping to -14517.
      {65535, -14517, -9320.2406346375},
  };
  decodeSensor(HuxReadings{.shtTemp = 7513});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.h);
    samples.clear();
    decodeSensor(HuxReadings{.humidity = c.h});  // the temperature stays saved
    expectSamples(kHuxHumidity, {{c.value16, c.value}}, 1e-9);
  }
}

// ---- Disabled channels and whole messages ----------------------------------------------

// A disabled channel counts its readings but gets no samples, and saves nothing
// for a later compensation or pair; a disabled magnitude is not even counted.
TEST_F(Hux2DecoderTest, DisabledChannelsAreCountedButKeepNothing) {
  struct Case {
    std::vector<int> disabled;
    HuxReadings readings;
    std::vector<int> counted, sampled;
  };
  const Case cases[] = {
      {{kHuxMagAccel, kHuxYAccel}, {.accel = Axes{-1, 0, 0}}, {kHuxXAccel, kHuxYAccel, kHuxZAccel},
       {kHuxXAccel, kHuxZAccel}},
      {{kHuxHfVisLight}, {.hfLight = Hf{40, 100}}, {kHuxHfVisLight}, {}},
      {{kHuxTemp}, {.baroTemp = 26000, .baroPressure = 17000}, {kHuxTemp, kHuxBarPress}, {}},
      {{kHuxAmbLight}, {.visLight = 0x23, .irLight = 0x15}, {kHuxVisLight, kHuxIrLight, kHuxAmbLight},
       {kHuxVisLight, kHuxIrLight}},
      {{kHuxTempSensiron}, {.shtTemp = 7513, .humidity = 1500}, {kHuxTempSensiron, kHuxHumidity}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "disabled " << kHuxChannelLabels[c.disabled[0]]);
    reset();
    enabled.fill(true);
    for (int ch : c.disabled) enabled[ch] = false;
    decodeSensor(c.readings);
    for (int ch = 0; ch < kHuxChannelCount; ++ch) {
      EXPECT_EQ(status.channelCounts[ch], std::count(c.counted.begin(), c.counted.end(), ch))
          << kHuxChannelLabels[ch];
      EXPECT_EQ(count(ch), std::count(c.sampled.begin(), c.sampled.end(), ch)) << kHuxChannelLabels[ch];
    }
    const HuxCalibrationState& k = calibration;
    EXPECT_EQ(std::tie(k.savedBaroTempRaw, k.savedShtTemp, k.savedVisLight, k.savedIrLight, k.hfLightGain),
              std::make_tuple(-1, -1, -1, -1, -1));
  }
}

TEST_F(Hux2DecoderTest, LargestSensorMessageReadsEveryFieldInOrder) {
  decodeSensor(HuxReadings{Axes{1000, -2000, 3000}, Hf{128, 1000}, 26000, 17000, 123, 0x23, 0x15, 7513, 1500});
  EXPECT_EQ(status.accounted, 29);
  const int16_t expected16[kHuxChannelCount] = {0,    9685, 123, 15,   5181, 265,  73,
                                                2502, 3550, 615, 1000, -2000, 3000, 1870};
  for (int ch = 0; ch < kHuxChannelCount; ++ch) {
    SCOPED_TRACE(kHuxChannelLabels[ch]);
    EXPECT_EQ(count(ch), ch == kHuxAudio ? 0 : 1);
    EXPECT_EQ(status.channelCounts[ch], ch == kHuxAudio ? 0 : 1);
    if (ch != kHuxAudio) { EXPECT_EQ(value16(ch), expected16[ch]); }
  }
}

}  // namespace
