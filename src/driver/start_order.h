// Start times of the input files: listed in command-line order, sorted, listed
// again with the distance from the previous file, and tested for gaps.
#pragma once

#include <cstdint>
#include <string>

#include "common/console.h"
#include "common/input_file_info.h"
#include "common/run_options.h"

// The local-time ctime text (ending in a line feed) of a start time in
// milliseconds, taken in whole seconds.
std::string startTimeText(uint64_t startTimeMs);

// The gap test between two consecutive files in start order: more than
// maxGap_sec whole seconds between their start times (milliseconds). The
// distance and the limit are compared as unsigned 64-bit values, so a
// negative maxGap_sec never rejects.
bool startGapTooLarge(uint64_t earlierMs, uint64_t laterMs, int32_t maxGap_sec);

// Lists files[0..count-1], sorts them by start time and lists them again. With
// header checks on, a distance of more than maxGap_sec whole seconds between
// consecutive sorted files prints its lines and throws FatalError(-16).
void orderByStartTime(InputFileInfo* files, int count, const RunOptions& options, Console& console);
