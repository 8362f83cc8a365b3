// TIV board messages: sensor messages (gyroscopes, their temperatures,
// magnetometer) are validated and converted; auxiliary messages are only
// checked.
#include "decoders/tiv_decoder.h"

#include <bit>

#include "common/little_endian.h"
#include "decoders/board_message.h"
#include "decoders/integer_form.h"

namespace {

// Sensor field mask bits; bits 4 to 7 carry nothing.
constexpr uint8_t kGyroBit = 0x01;
constexpr uint8_t kMagBits = 0x0E;  // X, Y, Z in bits 1, 2, 3

// Length L of an auxiliary message (subtype with bit 0 cleared), or 0 for a
// subtype the board does not send.
uint32_t auxiliaryMessageLength(uint8_t kind) {
  switch (kind) {
    case 2: return 18;
    case 4: return 5;
    case 0x80: return 9;
    default: return 0;
  }
}

uint32_t sensorMessageLength(uint8_t mask) {
  // Bits 1-3 counted by hand: std::popcount costs a library call on
  // processors the build does not assume.
  const uint32_t magAxes = ((mask >> 1) & 1u) + ((mask >> 2) & 1u) + ((mask >> 3) & 1u);
  return board_message::kHeadLength + ((mask & kGyroBit) ? 12 : 0) + 2 * magAxes;
}

void reject(TivStatus& status, int32_t accounted) {
  board_message::rejectMessage(status, accounted);
}

// In both, a channel that keeps no values (SampleBuffers::valuesKept) is
// counted alone; buffers known to keep them all test no channel.
template <bool kAllKept>
void appendPlain(TivStatus& status, TivSamples& samples, const TivEnables& enabled, int channel,
                 const uint8_t* field) {
  ++status.channelCounts[channel];
  if (!enabled[channel] || countedOnly<kAllKept>(samples, channel)) return;
  const int16_t reading = readLittleEndian<int16_t>(field);
  samples.append(channel, reading, reading);
}

// The gyroscope's die temperature, 298 K + r/110, in degrees Fahrenheit;
// integer form in hundredths of a degree.
template <bool kAllKept>
void appendTemperature(TivStatus& status, TivSamples& samples, const TivEnables& enabled,
                       int channel, const uint8_t* field) {
  ++status.channelCounts[channel];
  if (!enabled[channel] || countedOnly<kAllKept>(samples, channel)) return;
  const int16_t reading = readLittleEndian<int16_t>(field);
  const double fahrenheit = (reading / 110.0 + 298) * 1.8 - 459.67;
  samples.append(channel, integer_form::truncatedLow16(fahrenheit * 100), fahrenheit);
}

template <bool kAllKept>
void decodeReadings(TivStatus& status, const uint8_t* data, uint8_t mask, TivSamples& samples,
                    const TivEnables& enabled) {
  if (mask & kGyroBit) {
    for (int i = 0; i < 3; ++i) appendPlain<kAllKept>(status, samples, enabled, kTivXGyro + i, data + 2 * i);
    for (int i = 0; i < 3; ++i)
      appendTemperature<kAllKept>(status, samples, enabled, kTivXGyroTemp + i, data + 6 + 2 * i);
    data += 12;
  }
  for (int i = 0; i < 3; ++i) {
    if (!(mask & (0x02 << i))) continue;
    appendPlain<kAllKept>(status, samples, enabled, kTivXMag + i, data);
    data += 2;
  }
}

}  // namespace

board_message::MessageFrame peekTivMessage(const uint8_t* payload, uint32_t length,
                                           int32_t interruptLimit) {
  namespace bm = board_message;
  bm::MessageFrame frame;
  if (!bm::hasMarker(payload, length)) return frame;
  frame.marked = true;
  frame.outcome = kDecodeRejected;
  if (length <= bm::kSubtypeOffset) return frame;
  frame.subtype = payload[bm::kSubtypeOffset];
  const uint8_t kind = frame.subtype & 0xFE;
  if (kind != 0) {
    // Auxiliary message: checked, never read; its head counters are not kept.
    const uint32_t auxLength = auxiliaryMessageLength(kind);
    if (auxLength == 0) {
      frame.outcome = kDecodeNotBoardMessage;
      return frame;
    }
    frame.knownSubtype = true;
    frame.messageLength = auxLength;
    if (!bm::fitsInPayload(auxLength, length) || !bm::checksumMatches(payload, auxLength)) return frame;
    frame.checksumMatched = true;
    frame.outcome = kDecodeAuxiliary;
    return frame;
  }
  frame.knownSubtype = true;
  if (length <= bm::kCountOffset) return frame;
  frame.countOrMask = payload[bm::kCountOffset];
  bm::checkFrame(frame, payload, length, sensorMessageLength(frame.countOrMask), interruptLimit);
  return frame;
}

void decodeTiv(TivStatus& status, const uint8_t* payload, uint32_t length, TivSamples& samples,
               int32_t interruptLimit, const TivEnables& enabled) {
  namespace bm = board_message;
  if (!bm::beginMessage(status, payload, length)) return;
  const bm::MessageFrame frame = peekTivMessage(payload, length, interruptLimit);
  const bool auxiliary = (frame.subtype & 0xFE) != 0;
  if (auxiliary && length > bm::kSubtypeOffset) ++status.otherCount;
  if (frame.outcome == kDecodeNotBoardMessage) {
    status.accounted = 2;
    return;
  }
  status.checksumChecked = frame.checksumMatched ? 1 : 0;
  if (frame.outcome == kDecodeAuxiliary) {
    status.status = kDecodeAuxiliary;
    status.accounted = static_cast<int32_t>(frame.messageLength);
    return;
  }
  // A rejected sensor message whose checksum byte lies inside the payload
  // accounts for its whole length; any other rejection for its two marker bytes.
  if (frame.outcome == kDecodeRejected) {
    const bool wholeMessage =
        !auxiliary && frame.messageLength > 0 && bm::fitsInPayload(frame.messageLength, length);
    return reject(status, wholeMessage ? static_cast<int32_t>(frame.messageLength) : 2);
  }

  ++status.validCount;
  status.status = kDecodeAccepted;
  status.accounted = static_cast<int32_t>(frame.messageLength) + 1;
  status.timeCounter = frame.timeCounter;
  status.interruptCounter = frame.interruptCounter;
  if (samples.valuesKept == TivSamples::kAllKept) {
    decodeReadings<true>(status, payload + bm::kHeadLength, frame.countOrMask, samples, enabled);
  } else {
    decodeReadings<false>(status, payload + bm::kHeadLength, frame.countOrMask, samples, enabled);
  }
}
