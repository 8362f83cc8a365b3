// The listing of the first named file's schedules and board information that
// validation prints once every file has been read.
#pragma once

#include "common/console.h"
#include "common/input_file_info.h"
#include "input/file_header.h"

// first is the first named file's record; baro its barometer coefficients.
// The TIV part is printed only when that file carries TIV data.
void printBoardListing(const InputFileInfo& first, const BaroCoefficients& baro, Console& console);
