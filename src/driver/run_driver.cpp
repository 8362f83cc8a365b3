#include "driver/run_driver.h"

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "driver/clock_span_check.h"
#include "driver/command_line.h"
#include "driver/output_directory.h"
#include "driver/output_folder.h"
#include "driver/output_phase.h"
#include "driver/progress_display.h"
#include "driver/run_report.h"
#include "driver/run_state.h"
#include "driver/sequence_validation.h"
#include "driver/summary_files.h"
#include "pass/packet_pass.h"

namespace {

constexpr const char* kSequenceValid = "# INFO: Sequence appears to be valid\n";
constexpr const char* kParsingFiles =
    "# INFO: Parsing files to determine Matlab array dimensions and to find any errors:\n";

bool isTerminal(FILE* stream) { return stream != nullptr && ::isatty(::fileno(stream)) == 1; }

// The size of a file in bytes; 0 when it cannot be known (standard input).
int64_t fileSize(const std::string& name) {
  struct stat info {};
  if (::stat(name.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  return static_cast<int64_t>(info.st_size);
}

// The progress display of the passes, only when the error stream is a
// terminal; the files in the order the passes read them.
std::unique_ptr<ProgressDisplay> makeProgressDisplay(const RunState& run, Console& console) {
  if (!isTerminal(console.errStream())) return nullptr;
  std::vector<int64_t> sizes;
  for (int i = 0; i < run.fileCount(); ++i)
    sizes.push_back(fileSize(run.args[static_cast<size_t>(run.files[static_cast<size_t>(i)].fileNumber)]));
  auto display = std::make_unique<ProgressDisplay>(console.errStream(), std::move(sizes),
                                                   isTerminal(console.outStream()));
  display->attach(console);
  return display;
}

// Command line, validation, the output directory, the scan pass, then either
// the .stats files or the output phase.
void runPhases(RunState& run, Console& console) {
  try {
    parseCommandLine(run.args, run.options, run.inputArgIndex, console);
  } catch (const FatalError&) {
    // A command line refused after "-jsonReport" still gets its report.
    if (!run.options.jsonReportPath.empty()) createRunReport(run.report, run.options.jsonReportPath, console);
    throw;
  }
  if (!run.options.jsonReportPath.empty()) createRunReport(run.report, run.options.jsonReportPath, console);
  for (InputFileInfo& info : run.files) info = InputFileInfo{};
  validateInputSequence(run.args, run.inputArgIndex, run.options, run.files, run.tivFileTally,
                        run.validationFile, run.opener, console);

  // Without "-outputdir" the outputs go next to the earliest file.
  if (run.options.outputDir.empty())
    run.options.outputDir =
        inferredOutputDirectory(run.args[static_cast<size_t>(run.files[0].fileNumber)]);
  // Before the scan pass: a folder that cannot take the outputs ends the run now.
  prepareOutputFolder(run.options.outputDir, console);

  console.out("\n");
  console.out("\n");
  console.out(kSequenceValid);
  console.out(kParsingFiles);
  // Cleared and taken off the console however the run ends.
  const std::unique_ptr<ProgressDisplay> progress = makeProgressDisplay(run, console);
  run.progress = progress.get();
  const bool scanOnly = run.options.writeTimestampFile || run.options.writeSummaryFile;
  if (progress) progress->startPass("scan", 1, scanOnly ? 1 : 2);
  run.scanCounters = PassCounters{};
  run.scanPlan = completeDataPlanFor(run.files[0]);
  run.passesStarted = 1;
  if (run.reportLines) run.reportLines->beginPass();
  // Only completeData.mat needs the count of its masks' rows.
  const bool plan = !scanOnly && run.options.writeCompleteData;
  runPacketPass(run.files.data(), run.fileCount(), run.args, run.options, run.scanCounters, nullptr,
                run.opener, console, progress.get(), plan ? &run.scanPlan : nullptr);
  if (progress) progress->finishPass();
  if (run.reportLines) run.reportLines->endPass();
  if (run.options.checkHeaders)
    checkClockSpan(run.files.data(), run.fileCount(), run.validationFile.header.huxInfo.interrupt_count, run.args,
                   console);

  if (run.options.writeSummaryFile) {
    run.progress = nullptr;
    writeSummaryFiles(run.files.data(), run.fileCount(), run.args, run.options.outputDir, console);
    return;
  }
  runOutputPhase(run, console);
  run.progress = nullptr;
}

}  // namespace

int runPelgToMatlab(int argc, char** argv, Console& console) {
  // The run state is large (4096 file records, the output state), so it lives
  // on the heap for the length of the run.
  auto run = std::make_unique<RunState>(console);
  run->args.assign(argv, argv + argc);
  // The report's ERROR lines and WARNING counts, from the first line on.
  RunReportLines lines;
  console.setListener(&lines);
  run->reportLines = &lines;
  int status = exit_status::kSuccess;
  try {
    runPhases(*run, console);
  } catch (const FatalError& e) {
    status = e.status();
  }
  console.setListener(nullptr);
  closeInput(run->validationFile);
  // Written also when the run failed; a report that cannot be written fails
  // a run that had succeeded.
  if (run->report && !writeRunReport(run->report, *run, lines, status, console) &&
      status == exit_status::kSuccess)
    status = exit_status::kOutputFailed;
  return status;
}
