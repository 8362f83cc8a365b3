// The per-file summary of a "-write_summaryFile" run: one "<name>.stats" file
// per input file in the output directory, holding its start time and duration.
#pragma once

#include <string>
#include <vector>

#include "common/console.h"
#include "common/input_file_info.h"

// Writes the .stats file of files[0..count-1] in that order; names is the
// argument list that fileNumber indexes. A file that cannot be created or
// written prints its lines and throws FatalError(-8); the files written
// before it stay.
void writeSummaryFiles(const InputFileInfo* files, int count, const std::vector<std::string>& names,
                       const std::string& outputDir, Console& console);

// The file's HUX span in seconds, with its own interrupt rate.
double huxDurationSeconds(const InputFileInfo& info);
