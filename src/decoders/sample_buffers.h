// What a board decoder produces for one packet: per channel, the readings of
// the packet in an integer (16-bit) and a double form, sharing one index.
#pragma once

#include <array>
#include <cstdint>

#include "common/channels.h"

// Room per channel: one message adds at most 63 audio samples and at most one
// sample to any other channel, and the packet pass empties the buffers after
// every timed packet.
inline constexpr int kSampleCapacity = 128;

template <int N>
struct SampleBuffers {
  static_assert(N <= 32, "one bit per channel in `present`");
  std::array<int32_t, N> counts{};
  uint32_t present = 0;  // bit c set once channel c got a reading since clear()
  std::array<std::array<int16_t, kSampleCapacity>, N> values16{};
  std::array<std::array<double, kSampleCapacity>, N> values{};
  // The channels whose readings keep their values (bit c for channel c).
  // The others' readings are counted alone, as they would be counted with
  // values, and the decoders skip their conversions: the scan pass places
  // the packets by their counts, and a run without MAT-files writes audio
  // alone.
  static constexpr uint32_t kAllKept = ~uint32_t{0};
  uint32_t valuesKept = kAllKept;

  // Appends one reading; a full channel drops it rather than overrun.
  void append(int channel, int16_t value16, double value) {
    int32_t& count = counts[channel];
    if (count >= kSampleCapacity) return;
    values16[channel][count] = value16;
    values[channel][count] = value;
    ++count;
    present |= uint32_t{1} << channel;
  }
  // Appends the integer form alone (audio, whose samples are only ever read
  // in that form); the double slot at that index is left as it was.
  void appendInteger(int channel, int16_t value16) {
    int32_t& count = counts[channel];
    if (count >= kSampleCapacity) return;
    values16[channel][count] = value16;
    ++count;
    present |= uint32_t{1} << channel;
  }
  // Makes room for up to n integer-form readings at once and returns where
  // they go; `n` is cut to the room left. The caller writes exactly n values.
  int16_t* reserveIntegers(int channel, int32_t& n) {
    int32_t& count = counts[channel];
    const int32_t room = kSampleCapacity - count;
    if (n > room) n = room < 0 ? 0 : room;
    int16_t* out = values16[channel].data() + count;
    count += n;
    if (n > 0) present |= uint32_t{1} << channel;
    return out;
  }
  // When the channel keeps no values: counts one reading, or n at once, as
  // append or reserveIntegers would, and returns true; the caller skips its
  // value.
  bool countedOnly(int channel, int32_t n = 1) {
    if ((valuesKept >> channel) & 1u) return false;
    reserveIntegers(channel, n);  // the room taken, nothing written
    return true;
  }
  void clear() {
    counts.fill(0);
    present = 0;
  }
};

// countedOnly, for buffers known to keep every channel's values or not: the
// decoders are made for both, so that buffers keeping them all (the write
// pass's) test no channel.
template <bool kAllKept, int N>
bool countedOnly(SampleBuffers<N>& samples, int channel, int32_t n = 1) {
  if constexpr (kAllKept) return false;
  return samples.countedOnly(channel, n);
}

using HuxSamples = SampleBuffers<kHuxChannelCount>;
using TivSamples = SampleBuffers<kTivChannelCount>;

// What a decoder made of the payload it was last given, left in
// DecodeStatus::status. The packet pass sets kDecodeNone before each packet,
// and the reader sets it for a message that repeats one delivered before
// (neither taken in nor reported as rejected).
enum DecodeOutcome : int32_t {
  kDecodeNone = 0,
  kDecodeAccepted = 1,         // a timed board message, taken in
  kDecodeAuxiliary = 2,        // a TIV auxiliary message
  kDecodeRejected = -2,        // a board message that failed its checks
  kDecodeNotBoardMessage = -3, // no board message, or one the pass has used
};

// Result and running counters of one decoder over one file.
template <int N>
struct DecodeStatus {
  DecodeOutcome status = kDecodeNone;
  int32_t unmarkedCount = 0;    // payloads without the "#|" marker
  int32_t checksumChecked = 0;  // 1 once this message's checksum matched
  int32_t accounted = 0;        // payload bytes the decoder accounted for
  int32_t timeCounter = -1;     // byte 4 of the last accepted message
  int32_t interruptCounter = -1;  // bytes 5-6 of the last accepted message
  std::array<int32_t, N> channelCounts{};  // readings seen, enabled or not
  int32_t invalidCount = 0;
  int32_t validCount = 0;
  int32_t otherCount = 0;  // HUX2: unknown subtypes; TIV: auxiliary messages
};

using HuxStatus = DecodeStatus<kHuxChannelCount>;
using TivStatus = DecodeStatus<kTivChannelCount>;

using HuxEnables = std::array<bool, kHuxChannelCount>;
using TivEnables = std::array<bool, kTivChannelCount>;
