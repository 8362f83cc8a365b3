// The clock of one sensor board during a packet pass. Every timed packet
// carries an 8-bit time counter (wrapping from 255 to 0) and an interrupt
// counter that counts the board's interrupts within one step of the time
// counter; M interrupts make one step (M is the board's interrupt count from
// the file header). The clock turns the counters into a time index in
// interrupts that never goes backwards within a file: a step back (a
// wrap-around included) advances the index by exactly one interrupt.
#pragma once

#include <cstdint>

#include "common/console.h"
#include "common/input_file_info.h"

struct BoardClock {
  int32_t prevTimeCounter = -1;       // counters of the board's previous timed packet in the file
  int32_t prevInterruptCounter = -1;
  int32_t timeIndex = 0;              // current time index, in interrupts
  int32_t prevTimeIndex = -1;         // time index of the previous timed packet in the file
  int32_t indexOffset = -1;           // maps counters to the time index; -1 until the first packet of the pass
};

// Starts a new file: everything but indexOffset, which carries the time line
// of one file on into the next.
void resetBoardClockForFile(BoardClock& clock);

// The fields of an input file's record that one board's timing fills.
struct BoardFileTiming {
  int32_t& referenceElapsed;
  int32_t& rolloverInterrupts;
  int32_t& firstTimeCounter;
  int32_t& firstInterruptCounter;
};

BoardFileTiming huxFileTiming(InputFileInfo& info);
BoardFileTiming tivFileTiming(InputFileInfo& info);

// What the clock needs to know about the packet and the run besides its counters.
struct BoardPacketContext {
  const char* boardLabel;      // "HUX" or "TIV", as the break warnings name the board
  int32_t interruptsPerStep;   // M
  int32_t packetNumber;        // position of the packet in its file, from 1
  bool checkRollover;          // a break other than 255 -> 0 ends the run
};

// Places a timed packet with counters (timeCounter, interruptCounter) on the
// board's time line, recording the file's first counters and wrap-around sums.
// A step back in time prints four warnings and counts as a wrap-around; when it
// is not a 255 -> 0 step and checkRollover is set, prints the error lines and
// throws FatalError(-11).
void advanceBoardClock(BoardClock& clock, BoardFileTiming timing, const BoardPacketContext& packet,
                       int32_t timeCounter, int32_t interruptCounter, Console& console);
