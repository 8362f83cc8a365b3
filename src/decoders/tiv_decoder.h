// Decoder of the TIV board's messages (gyroscope, gyroscope temperature,
// magnetometer; auxiliary messages are only checked).
#pragma once

#include <cstdint>

#include "decoders/board_message.h"
#include "decoders/sample_buffers.h"

// Validates one message of `length` payload bytes and appends its readings to
// samples. Only bytes inside the payload are read. The outcome is left in
// status: 1 sensor message accepted, 2 auxiliary message accepted, -2 rejected,
// -3 not a board message.
//   - no "#|" marker (or fewer than 2 bytes): -3, unmarkedCount + 1, accounted 1;
//   - auxiliary message (subtype other than 0/1): otherCount + 1; then, for
//     subtypes 2, 4 and 0x80 (bit 0 ignored), a checksum found good inside the
//     payload: 2, accounted L; otherwise -2, invalidCount + 1, accounted 2;
//     any other subtype: -3, accounted 2. Head counters are never stored;
//   - sensor message running past the payload: -2, invalidCount + 1, accounted 2;
//     bad checksum or interrupt counter above a non-zero limit: -2,
//     invalidCount + 1, accounted L;
//   - accepted sensor message: 1, validCount + 1, accounted L + 1, head
//     counters stored, readings counted and appended as for the HUX2 board.
void decodeTiv(TivStatus& status, const uint8_t* payload, uint32_t length, TivSamples& samples,
               int32_t interruptLimit, const TivEnables& enabled);

// The frame of one TIV message, as decodeTiv would judge it, without decoding
// its readings or changing any state.
board_message::MessageFrame peekTivMessage(const uint8_t* payload, uint32_t length, int32_t interruptLimit);
