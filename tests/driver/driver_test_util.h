// Helpers shared by the driver tests: the usage text, runs of the real program
// in a scratch directory, and per-file records with a timed HUX span.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/input_file_info.h"
#include "support/test_support.h"

namespace drivertest {

using testsupport::RunResult;
using testsupport::TempDir;

constexpr uint64_t kT = 1700000000000ULL;  // Tue Nov 14 22:13:20 2023 UTC

const char* const kUsage =
    "pelgToMatlab [-options] <input file(s)>\n"
    "   [-outputdir N]\n"
    "       Create all output in directory N rather than the inferred directory\n"
    "       (Default behavior is to figure out the path from the first input file)\n"
    "   [-NoDataOut]\n"
    "       Do not create a dataOut mat file\n"
    "   [-NoCompleteData]\n"
    "       Do not create a completeData mat file\n"
    "   [-NoWavFile]\n"
    "       Do not write a completeSensorAudio.wav file\n"
    "   [-buffSize N]\n"
    "       Read buffer size in bytes (default 200k)\n"
    "   [-maxGap_sec N]\n"
    "       Maximum gap between .pelg files (in seconds, default 50*60)\n"
    "   [-disableChecks]\n"
    "       Disable header comparisons for pelg files, may result in corrupt files\n"
    "   [-ignoreRollover]\n"
    "       Ignore roll over events that appear to be errors and continue\n"
    "   [-printProgress]\n"
    "       Print progress of the parser every printProgressMax packets (default 10,000)\n"
    "   [-printProgressMax N]\n"
    "       Print progress of the parser every N packets (default 10,000)\n"
    "   [-blacklist file.txt]\n"
    "       List of pelg packet numbers to ignore\n"
    "   [-write_timestampFile]\n"
    "       Write the pelg packet #, time_counter, and interrupt_counter to a file 'timestamp.txt'\n"
    "   [-integerOutput]\n"
    "       Write the integer output from the hux2 parser instead of the double output\n"
    "   [-write_summaryFile]\n"
    "       Write some summary information to an <input file>.stats file\n";

const char* const kChecksDisabled =
    "# INFO: Error checking for headers is disabled\n# INFO: This may result in corrupt files\n";

const char* const kTableHeader =
    "# INFO:       Sensor Name  SampleRate ExpectedSamples  FoundSamples    Diff  Percent Difference\n";

// Runs the program in a scratch directory.
class ProgramTest : public ::testing::Test {
 protected:
  RunResult run(const std::vector<std::string>& args) { return testsupport::runPelgToMatlab(args, dir.path()); }
  bool exists(const std::string& name) const { return testsupport::fileExists(dir.file(name)); }

  TempDir dir;
};

// A file record at the given HUX interrupt rate whose first and last timed
// HUX packets carry these time and interrupt counters.
inline InputFileInfo huxSpan(int32_t fileNumber, int32_t rate, int32_t firstTime, int32_t firstInterrupt,
                             int32_t lastTime, int32_t rollover, int32_t lastInterrupt) {
  InputFileInfo info;
  info.fileNumber = fileNumber;
  info.huxInterruptRate = rate;
  info.huxFirstTimeCounter = firstTime;
  info.huxFirstInterruptCounter = firstInterrupt;
  info.huxLastTimeCounter = lastTime;
  info.huxRolloverInterrupts = rollover;
  info.huxLastInterruptCounter = lastInterrupt;
  return info;
}

}  // namespace drivertest
