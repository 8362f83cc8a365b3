// timestamps.txt: the diagnostic list of the counters of every timed packet of
// the scan pass, one line per packet, "M" for the HUX board and "L" for the TIV
// board. A run that writes it ends after the scan pass. It is written under a
// temporary name and takes its name only when the pass has gone through and
// every line was written (see OutputFile).
#pragma once

#include <cstdint>
#include <string>

#include "common/console.h"
#include "common/output_file.h"

// "timestamps.txt" in the current directory when outputDir is empty, otherwise
// inside outputDir.
std::string timestampFilePath(const std::string& outputDir);

// Creates the file inside outputDir. When it cannot be created, prints the
// error lines and throws FatalError(-1).
void openTimestampFile(OutputFile& file, const std::string& outputDir, Console& console);

// Writes the line of one timed packet: boardLetter 'M' (HUX) or 'L' (TIV).
void writeTimestampLine(OutputFile& file, char boardLetter, int32_t packetNumber, int32_t timeCounter,
                        int32_t interruptCounter);

// The end of a timestamp-mode pass: prints the closing line, closes the file
// and moves it into place, prints "# INFO: Exiting" and throws
// FatalError(-1). When a line could not be written, or the file cannot be
// closed, prints the failure and throws FatalError(-8) instead.
[[noreturn]] void finishTimestampRun(OutputFile& file, Console& console);
