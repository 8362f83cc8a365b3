// The directory that receives every output file when "-outputdir" is not given.
#pragma once

#include <string>

// The part of an input file's name up to and including its last separator
// ("/" or "\\", whichever comes later); "./" when it has none.
std::string inferredOutputDirectory(const std::string& fileName);

// The part of a file's name after its last separator; the whole name without one.
std::string baseName(const std::string& fileName);
