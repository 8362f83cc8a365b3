// The clock of one sensor board during a packet pass. Every timed packet
// carries an 8-bit time counter (wrapping from 255 to 0) and an interrupt
// counter that counts the board's interrupts within one step of the time
// counter; M interrupts make one step (M is the board's interrupt count from
// the file header), so the counters repeat every 256 x M interrupts (2560 s).
// The clock turns the counters into a time index in interrupts that never
// goes backwards within a file.
//
// The packets' millisecond timestamps (the logger's clock) vote where the
// board's counters alone cannot tell how much time passed: a break of the
// counters that the timestamps explain is a roll-over inside a gap and is
// bridged by its forward distance; the first packet of a later file is placed
// as many whole roll-overs on as the pause between the files calls for. A
// 255 -> 0 step between packets without a gap advances the index by one
// interrupt, and a break that neither clock explains is either fatal (the
// roll-over check) or a step of one interrupt.
#pragma once

#include <cstdint>

#include "common/board_counters.h"
#include "common/console.h"
#include "common/input_file_info.h"

struct BoardClock {
  int32_t prevTimeCounter = -1;       // counters of the board's previous timed packet in the file
  int32_t prevInterruptCounter = -1;
  int64_t timeIndex = 0;              // current time index, in interrupts
  int64_t prevTimeIndex = -1;         // time index of the previous timed packet in the file
  int64_t indexOffset = 0;            // maps counters to the time index once `started`
  // Set by the board's first timed packet of the pass; the fields below
  // carry the time line from one file into the next.
  bool started = false;
  int64_t lastTimeIndex = 0;  // time index of the board's last timed packet
  int64_t lastWallMs = 0;     // its wall time: file start time plus packet timestamp, in ms
  bool repeatReported = false;  // this file's repeat of the file before has been reported
  // Roll-overs of the time counter on the pass's time line so far.
  int64_t plainRollovers = 0;    // between neighbouring packets (and breaks treated as one)
  int64_t bridgedRollovers = 0;  // inside gaps and pauses
};

// Starts a new file: everything but the offset and the last packet's place,
// which carry the time line of one file on into the next.
void resetBoardClockForFile(BoardClock& clock);

// The fields of an input file's record that one board's timing fills.
struct BoardFileTiming {
  int64_t& referenceElapsed;
  int64_t& rolloverInterrupts;
  int32_t& firstTimeCounter;
  int32_t& firstInterruptCounter;
};

inline BoardFileTiming huxFileTiming(InputFileInfo& info) {
  return {info.huxReferenceElapsed, info.huxRolloverInterrupts, info.huxFirstTimeCounter,
          info.huxFirstInterruptCounter};
}

inline BoardFileTiming tivFileTiming(InputFileInfo& info) {
  return {info.tivReferenceElapsed, info.tivRolloverInterrupts, info.tivFirstTimeCounter,
          info.tivFirstInterruptCounter};
}

// What the clock needs to know about the packet and the run besides its counters.
struct BoardPacketContext {
  const char* boardLabel;      // "HUX" or "TIV", as the break warnings name the board
  int32_t interruptsPerStep;   // M
  int32_t packetNumber;        // position of the packet in its file, from 1
  bool checkRollover;          // an unexplained break ends the run
  int64_t wallMs = 0;          // file start time plus the packet's timestamp, ms
  const char* fileName = "";   // named by the warning of a pause bridged between files
};

// True when a timed packet of a later file, before any of the board's in
// this file was placed, lies behind the board's last packet of the file
// before by at most one step of the time counter while the wall clock calls
// for no whole roll-over: the logger wrote the tail of its buffer again into
// the next file. Such packets repeat what the file before delivered; the
// caller drops them, and the file's first packet past them is placed by its
// counters right after the file before, nothing filled. The first of a file
// prints one warning.
bool repeatsFileBefore(BoardClock& clock, const BoardFileTiming& timing, const BoardPacketContext& packet,
                       int32_t ts, int32_t ic, Console& console);

// True when placing the packet would meet a step back of the counters that
// neither clock explains (what advanceBoardClock refuses under the
// roll-over check); changes nothing and prints nothing.
bool breaksTimeLine(const BoardClock& clock, const BoardFileTiming& timing, const BoardPacketContext& packet,
                    int32_t ts, int32_t ic);

// Places a timed packet with counters (timeCounter, interruptCounter) on the
// board's time line, recording the file's first counters and wrap-around sums.
// A step back in time prints four warnings; one that the packet timestamps
// explain as a gap is bridged (one more warning), a 255 -> 0 step is a
// roll-over, and any other prints the error lines and throws FatalError(-11)
// when checkRollover is set.
void advanceBoardClock(BoardClock& clock, const BoardFileTiming& timing, const BoardPacketContext& packet,
                       int32_t timeCounter, int32_t interruptCounter, Console& console);

// Places a later packet of the board in the file the way advanceBoardClock
// does, for the step nearly every packet makes: the counters moved on by no
// less than the file's first step (none), and the timestamps agree with them
// within half a cycle. Such a packet repeats nothing, breaks nothing and
// prints nothing. Returns false, changing nothing, for any other packet (the
// file's first, a step back, a gap the timestamps bridge), which then goes
// through repeatsFileBefore, the break checks and advanceBoardClock.
inline bool advanceBoardClockSteadily(BoardClock& clock, const BoardFileTiming& timing, int64_t interruptsPerStep,
                                      int32_t ts, int32_t ic, int64_t wallMs) {
  const int64_t m = interruptsPerStep;
  // A packet of the board placed in this file: the pass has started.
  if ((timing.firstTimeCounter == -1 && timing.firstInterruptCounter == -1) || timing.referenceElapsed == -1)
    return false;
  const int64_t timeElapsed = (static_cast<int64_t>(ts) - clock.prevTimeCounter) * m - clock.prevInterruptCounter + ic;
  if (timeElapsed < timing.referenceElapsed) return false;
  // No whole cycle to add: the nearest count of cycles lies in [0, cycle).
  const int64_t cycle = board_counters::cycle(m);
  const int64_t nearest = board_counters::interruptsOfMs(wallMs - clock.lastWallMs, m) - timeElapsed + cycle / 2;
  if (nearest < 0 || nearest >= cycle) return false;
  // The index moves on by timeElapsed from the previous packet's, which the
  // same offset placed: never back.
  const int64_t timeIndex = (static_cast<int64_t>(ts) + 1) * m + ic + 1 + clock.indexOffset;
  clock.prevTimeCounter = ts;
  clock.prevInterruptCounter = ic;
  clock.timeIndex = timeIndex;
  clock.prevTimeIndex = timeIndex;
  clock.lastTimeIndex = timeIndex;
  clock.lastWallMs = wallMs;
  return true;
}
