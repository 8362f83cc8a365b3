// The usage text: the program's synopsis and one entry per option.
#pragma once

#include "common/console.h"

// Prints the 30 usage lines on standard output.
void printUsage(Console& console);
