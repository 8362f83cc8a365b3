// The whole run: command line, validation and ordering of the inputs, the scan
// pass, then the summary files or the output phase. Returns the exit status;
// fatal conditions anywhere in the run end up here as that status.
#pragma once

#include "common/console.h"

int runPelgToMatlab(int argc, char** argv, Console& console);
