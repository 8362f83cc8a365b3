// The packet blacklist: packet numbers (counted from 1 within each input file)
// whose HUX content and timing the packet pass does not use.
#pragma once

#include <cstdint>
#include <vector>

#include "common/console.h"
#include "common/run_options.h"

// Reads the integers of the file at options.blacklistPath, appends them to
// options.blacklist, lists them in file order on the error stream and sorts the
// list. A file that cannot be opened or holds a token that is not an integer
// prints its lines on the error stream and throws FatalError(-2).
void readBlacklist(RunOptions& options, Console& console);

// -1 when packetNumber is on the (sorted) list, printing the "Skipping" line;
// 1 otherwise.
int isBlacklisted(const std::vector<int32_t>& blacklist, int32_t packetNumber, Console& console);
