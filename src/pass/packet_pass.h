// One pass over every packet of every input file, in the order validation
// settled. The scan pass (no output state) counts samples and finds timing
// faults; the write pass hands every timed packet to the outputs as well.
#pragma once

#include <string>
#include <vector>

#include "common/console.h"
#include "common/input_file_info.h"
#include "common/run_options.h"
#include "input/input_file.h"
#include "common/pass_counters.h"
#include "common/pass_observer.h"

struct CompleteDataPlan;
struct ParseState;

// Reads files[0..fileCount-1]; names is the argument list that fileNumber
// indexes. Adds to counters (the caller zeroes them) and fills the timing
// fields of the records. Returns 1; fatal conditions print their lines and
// throw FatalError, and so does the end of a timestamp-mode pass (status -1).
// An observer, when given, is told of each file and of the bytes read. A
// plan, in the scan pass, counts the rows the completeData masks will mark.
int runPacketPass(InputFileInfo* files, int fileCount, const std::vector<std::string>& names,
                  const RunOptions& options, PassCounters& counters, ParseState* output,
                  InputOpener& opener, Console& console, PassObserver* observer = nullptr,
                  CompleteDataPlan* plan = nullptr);
