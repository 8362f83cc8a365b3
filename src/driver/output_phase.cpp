#include "driver/output_phase.h"

#include <algorithm>

#include "driver/progress_display.h"
#include "driver/run_report.h"
#include "output/output_state.h"
#include "pass/packet_pass.h"

namespace {

constexpr const char* kScanningComplete = "# INFO: Scanning complete\n";
constexpr const char* kCreatingOutputs = "# INFO: Creating output files\n";
constexpr const char* kSummary = "# INFO: Summary:\n";

// Phase headings stand out from the lines before them by two empty lines.
void printHeading(const char* heading, Console& console) {
  console.out("\n");
  console.out("\n");
  console.out("%s", heading);
}

}  // namespace

SummaryInputs summaryInputsOf(const RunState& run) {
  SummaryInputs inputs;
  inputs.files = run.files.data();
  inputs.fileCount = run.fileCount();
  inputs.tivFileTally = run.tivFileTally;
  inputs.huxInterruptRate = run.validationFile.header.huxInfo.interrupt_count;
  inputs.tivInterruptRate = run.validationFile.header.tivInfo.interrupt_count;
  return inputs;
}

void runOutputPhase(RunState& run, Console& console) {
  const SummaryInputs summary = summaryInputsOf(run);
  printHeading(kScanningComplete, console);
  printSummaryReport(summary, run.scanCounters, console);

  printHeading(kCreatingOutputs, console);
  initParseState(run.parseState, console);
  OutputRequest request;
  request.outputDir = run.options.outputDir;
  request.integerOutput = run.options.integerOutput;
  request.writeWavFile = run.options.writeWavFile;
  request.writeDataOut = run.options.writeDataOut;
  request.writeCompleteData = run.options.writeCompleteData;
  request.forceMat73 = run.options.forceMat73;
  // The pass's thread and the outputs' thread first; the threads left write
  // the MAT-files' blocks behind.
  request.writeBehindThreads = std::max(0, run.options.threads - 2);
  // The outputs keep a reference to the scan counters as their expected sizes,
  // so the write pass counts into a set of its own.
  createOutputs(run.parseState, request, run.files.data(), run.fileCount(), run.args, run.scanCounters,
                &run.scanPlan);

  run.writeCounters = PassCounters{};
  for (InputFileInfo& info : run.files) resetPassTiming(info);
  if (run.progress) run.progress->startPass("write", 2, 2);
  run.passesStarted = 2;
  if (run.reportLines) run.reportLines->beginPass();
  runPacketPass(run.files.data(), run.fileCount(), run.args, run.options, run.writeCounters,
                &run.parseState, run.opener, console, run.progress);
  if (run.progress) run.progress->finishPass();
  if (run.reportLines) run.reportLines->endPass();

  printHeading(kSummary, console);
  printSummaryReport(summary, run.writeCounters, console);
  closeOutputs(run.parseState);
  run.outputsCommitted = true;
}
