// timestamps.txt: the diagnostic list of the counters of every timed packet of
// the scan pass, one line per packet, "M" for the HUX board and "L" for the TIV
// board. A run that writes it ends after the scan pass.
#pragma once

#include <cstdint>
#include <string>

#include "common/console.h"
#include "common/run_options.h"

// "timestamps.txt" in the current directory when outputDir is empty, otherwise
// inside outputDir.
std::string timestampFilePath(const std::string& outputDir);

// Creates (or empties) the file and keeps it in options.timestampFile. When it
// cannot be created, prints the error lines and throws FatalError(-1).
void openTimestampFile(RunOptions& options, Console& console);

// Writes the line of one timed packet: boardLetter 'M' (HUX) or 'L' (TIV).
void writeTimestampLine(FILE* file, char boardLetter, int32_t packetNumber, int32_t timeCounter,
                        int32_t interruptCounter);

// Closes options.timestampFile (if open) without a message.
void closeTimestampFile(RunOptions& options);

// The end of a timestamp-mode pass: prints the closing lines, closes the file
// and throws FatalError(-1).
[[noreturn]] void finishTimestampRun(RunOptions& options, Console& console);
