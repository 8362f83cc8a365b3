#include "driver/usage_text.h"

namespace {

constexpr const char* kUsageLines[] = {
    "pelgToMatlab [-options] <input file(s)>\n",
    "   [-outputdir N]\n",
    "       Create all output in directory N rather than the inferred directory\n",
    "       (Default behavior is to figure out the path from the first input file)\n",
    "   [-NoDataOut]\n",
    "       Do not create a dataOut mat file\n",
    "   [-NoCompleteData]\n",
    "       Do not create a completeData mat file\n",
    "   [-NoWavFile]\n",
    "       Do not write a completeSensorAudio.wav file\n",
    "   [-buffSize N]\n",
    "       Read buffer size in bytes (default 200k)\n",
    "   [-maxGap_sec N]\n",
    "       Maximum gap between .pelg files (in seconds, default 50*60)\n",
    "   [-disableChecks]\n",
    "       Disable header comparisons for pelg files, may result in corrupt files\n",
    "   [-ignoreRollover]\n",
    "       Ignore roll over events that appear to be errors and continue\n",
    "   [-printProgress]\n",
    "       Print progress of the parser every printProgressMax packets (default 10,000)\n",
    "   [-printProgressMax N]\n",
    "       Print progress of the parser every N packets (default 10,000)\n",
    "   [-blacklist file.txt]\n",
    "       List of pelg packet numbers to ignore\n",
    "   [-write_timestampFile]\n",
    "       Write the pelg packet #, time_counter, and interrupt_counter to a file 'timestamp.txt'\n",
    "   [-integerOutput]\n",
    "       Write the integer output from the hux2 parser instead of the double output\n",
    "   [-write_summaryFile]\n",
    "       Write some summary information to an <input file>.stats file\n",
};

constexpr const char* kHelpOnlyLines[] = {
    "   [-threads N]\n",
    "       Threads to convert with, 1 to 1024 (default: the cores available)\n",
    "       The outputs and the console text are the same whatever N is\n",
    "   [-h | --help]\n",
    "       Print this text and end\n",
    "   [--version]\n",
    "       Print the versions of pelgToMatlab, libhdf5 and libsndfile and end\n",
};

}  // namespace

void printUsage(Console& console) {
  for (const char* line : kUsageLines) console.out("%s", line);
}

void printHelp(Console& console) {
  printUsage(console);
  for (const char* line : kHelpOnlyLines) console.out("%s", line);
}
