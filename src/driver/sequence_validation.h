// Validation of the input sequence: every named file is opened once, its
// header and board information read into its InputFileInfo record and compared
// with the first named file; the first file's board information is listed;
// the records are sorted by start time and the gaps between them tested.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/input_file_info.h"
#include "common/run_options.h"
#include "driver/header_checks.h"
#include "input/file_header.h"
#include "input/input_file.h"

// Validates files[0..inputArgIndex.size()-1] (which must hold their initial
// values) named by args[inputArgIndex[t]]. Leaves the records filled and sorted
// by start time, tivFileTally counting the leading files with TIV data (-1 once
// a file without it was read), and `file` holding the last file's header with
// its stream closed. A sequence that cannot be converted prints its lines and
// throws FatalError with a status from -10 to -17.
void validateInputSequence(const std::vector<std::string>& args,
                           const std::vector<int32_t>& inputArgIndex, const RunOptions& options,
                           std::vector<InputFileInfo>& files, int32_t& tivFileTally,
                           InputFile& file, InputOpener& opener, Console& console);
