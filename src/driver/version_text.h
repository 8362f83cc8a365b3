// The "--version" text: the converter's version and build, and the versions
// of the libraries it writes with.
#pragma once

#include "common/console.h"

// The version of this build, set by the build system.
const char* converterVersion();

// Prints "pelgToMatlab <version>", the build line that the outputs carry as
// createdBy, then "libhdf5 <version>" and "libsndfile <version>", on
// standard output.
void printVersion(Console& console);
