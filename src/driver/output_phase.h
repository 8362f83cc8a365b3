// The second half of a full run: report the scan, create the outputs sized
// from its counts, run the write pass, report again and close the outputs.
#pragma once

#include "common/console.h"
#include "driver/run_state.h"
#include "driver/summary_report.h"

// Runs after the scan pass of a run that writes its outputs. Failures of the
// outputs or of the write pass throw FatalError from inside those steps.
void runOutputPhase(RunState& run, Console& console);

// The summary report's inputs: the sorted table, tivFileTally and the
// interrupt rates of the last file read during validation.
SummaryInputs summaryInputsOf(const RunState& run);
