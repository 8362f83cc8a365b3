// sirfGPSOutput.bin: the raw bytes of the SiRF GPS receiver gathered from every
// input file during the write pass. It is created with the other outputs,
// the packet reader appends each GPS packet's receiver bytes to it, and it is
// closed and moved into place with them; a write pass over files without GPS
// packets leaves it empty.
#pragma once

#include <string>

#include "output/parse_state.h"

// Creates the file (under its temporary name) as outputDir + its name. Throws
// FatalError(-8) when it cannot be created.
void createSirfGpsFile(ParseState& state, const std::string& outputDir);

// Flushes and closes it, when one is open. Throws FatalError(-8) when a write
// to it failed or it cannot be closed.
void closeSirfGpsFile(ParseState& state);
