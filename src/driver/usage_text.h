// The usage text: the program's synopsis and one entry per option.
#pragma once

#include "common/console.h"

// Prints the 30 usage lines on standard output.
void printUsage(Console& console);

// "--help" and "-h": the usage lines, then the lines of the two options that
// only print (help and version).
void printHelp(Console& console);
