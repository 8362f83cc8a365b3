// HUX2 board messages: validation of the frame, then conversion of each
// reading into its 16-bit integer form and its double form.
#include "decoders/hux2_decoder.h"

#include <array>
#include <bit>
#include <cmath>

#include "common/little_endian.h"
#include "decoders/board_message.h"
#include "decoders/integer_form.h"

using integer_form::low16;
using integer_form::multiply32;
using integer_form::truncated32;
using integer_form::truncatedLow16;
using integer_form::wrap32;

namespace {

// Subtypes with bit 0 cleared; bit 0 of a sensor subtype announces a
// high-frequency light reading.
constexpr uint8_t kSensorSubtype = 0;
constexpr uint8_t kAudioSubtype = 8;
// An audio message holds at most 63 samples.
constexpr uint32_t kAudioSampleLimit = 64;

// Sensor field mask bits.
constexpr uint8_t kAccelBit = 0x01;
constexpr uint8_t kVisLightBit = 0x02;
constexpr uint8_t kIrLightBit = 0x04;
constexpr uint8_t kCompassBit = 0x08;
constexpr uint8_t kPressureBit = 0x10;
constexpr uint8_t kBaroTempBit = 0x20;
constexpr uint8_t kHumidityBit = 0x40;
constexpr uint8_t kShtTempBit = 0x80;

constexpr double kAccelScale = 16383.0;

// The length of a sensor message by its field mask, without the light
// gain's 3 bytes; a table, since counting bits costs a library call on
// processors the build does not assume.
constexpr std::array<uint8_t, 256> kSensorLengths = [] {
  std::array<uint8_t, 256> lengths{};
  for (int mask = 0; mask < 256; ++mask) {
    int length = board_message::kHeadLength;
    if (mask & kAccelBit) length += 6;
    if (mask & kVisLightBit) length += 1;
    if (mask & kIrLightBit) length += 1;
    length += 2 * std::popcount(static_cast<uint8_t>(
                      mask & (kCompassBit | kPressureBit | kBaroTempBit | kHumidityBit | kShtTempBit)));
    lengths[static_cast<size_t>(mask)] = static_cast<uint8_t>(length);
  }
  return lengths;
}();

uint32_t sensorMessageLength(uint8_t mask, uint8_t subtype) {
  return kSensorLengths[mask] + ((subtype & 1) ? 3u : 0u);
}

// A rejected HUX2 message accounts for its two marker bytes.
void reject(HuxStatus& status) { board_message::rejectMessage(status, 2); }

template <bool kAllKept>
void decodeAudio(HuxStatus& status, const uint8_t* data, uint32_t sampleCount, HuxSamples& samples,
                 const HuxEnables& enabled) {
  status.channelCounts[kHuxAudio] += static_cast<int32_t>(sampleCount);
  if (!enabled[kHuxAudio]) return;
  // Offset binary to two's complement is a flip of the top bit; the loop is
  // one vector operation per block of samples.
  int32_t n = static_cast<int32_t>(sampleCount);
  if (countedOnly<kAllKept>(samples, kHuxAudio, n)) return;
  int16_t* out = samples.reserveIntegers(kHuxAudio, n);
  for (int32_t i = 0; i < n; ++i)
    out[i] = static_cast<int16_t>(readLittleEndian<uint16_t>(data + 2 * i) ^ 0x8000u);
}

// Barometer compensation shared by the temperature and pressure readings.
int32_t baroTemperatureOffset(int32_t rawTemperature, const HuxCalibrationState& c) {
  return rawTemperature - (8 * c.C5 + 20224);
}

template <bool kAllKept>
void decodeBaroTemperature(uint16_t d2, HuxSamples& samples, HuxCalibrationState& c, bool enabled) {
  const int32_t dT = baroTemperatureOffset(d2, c);
  const int32_t scaled = multiply32(dT, c.C6 + 50);
  const int32_t hundredths = scaled / 102 + 2000;
  if (!enabled || hundredths < -999 || hundredths > 9999) return;
  if (!countedOnly<kAllKept>(samples, kHuxTemp))
    samples.append(kHuxTemp, low16(hundredths), (scaled / 1024.0 + 200) / 10);
  c.savedBaroTempRaw = d2;
}

template <bool kAllKept>
void decodeBaroPressure(uint16_t d1, HuxSamples& samples, const HuxCalibrationState& c) {
  if (countedOnly<kAllKept>(samples, kHuxBarPress)) return;
  const int32_t dT = baroTemperatureOffset(c.savedBaroTempRaw, c);
  const int32_t sensitivityProduct = multiply32(c.C3, dT);
  const int32_t offsetProduct = multiply32(c.C4 - 512, dT);
  const int32_t pressureCounts = static_cast<int32_t>(d1) - 7168;

  // Integer form: 32-bit arithmetic, every division truncating toward zero.
  const int32_t sens = wrap32(int64_t{sensitivityProduct / 1024} + c.C1 + 24576);
  const int32_t off = wrap32(int64_t{offsetProduct / 4096} + int64_t{4} * c.C2);
  const int32_t x = wrap32(int64_t{multiply32(pressureCounts, sens) / 16384} - off);
  const int16_t pressure16 = low16(truncated32(x / 3.2 + 2500));

  // Double form: the same terms without truncation.
  const double sensValue = sensitivityProduct / 1024.0 + c.C1 + 24576;
  const double offValue = offsetProduct / 4096.0 + 4.0 * c.C2;
  const double pressure = (pressureCounts * sensValue / 16384 - offValue) / 32 + 250;
  samples.append(kHuxBarPress, pressure16, pressure);
}

// Digital light sensor byte: bits 4-6 chord E, bits 0-3 step S.
struct LightReading {
  int16_t value16;
  double value;
};

LightReading convertLight(uint8_t adc) {
  const int32_t chord = (adc >> 4) & 0x07;
  const int32_t step = adc & 0x0F;
  const int32_t power = 1 << chord;
  return {low16((10 * step + 165) * power - 165), 16.5 * (power - 1) + 10.0 * step * power};
}

template <bool kAllKept>
void decodeLight(uint8_t adc, int channel, int32_t& saved, double& savedValue, HuxSamples& samples,
                 bool enabled) {
  if (!enabled) {
    saved = 1;
    return;
  }
  const LightReading light = convertLight(adc);
  if (!countedOnly<kAllKept>(samples, channel)) samples.append(channel, light.value16, light.value);
  saved = light.value16;
  savedValue = light.value;
}

// Combines a pending visible and infrared pair into one ambient-light sample.
template <bool kAllKept>
void combineAmbientLight(HuxStatus& status, HuxSamples& samples, HuxCalibrationState& c,
                         bool enabled) {
  if (c.savedIrLight == -1 || c.savedVisLight == -1) return;
  if (enabled && !countedOnly<kAllKept>(samples, kHuxAmbLight)) {
    const double vis = c.savedVisLight;
    const double ir = c.savedIrLight;
    const double ambient16 = 0.46 * vis * std::exp(-3.13 * ir / (vis + 0.000001));
    const double ambient = 0.46 * c.savedVisLightValue *
                           std::exp(-3.13 * c.savedIrLightValue / (c.savedVisLightValue + 0.000001));
    samples.append(kHuxAmbLight, truncatedLow16(ambient16), ambient);
  }
  c.savedIrLight = -1;
  c.savedVisLight = -1;
  ++status.channelCounts[kHuxAmbLight];
}

template <bool kAllKept>
void decodeHumidity(uint16_t h, HuxSamples& samples, const HuxCalibrationState& c) {
  if (countedOnly<kAllKept>(samples, kHuxHumidity)) return;
  const double hd = h;
  const double linear = static_cast<float>(0.0405 * hd - 4 - 0.0000028 * hd * hd);
  const double humidity100 = 100 * linear + (c.savedShtTemp / 100.0 - 25) * (1 + 0.008 * hd);
  const double humidity = linear + (c.savedShtTempValue - 25) * (0.01 + 0.00008 * hd);
  samples.append(kHuxHumidity, truncatedLow16(humidity100), humidity);
}

template <bool kAllKept>
void decodeSensor(HuxStatus& status, const uint8_t* data, uint8_t subtype, uint8_t mask,
                  HuxSamples& samples, HuxCalibrationState& c, const HuxEnables& enabled) {
  auto& counts = status.channelCounts;

  if (mask & kAccelBit) {
    int32_t axes[3];
    for (int i = 0; i < 3; ++i) {
      axes[i] = readLittleEndian<int16_t>(data + 2 * i);
      const int channel = kHuxXAccel + i;
      ++counts[channel];
      if (enabled[channel] && !countedOnly<kAllKept>(samples, channel))
        samples.append(channel, static_cast<int16_t>(axes[i]), axes[i] / kAccelScale);
    }
    data += 6;
    if (enabled[kHuxMagAccel]) {
      int32_t sumOfQuarters = 0;
      double sumOfSquares = 0;
      for (int32_t axis : axes) {
        sumOfQuarters += axis * axis / 4;
        const double g = axis / kAccelScale;
        sumOfSquares += g * g;
      }
      const int32_t magnitude16 = static_cast<int32_t>(std::sqrt(static_cast<double>(sumOfQuarters)));
      ++counts[kHuxMagAccel];
      if (!countedOnly<kAllKept>(samples, kHuxMagAccel))
        samples.append(kHuxMagAccel, low16(magnitude16), std::sqrt(sumOfSquares));
    }
  }

  if (subtype & 1) {
    const uint8_t gain = data[0];
    const uint16_t count = readLittleEndian<uint16_t>(data + 1);
    data += 3;
    ++counts[kHuxHfVisLight];
    // A zero gain is a reading the sensor cannot scale: it is counted, not kept.
    if (enabled[kHuxHfVisLight] && gain != 0) {
      if (!countedOnly<kAllKept>(samples, kHuxHfVisLight)) {
        const double value = count * (gain / 256.0 * 100100 / 499) / 65536;
        samples.append(kHuxHfVisLight, low16(2 * int32_t{count} / gain), value);
      }
      c.hfLightGain = gain;
    }
  }

  if (mask & kBaroTempBit) {
    const uint16_t d2 = readLittleEndian<uint16_t>(data);
    data += 2;
    ++counts[kHuxTemp];
    decodeBaroTemperature<kAllKept>(d2, samples, c, enabled[kHuxTemp]);
  }

  if (mask & kPressureBit) {
    const uint16_t d1 = readLittleEndian<uint16_t>(data);
    data += 2;
    ++counts[kHuxBarPress];
    if (enabled[kHuxBarPress] && c.savedBaroTempRaw != -1) decodeBaroPressure<kAllKept>(d1, samples, c);
  }

  if (mask & kCompassBit) {
    const uint16_t heading = readLittleEndian<uint16_t>(data);
    data += 2;
    ++counts[kHuxCompass];
    if (enabled[kHuxCompass] && !countedOnly<kAllKept>(samples, kHuxCompass))
      samples.append(kHuxCompass, low16(heading), heading / 10.0);
  }

  if (mask & kVisLightBit) {
    ++counts[kHuxVisLight];
    decodeLight<kAllKept>(*data++, kHuxVisLight, c.savedVisLight, c.savedVisLightValue, samples,
                enabled[kHuxVisLight]);
  }
  if (mask & kIrLightBit) {
    ++counts[kHuxIrLight];
    decodeLight<kAllKept>(*data++, kHuxIrLight, c.savedIrLight, c.savedIrLightValue, samples,
                enabled[kHuxIrLight]);
  }
  combineAmbientLight<kAllKept>(status, samples, c, enabled[kHuxAmbLight]);

  if (mask & kShtTempBit) {
    const uint16_t t = readLittleEndian<uint16_t>(data);
    data += 2;
    ++counts[kHuxTempSensiron];
    if (enabled[kHuxTempSensiron]) {
      const int16_t temperature16 = low16(int32_t{t} - 3963);
      const double temperature = 0.01 * t - 39.634;
      if (!countedOnly<kAllKept>(samples, kHuxTempSensiron))
        samples.append(kHuxTempSensiron, temperature16, temperature);
      c.savedShtTemp = temperature16;
      c.savedShtTempValue = temperature;
    }
  }

  if (mask & kHumidityBit) {
    const uint16_t h = readLittleEndian<uint16_t>(data);
    ++counts[kHuxHumidity];
    if (enabled[kHuxHumidity] && c.savedShtTemp != -1) decodeHumidity<kAllKept>(h, samples, c);
  }
}

}  // namespace

