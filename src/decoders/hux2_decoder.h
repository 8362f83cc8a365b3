// Decoder of the HUX2 board's messages (audio and sensor messages).
#pragma once

#include <cstdint>

#include "decoders/board_message.h"
#include "decoders/sample_buffers.h"

// Coefficients, interrupt limit and the readings that carry from one message
// to the next within a file.
struct HuxCalibrationState {
  int32_t C1 = -1, C2 = -1, C3 = -1, C4 = -1, C5 = -1, C6 = -1;
  int32_t savedBaroTempRaw = -1;  // last accepted barometer temperature D2
  int32_t savedShtTemp = -1;      // humidity-sensor temperature, hundredths of a degree
  int32_t savedIrLight = -1;      // pending infrared light, integer form
  int32_t savedVisLight = -1;     // pending visible light, integer form
  int32_t hfLightGain = -1;       // gain of the last high-frequency light reading
  int32_t interruptLimit = 0;     // largest valid interrupt counter; 0 = no limit
  double savedShtTempValue = -1.0;
  double savedIrLightValue = -1.0;
  double savedVisLightValue = -1.0;
};

// Validates one message of `length` payload bytes and appends its readings to
// samples. Only bytes inside the payload are read. The outcome is left in
// status: 1 accepted, -2 rejected, -3 not a board message.
//   - no "#|" marker (or fewer than 2 bytes): -3, unmarkedCount + 1, accounted 1;
//   - subtype other than 0/1 (sensor) or 8/9 (audio): -3, otherCount + 1, accounted 2;
//   - message running past the payload, bad checksum, interrupt counter above
//     a non-zero interruptLimit, or more than 63 audio samples: -2,
//     invalidCount + 1, accounted 2; nothing appended, no saved reading changed;
//   - accepted: 1, validCount + 1, accounted L + 1, head counters stored.
// Every reading of an accepted message counts in channelCounts whether or not
// its channel is enabled; only enabled channels get samples (buffers that
// keep no values count them alone, as they would count them). Audio samples
// fill only the integer form.
void decodeHux2(HuxStatus& status, const uint8_t* payload, uint32_t length, HuxSamples& samples,
                HuxCalibrationState& calibration, const HuxEnables& enabled);

// The frame of one HUX2 message, as decodeHux2 would judge it, without
// decoding its readings or changing any state.
board_message::MessageFrame peekHux2Message(const uint8_t* payload, uint32_t length, int32_t interruptLimit);
