#include "pass/board_clock.h"

#include "common/fatal_error.h"

namespace {

constexpr const char* kBreakRule = "# WARNING: ---------------------\n";
constexpr const char* kBreakDetected =
    "# WARNING: %s, PELG Packet %6d, Break detected in timestamps, previous timeElapsed went from %d "
    "to %d\n";
constexpr const char* kBreakCounters =
    "# WARNING: Interrupt max: %7d. Previous: %4d ts, %5d int, current: %4d ts, %5d int\n";
constexpr const char* kBreakTreatedAsWrap = "# WARNING: This will be treated as a wrap around event\n";
constexpr const char* kNotARollover =
    "# ERROR: This wrap around even was not a 255->0 roll over event\n";
constexpr const char* kExiting = "# ERROR: Exiting\n";
constexpr const char* kIgnoreRolloverHint =
    "# ERROR: If you want to ignore this use -ignoreRollover, this may result in corrupt files\n";

constexpr int32_t kLastTimeCounter = 255;

// The board's counters are 32-bit quantities whose sums wrap like the board's
// own arithmetic; computing them in 64 bits and narrowing keeps that without
// overflowing.
int32_t wrap32(int64_t value) { return static_cast<int32_t>(value); }

}  // namespace

void resetBoardClockForFile(BoardClock& clock) {
  clock.prevTimeCounter = -1;
  clock.prevInterruptCounter = -1;
  clock.timeIndex = 0;
  clock.prevTimeIndex = -1;
}

BoardFileTiming huxFileTiming(InputFileInfo& info) {
  return {info.huxReferenceElapsed, info.huxRolloverInterrupts, info.huxFirstTimeCounter,
          info.huxFirstInterruptCounter};
}

BoardFileTiming tivFileTiming(InputFileInfo& info) {
  return {info.tivReferenceElapsed, info.tivRolloverInterrupts, info.tivFirstTimeCounter,
          info.tivFirstInterruptCounter};
}

void advanceBoardClock(BoardClock& clock, BoardFileTiming timing, const BoardPacketContext& packet,
                       int32_t ts, int32_t ic, Console& console) {
  const int64_t m = packet.interruptsPerStep;

  // The file's first timed packet of the board is its own predecessor.
  if (timing.firstTimeCounter == -1 && timing.firstInterruptCounter == -1) {
    timing.firstTimeCounter = ts;
    timing.firstInterruptCounter = ic;
    clock.prevTimeCounter = ts;
    clock.prevInterruptCounter = ic;
  }

  const int32_t timeElapsed =
      wrap32((static_cast<int64_t>(ts) - clock.prevTimeCounter) * m - clock.prevInterruptCounter + ic);
  if (timing.referenceElapsed == -1) timing.referenceElapsed = timeElapsed;

  if (timeElapsed < timing.referenceElapsed) {
    console.out(kBreakRule);
    console.out(kBreakDetected, packet.boardLabel, packet.packetNumber, timing.referenceElapsed,
                timeElapsed);
    console.out(kBreakCounters, packet.interruptsPerStep, clock.prevTimeCounter,
                clock.prevInterruptCounter, ts, ic);
    console.out(kBreakTreatedAsWrap);
    const bool isRollover = clock.prevTimeCounter == kLastTimeCounter && ts == 0;
    if (packet.checkRollover && !isRollover) {
      console.out(kNotARollover);
      console.out(kExiting);
      console.out(kIgnoreRolloverHint);
      throw FatalError(-11);
    }
    timing.rolloverInterrupts = wrap32(static_cast<int64_t>(timing.rolloverInterrupts) +
                                       clock.prevTimeCounter * m + clock.prevInterruptCounter + 1);
  }

  clock.prevTimeCounter = ts;
  clock.prevInterruptCounter = ic;

  const int64_t position = (static_cast<int64_t>(ts) + 1) * m + ic + 1;
  if (clock.indexOffset == -1) clock.indexOffset = wrap32(-position);  // first packet of the pass: index 0
  clock.timeIndex = wrap32(position + clock.indexOffset);

  // A step back in time moves the index on by exactly one interrupt, and later
  // packets count on from there.
  if (clock.prevTimeIndex != -1 && clock.prevTimeIndex > clock.timeIndex) {
    clock.indexOffset = wrap32(static_cast<int64_t>(clock.prevTimeIndex) - position + 1);
    clock.timeIndex = wrap32(position + clock.indexOffset);
  }
  clock.prevTimeIndex = clock.timeIndex;
}
