// Everything a run holds from the command line to the end: the settings, the
// argument list, the input-file table, the counters of the two passes and the
// output state. One RunState is created by runPelgToMatlab and handed by
// reference to the phases; nothing else holds run state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/input_file_info.h"
#include "common/run_options.h"
#include "input/input_file.h"
#include "output/complete_data_plan.h"
#include "output/parse_state.h"
#include "common/pass_counters.h"

class ProgressDisplay;
class RunReportLines;

struct RunState {
  explicit RunState(Console& console) : opener(console) {}

  RunOptions options;
  std::vector<std::string> args;        // the argument list as the process received it
  std::vector<int32_t> inputArgIndex;   // index in args of each input file, command-line order
  std::vector<InputFileInfo> files = std::vector<InputFileInfo>(kMaxInputFiles);
  int32_t tivFileTally = 0;             // leading files with TIV data; -1 after one without
  InputFile validationFile;             // holds the last validated file's header afterwards
  InputOpener opener;
  PassCounters scanCounters;
  CompleteDataPlan scanPlan;             // the rows the completeData masks will mark
  PassCounters writeCounters;
  ParseState parseState;
  OutputFile report;                    // the run's report ("-jsonReport") while the run goes
  ProgressDisplay* progress = nullptr;  // the terminal's progress display, when shown (not owned)
  RunReportLines* reportLines = nullptr;  // the console's lines for the run's report (not owned)
  int32_t passesStarted = 0;             // 1 once the scan pass began, 2 once the write pass did
  bool outputsCommitted = false;         // the outputs are closed and in place

  int fileCount() const { return static_cast<int>(inputArgIndex.size()); }
};
