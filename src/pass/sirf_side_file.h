// sirfGPSOutput.bin: the raw bytes of the SiRF GPS receiver gathered from every
// input file during the write pass. The pass empties it once before the first
// file; the packet reader appends each GPS packet's receiver bytes, opening the
// file on demand; the pass closes it after every file.
#pragma once

#include <string>

#include "common/console.h"

// "<outputDir>/sirfGPSOutput.bin" (outputDir normally ends with a separator
// already; the doubled separator is harmless).
std::string sirfSideFilePath(const std::string& outputDir);

// Creates the file or cuts it to length 0. A failure is reported and the run
// goes on (the reader will report again when it cannot append).
void truncateSirfSideFile(const std::string& path, Console& console);
