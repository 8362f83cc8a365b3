#include "driver/run_driver.h"

#include <memory>

#include "common/fatal_error.h"
#include "driver/clock_span_check.h"
#include "driver/command_line.h"
#include "driver/driver_status.h"
#include "driver/output_directory.h"
#include "driver/output_folder.h"
#include "driver/output_phase.h"
#include "driver/run_state.h"
#include "driver/sequence_validation.h"
#include "driver/summary_files.h"
#include "pass/packet_pass.h"

namespace {

constexpr const char* kSequenceValid = "# INFO: Sequence appears to be valid\n";
constexpr const char* kParsingFiles =
    "# INFO: Parsing files to determine Matlab array dimensions and to find any errors:\n";

// Command line, validation, the output directory, the scan pass, then either
// the .stats files or the output phase.
void runPhases(RunState& run, Console& console) {
  parseCommandLine(run.args, run.options, run.inputArgIndex, console);
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
  run.scanCounters = PassCounters{};
  runPacketPass(run.files.data(), run.fileCount(), run.args, run.options, run.scanCounters, nullptr,
                run.opener, console);
  if (run.options.checkHeaders)
    checkClockSpan(run.files.data(), run.fileCount(), run.validationFile.header.huxInfo.interrupt_count, run.args,
                   console);

  if (run.options.writeSummaryFile) {
    writeSummaryFiles(run.files.data(), run.fileCount(), run.args, run.options.outputDir, console);
    return;
  }
  runOutputPhase(run, console);
}

}  // namespace

int runPelgToMatlab(int argc, char** argv, Console& console) {
  // The run state is large (4096 file records, the output state), so it lives
  // on the heap for the length of the run.
  auto run = std::make_unique<RunState>(console);
  run->args.assign(argv, argv + argc);
  int status = driver_status::kSuccess;
  try {
    runPhases(*run, console);
  } catch (const FatalError& e) {
    status = e.status();
  }
  closeInput(run->validationFile);
  return status;
}
