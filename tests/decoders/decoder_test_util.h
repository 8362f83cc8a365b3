// Helpers for the decoder tests: hand-framed board messages, damaged copies of
// them, decoding from exactly-sized heap copies (so that AddressSanitizer
// reports any read beyond the payload) and the fixture both decoders share.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "decoders/hux2_decoder.h"
#include "decoders/tiv_decoder.h"

namespace decodertest {

using Bytes = std::vector<uint8_t>;

// "#|", subtype, count or mask, time counter, interrupt counter (little-endian),
// data, then the checksum of bytes 2..L-1.
inline Bytes frame(uint8_t subtype, uint8_t countOrMask, uint8_t timeCounter, uint16_t interruptCounter,
                   const Bytes& data) {
  Bytes m{0x23, 0x7C, subtype, countOrMask, timeCounter, static_cast<uint8_t>(interruptCounter & 0xFF),
          static_cast<uint8_t>(interruptCounter >> 8)};
  for (uint8_t b : data) m.push_back(b);
  uint8_t sum = 0;
  for (size_t i = 2; i < m.size(); ++i) sum = static_cast<uint8_t>(sum + m[i]);
  m.push_back(sum);
  return m;
}

inline void putU16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

// Damaged copies of a message.
inline Bytes truncated(Bytes b, size_t drop) {
  b.resize(b.size() - drop);
  return b;
}
inline Bytes withByte(Bytes b, size_t at, uint8_t value) {
  b[at] = value;
  return b;
}
inline Bytes badChecksum(Bytes b) { return withByte(b, b.size() - 1, static_cast<uint8_t>(b.back() + 1)); }
inline Bytes withTail(Bytes b, size_t extra) {
  b.insert(b.end(), extra, 0xAA);
  return b;
}

inline std::unique_ptr<uint8_t[]> exactCopy(const Bytes& bytes) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
  std::copy(bytes.begin(), bytes.end(), copy.get());
  return copy;
}

inline void decodeHux(HuxStatus& status, const Bytes& payload, HuxSamples& samples,
                      HuxCalibrationState& calibration, const HuxEnables& enabled) {
  const auto copy = exactCopy(payload);
  decodeHux2(status, copy.get(), static_cast<uint32_t>(payload.size()), samples, calibration, enabled);
}

inline void decodeTivCopy(TivStatus& status, const Bytes& payload, TivSamples& samples,
                          int32_t interruptLimit, const TivEnables& enabled) {
  const auto copy = exactCopy(payload);
  decodeTiv(status, copy.get(), static_cast<uint32_t>(payload.size()), samples, interruptLimit, enabled);
}

// The barometer coefficients of the test-data builder's default calibration
// words 0xB8F2, 0x9A4B, 0xBD18, 0xC4A6 (W1..W4):
//   C1 = W1 >> 1 = 47346 >> 1 = 23673
//   C2 = (W3 & 0x3F) << 6 | (W4 & 0x3F) = 24 << 6 | 38 = 1574
//   C3 = W4 >> 6 = 50342 >> 6 = 786
//   C4 = W3 >> 6 = 48408 >> 6 = 756
//   C5 = (W1 & 1) << 10 | W2 >> 6 = 0 | 39499 >> 6 = 617
//   C6 = W2 & 0x3F = 11
inline HuxCalibrationState builderCalibration() {
  HuxCalibrationState c;
  std::tie(c.C1, c.C2, c.C3, c.C4, c.C5, c.C6) = std::make_tuple(23673, 1574, 786, 756, 617, 11);
  return c;
}

// Decoder state of one board, every channel enabled, with accessors for the
// i-th sample of a channel.
template <int N>
class DecoderTest : public testing::Test {
 protected:
  DecoderTest() { enabled.fill(true); }
  int count(int channel) const { return samples.counts[channel]; }
  int16_t value16(int channel, int i = 0) const { return samples.values16[channel][i]; }
  double value(int channel, int i = 0) const { return samples.values[channel][i]; }
  // Expects exactly these samples (integer form, double form) on a channel; a
  // zero tolerance asks for the double nearest the hand-computed value.
  void expectSamples(int channel, const std::vector<std::pair<int16_t, double>>& expected,
                     double tolerance = 0) {
    ASSERT_EQ(count(channel), static_cast<int>(expected.size())) << "channel " << channel;
    for (int i = 0; i < count(channel); ++i) {
      EXPECT_EQ(value16(channel, i), expected[i].first) << "channel " << channel << " sample " << i;
      if (tolerance == 0) {
        EXPECT_DOUBLE_EQ(value(channel, i), expected[i].second) << "channel " << channel << " sample " << i;
      } else {
        EXPECT_NEAR(value(channel, i), expected[i].second, tolerance) << "channel " << channel << " sample " << i;
      }
    }
  }

  DecodeStatus<N> status;
  SampleBuffers<N> samples;
  std::array<bool, N> enabled{};
};

// The outcome of decoding one message: status, bytes accounted, the four
// outcome counters and whether the checksum matched.
struct FramingCase {
  std::string name;
  Bytes payload;
  int32_t status, accounted, unmarked, other, invalid, valid, checksumChecked;
};

// Checks a fresh decoder's outcome; a message that is not accepted as sensor
// data leaves the head counters and every channel untouched.
template <int N>
void expectFraming(const FramingCase& c, const DecodeStatus<N>& s, const SampleBuffers<N>& samples) {
  EXPECT_EQ(std::tie(s.status, s.accounted, s.unmarkedCount, s.otherCount, s.invalidCount, s.validCount,
                     s.checksumChecked),
            std::tie(c.status, c.accounted, c.unmarked, c.other, c.invalid, c.valid, c.checksumChecked));
  if (c.status != 1) {
    EXPECT_EQ(s.timeCounter, -1);
    EXPECT_EQ(s.interruptCounter, -1);
    EXPECT_EQ(samples.counts, decltype(samples.counts){});
    EXPECT_EQ(s.channelCounts, decltype(s.channelCounts){});
  }
}

}  // namespace decodertest
