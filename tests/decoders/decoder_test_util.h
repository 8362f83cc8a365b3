// Helpers for the decoder tests: hand-framed board messages and decoding from
// exactly-sized heap copies, so that AddressSanitizer reports any read beyond
// the payload.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "decoders/hux2_decoder.h"
#include "decoders/tiv_decoder.h"

namespace decodertest {

using Bytes = std::vector<uint8_t>;

// "#|", subtype, count or mask, time counter, interrupt counter (little-endian),
// data, then the checksum of bytes 2..L-1.
inline Bytes frame(uint8_t subtype, uint8_t countOrMask, uint8_t timeCounter, uint16_t interruptCounter,
                   const Bytes& data) {
  Bytes m;
  m.reserve(data.size() + 8);
  for (uint8_t b : {uint8_t{0x23}, uint8_t{0x7C}, subtype, countOrMask, timeCounter,
                    static_cast<uint8_t>(interruptCounter & 0xFF), static_cast<uint8_t>(interruptCounter >> 8)})
    m.push_back(b);
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

inline std::unique_ptr<uint8_t[]> exactCopy(const Bytes& bytes) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
  for (size_t i = 0; i < bytes.size(); ++i) copy[i] = bytes[i];
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
  c.C1 = 23673;
  c.C2 = 1574;
  c.C3 = 786;
  c.C4 = 756;
  c.C5 = 617;
  c.C6 = 11;
  return c;
}

}  // namespace decodertest
