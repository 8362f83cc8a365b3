// One record per input file: what validation learned from its header and the
// timing that the packet pass records for it. The driver holds a table of
// kMaxInputFiles records; after validation it is sorted by start time, so
// record 0 is the earliest file and the reference for outputs and reports.
#pragma once

#include <array>
#include <cstdint>

#include "common/channels.h"
#include "common/damage_counts.h"

inline constexpr int kMaxInputFiles = 4096;

struct InputFileInfo {
  uint64_t startTime = 0;  // milliseconds since the Unix epoch
  int32_t fileNumber = 0;  // index of the file's name in the argument list
  int32_t huxBoardNumber = 0;
  int32_t hasTiv = 0;
  int32_t tivBoardNumber = 0;
  // Interrupt counts of the board time lines: 64-bit, as a long recording
  // passes 2^31 interrupts.
  int64_t huxReferenceElapsed = -1;
  int64_t huxRolloverInterrupts = 0;
  int64_t tivReferenceElapsed = -1;
  int64_t tivRolloverInterrupts = 0;
  int32_t huxFirstTimeCounter = -1;
  int32_t huxFirstInterruptCounter = -1;
  int32_t huxLastTimeCounter = -1;
  int32_t huxLastInterruptCounter = -1;
  int32_t tivFirstTimeCounter = -1;
  int32_t tivFirstInterruptCounter = -1;
  int32_t tivLastTimeCounter = -1;
  int32_t tivLastInterruptCounter = -1;
  TivRates tivChannelRates{};  // tenths of a hertz
  HuxRates huxChannelRates{};  // tenths of a hertz
  int32_t huxInterruptRate = 0;
  int32_t tivInterruptRate = 0;
  int64_t firstAudioIndex = -1;  // HUX time index of the first audio packet
  int64_t huxLastTimeIndex = -1;  // HUX time index of the file's last timed packet
  int64_t lastPacketMs = -1;      // the file's last packet timestamp, ms after its start time
  int64_t packetsRead = 0;        // packets the reader delivered
  DamageCounts damage;            // the damage the reader met in the file
  // boardNumber, hardwareVersion, majorVersion, minorVersion, word1..word4,
  // C1..C6, micGain
  std::array<int32_t, 15> huxBoardInfo{};
  // boardNumber, hardwareVersion, majorVersion, minorVersion, word1..word4
  std::array<int32_t, 8> tivBoardInfo{};
};

// Sets the fields that a packet pass fills back to their initial values;
// start times, file numbers, rates and board words stay.
inline void resetPassTiming(InputFileInfo& info) {
  const InputFileInfo initial;
  info.huxReferenceElapsed = initial.huxReferenceElapsed;
  info.huxRolloverInterrupts = initial.huxRolloverInterrupts;
  info.tivReferenceElapsed = initial.tivReferenceElapsed;
  info.tivRolloverInterrupts = initial.tivRolloverInterrupts;
  info.huxFirstTimeCounter = info.huxFirstInterruptCounter = -1;
  info.huxLastTimeCounter = info.huxLastInterruptCounter = -1;
  info.tivFirstTimeCounter = info.tivFirstInterruptCounter = -1;
  info.tivLastTimeCounter = info.tivLastInterruptCounter = -1;
  info.firstAudioIndex = initial.firstAudioIndex;
  info.huxLastTimeIndex = initial.huxLastTimeIndex;
  info.lastPacketMs = initial.lastPacketMs;
  info.packetsRead = initial.packetsRead;
  info.damage = initial.damage;
}
