// Decoder of the TIV board's messages (gyroscope, gyroscope temperature,
// magnetometer; auxiliary messages are only checked).
#pragma once

#include <cstdint>

#include "decoders/sample_buffers.h"

// Validates one message of `length` payload bytes and appends its readings to
// samples. Only bytes inside the payload are read. The outcome is left in
// status: 1 sensor message accepted, 2 auxiliary message accepted, -2 rejected,
// -3 not a board message.
void decodeTiv(TivStatus& status, const uint8_t* payload, uint32_t length, TivSamples& samples,
               int32_t interruptLimit, const TivEnables& enabled);
