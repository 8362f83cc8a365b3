// The folder that receives the outputs, made ready before the scan pass, so
// that a run never reads all its input only to find it cannot write.
#pragma once

#include <string>

#include "common/console.h"

// The folder the outputs land in: the part of outputDir up to and including
// its last "/"; "./" when it has none (outputs are named outputDir + file name).
std::string outputFolderOf(const std::string& outputDir);

// Creates a missing folder and its parents, printing
// "# INFO: Created output folder %s\n", and checks that files can be created
// in it. A folder that cannot be created (also one below a file) prints
// "# ERROR: Unable to create output folder %s: %s\n"; one that is a file,
// is read-only or is not writable by the user prints
// "# ERROR: Unable to write to output folder %s: %s\n", with the system's
// reason; both then print "# ERROR: Exiting\n" and throw FatalError(-8).
void prepareOutputFolder(const std::string& outputDir, Console& console);
