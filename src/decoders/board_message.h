// The framing shared by both boards' messages inside a packet payload:
// "#|", subtype, count or mask, 8-bit time counter, 16-bit interrupt counter,
// data, and a checksum byte at offset L (the 8-bit sum of bytes 2..L-1).
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/little_endian.h"
#include "decoders/sample_buffers.h"

namespace board_message {

inline constexpr uint8_t kMarker0 = 0x23;  // '#'
inline constexpr uint8_t kMarker1 = 0x7C;  // '|'
inline constexpr int kSubtypeOffset = 2;
inline constexpr int kCountOffset = 3;
inline constexpr int kTimeCounterOffset = 4;
inline constexpr int kInterruptCounterOffset = 5;
inline constexpr int kHeadLength = 7;

// The sum of a word's eight bytes: byte pairs added into four 16-bit lanes
// (each at most 510), then the lanes into the top one by one multiplication
// (at most 2040, so no lane carries into another).
inline uint32_t byteSum(uint64_t word) {
  constexpr uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
  const uint64_t pairs = (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
  return static_cast<uint32_t>((pairs * 0x0001000100010001ull) >> 48);
}

// Only the low byte of the total matters, and unsigned sums keep it whatever
// they wrap.
inline uint8_t checksum(const uint8_t* message, uint32_t length) {
  uint32_t total = 0;
  uint32_t i = kSubtypeOffset;
  if (length < 8) {
    for (; i < length; ++i) total += message[i];
    return static_cast<uint8_t>(total);
  }
#if defined(__SSE2__)
  // Sixteen bytes per step: psadbw against zero sums each half of the block
  // into a 64-bit lane.
  __m128i lanes = _mm_setzero_si128();
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= length; i += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(message + i));
    lanes = _mm_add_epi64(lanes, _mm_sad_epu8(block, zero));
  }
  total += static_cast<uint32_t>(_mm_cvtsi128_si32(lanes)) +
           static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(lanes, lanes)));
#endif
  for (; i + 8 <= length; i += 8) total += byteSum(readLittleEndian<uint64_t>(message + i));
  // The last 1 to 7 bytes: the word that ends the message, shifted down to
  // them (the message holds 8 bytes or more).
  if (i < length) total += byteSum(readLittleEndian<uint64_t>(message + length - 8) >> (8 * (8 - (length - i))));
  return static_cast<uint8_t>(total);
}

// True when the payload is long enough to hold the marker and starts with it.
inline bool hasMarker(const uint8_t* payload, uint32_t payloadLength) {
  return payloadLength >= 2 && payload[0] == kMarker0 && payload[1] == kMarker1;
}

// True when a message of length L, whose checksum byte sits at offset L, lies
// entirely inside a payload of payloadLength bytes.
inline bool fitsInPayload(uint32_t messageLength, uint32_t payloadLength) {
  return messageLength < payloadLength;
}

// True when the byte at offset L is the checksum of bytes 2..L-1. The caller
// has checked that the message fits in the payload.
inline bool checksumMatches(const uint8_t* message, uint32_t messageLength) {
  return checksum(message, messageLength) == message[messageLength];
}

// What the head and checksum of one payload say, before anything is decoded.
struct MessageFrame {
  bool marked = false;          // starts with the "#|" marker
  bool knownSubtype = false;    // a subtype the board sends
  bool checksumMatched = false;
  DecodeOutcome outcome = kDecodeNotBoardMessage;
  uint32_t messageLength = 0;   // L: the checksum byte sits at offset L
  uint8_t subtype = 0;
  uint8_t countOrMask = 0;
  int32_t timeCounter = -1;     // head counters of an accepted message with readings
  int32_t interruptCounter = -1;

  bool timed() const { return outcome == kDecodeAccepted; }
};

// Checks the frame of a message of length L inside the payload: it must fit,
// its checksum match, and its interrupt counter not pass a non-zero limit.
inline void checkFrame(MessageFrame& frame, const uint8_t* payload, uint32_t payloadLength,
                       uint32_t messageLength, int32_t interruptLimit) {
  frame.messageLength = messageLength;
  frame.outcome = kDecodeRejected;
  if (!fitsInPayload(messageLength, payloadLength) || !checksumMatches(payload, messageLength)) return;
  frame.checksumMatched = true;
  const uint16_t interruptCounter = readLittleEndian<uint16_t>(payload + kInterruptCounterOffset);
  if (interruptLimit != 0 && interruptCounter > interruptLimit) return;
  frame.outcome = kDecodeAccepted;
  frame.timeCounter = payload[kTimeCounterOffset];
  frame.interruptCounter = interruptCounter;
}

// Starts decoding one payload: clears the previous message's outcome and
// checks the marker. A payload without it is counted as unmarked and false is
// returned; the status is then "not a board message".
template <int N>
bool beginMessage(DecodeStatus<N>& status, const uint8_t* payload, uint32_t payloadLength) {
  status.status = kDecodeNotBoardMessage;
  status.checksumChecked = 0;
  status.accounted = 0;
  if (hasMarker(payload, payloadLength)) return true;
  ++status.unmarkedCount;
  status.accounted = 1;
  return false;
}

// Records a rejected message; nothing of it is kept.
template <int N>
void rejectMessage(DecodeStatus<N>& status, int32_t accounted) {
  status.status = kDecodeRejected;
  ++status.invalidCount;
  status.accounted = accounted;
}

}  // namespace board_message
