// The command line: options in any position, each printing an INFO line when
// accepted, and the names of the input files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/run_options.h"

// Smallest read buffer that holds the largest packet (10-byte header plus a
// 4096-byte payload), and the largest buffer accepted.
inline constexpr int32_t kMinBuffSize = 4106;
inline constexpr int32_t kMaxBuffSize = 1073741824;

// Parses args (args[0] is the program's name) into options, which starts from
// its defaults, and appends to inputArgIndex the index in args of every input
// file name, in command-line order. Options match whole and with case only; an
// option that takes a value takes the next argument, whatever it looks like.
// "-blacklist" reads the blacklist at once. "--help" or "-h" prints the help
// text and "--version" the versions, where they are met, and ends the run
// with status 0 (FatalError carrying 0).
//
// Ends the run (prints its lines, throws FatalError) with the usage text and
// status -1 when no input file is named; with status -3 on an unrecognised
// argument beginning with "-", a value-taking option without a value, or a
// value outside the option's range; with status -4 at the 4097th file name.
// The blacklist reader ends the run with status -2 itself.
void parseCommandLine(const std::vector<std::string>& args, RunOptions& options,
                      std::vector<int32_t>& inputArgIndex, Console& console);

// The directory form of an "-outputdir" value: "./" for an empty value, else
// the value with "/" appended unless it already ends with "/" or "\\".
std::string outputDirectoryFromOption(const std::string& value);
