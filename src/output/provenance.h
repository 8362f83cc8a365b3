// The provenance texts that the outputs carry: who created them, and from
// which input files in sequence order.
#pragma once

#include <string>
#include <vector>

#include "common/input_file_info.h"

// "Created by pelgToMatlab (<platform>), compiled on <date> at <time>\n" with
// the build platform ("Linux", "Win32") and the build date and time.
std::string createdByText();

// "Source [%2d] %s\n" for every input file in sequence order, with its 0-based
// position and its name from the argument list. Grows with the file count.
std::string sourceFilesText(const InputFileInfo* files, int fileCount,
                            const std::vector<std::string>& args);