board_message::MessageFrame peekHux2Message(const uint8_t* payload, uint32_t length,
                                            int32_t interruptLimit) {
  namespace bm = board_message;
  bm::MessageFrame frame;
  if (!bm::hasMarker(payload, length)) return frame;
  frame.marked = true;
  frame.outcome = kDecodeRejected;
  if (length <= bm::kSubtypeOffset) return frame;
  frame.subtype = payload[bm::kSubtypeOffset];
  const uint8_t kind = frame.subtype & 0xFE;
  if (kind != kSensorSubtype && kind != kAudioSubtype) {
    frame.outcome = kDecodeNotBoardMessage;
    return frame;
  }
  frame.knownSubtype = true;
  if (length <= bm::kCountOffset) return frame;
  frame.countOrMask = payload[bm::kCountOffset];
  const bool audio = kind == kAudioSubtype;
  bm::checkFrame(frame, payload, length,
                 audio ? bm::kHeadLength + 2u * frame.countOrMask : sensorMessageLength(frame.countOrMask, frame.subtype),
                 interruptLimit);
  if (audio && frame.countOrMask >= kAudioSampleLimit && frame.outcome == kDecodeAccepted) {
    frame.outcome = kDecodeRejected;
    frame.timeCounter = frame.interruptCounter = -1;
  }
  return frame;
}

