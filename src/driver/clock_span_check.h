// The check after the scan pass that the boards' clocks claim no more time
// than the files themselves cover. The files' span runs from the earliest
// file's start time to the last file's start time plus its last packet
// timestamp; the clocks' span is the HUX time line at the last timed packet.
// A small file of valid roll-over pairs can move the clock on by 2560 s per
// pair and would make outputs of days from a few kilobytes; the run stops
// before any output is created when the clocks claim more than twice the
// files' span plus one hour.
#pragma once

#include "common/console.h"
#include "common/input_file_info.h"

#include <string>
#include <vector>

struct ClockSpanVerdict {
  bool runsAhead = false;
  int fileIndex = -1;          // sorted record where the clock first ran ahead of its packets
  double clockSeconds = 0.0;   // the clocks' span at that file's end
  double wallSeconds = 0.0;    // the files' span at that file's end
};

// Judges the sorted records of one scan pass; `interruptRate` is the HUX
// interrupt rate in tenths of a hertz.
ClockSpanVerdict judgeClockSpan(const InputFileInfo* files, int fileCount, int interruptRate);

// Prints the ERROR lines and throws FatalError(-17) when the clocks run ahead.
void checkClockSpan(const InputFileInfo* files, int fileCount, int interruptRate,
                    const std::vector<std::string>& names, Console& console);