void decodeHux2(HuxStatus& status, const uint8_t* payload, uint32_t length, HuxSamples& samples,
                HuxCalibrationState& calibration, const HuxEnables& enabled) {
  namespace bm = board_message;
  if (!bm::beginMessage(status, payload, length)) return;
  const bm::MessageFrame frame = peekHux2Message(payload, length, calibration.interruptLimit);
  if (frame.outcome == kDecodeNotBoardMessage) {
    ++status.otherCount;
    status.accounted = 2;
    return;
  }
  status.checksumChecked = frame.checksumMatched ? 1 : 0;
  if (frame.outcome != kDecodeAccepted) return reject(status);

  ++status.validCount;
  status.status = kDecodeAccepted;
  status.accounted = static_cast<int32_t>(frame.messageLength) + 1;
  status.timeCounter = frame.timeCounter;
  status.interruptCounter = frame.interruptCounter;

  const uint8_t* data = payload + bm::kHeadLength;
  const bool allKept = samples.valuesKept == HuxSamples::kAllKept;
  if ((frame.subtype & 0xFE) == kAudioSubtype) {
    if (allKept) {
      decodeAudio<true>(status, data, frame.countOrMask, samples, enabled);
    } else {
      decodeAudio<false>(status, data, frame.countOrMask, samples, enabled);
    }
  } else if (allKept) {
    decodeSensor<true>(status, data, frame.subtype, frame.countOrMask, samples, calibration, enabled);
  } else {
    decodeSensor<false>(status, data, frame.subtype, frame.countOrMask, samples, calibration, enabled);
  }
}
