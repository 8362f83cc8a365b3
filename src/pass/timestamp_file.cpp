#include "pass/timestamp_file.h"

#include "common/exit_status.h"
#include "common/fatal_error.h"

namespace {

constexpr const char* kFileName = "timestamps.txt";
constexpr const char* kUnableToOpen = "# ERROR: Unable to open %s\n";
constexpr const char* kWriting = "# INFO: Writing ascii timestamps to %s\n";
constexpr const char* kClosing = "# INFO: Closing timestmap.txt file\n";
constexpr const char* kExiting = "# INFO: Exiting\n";
constexpr const char* kLine = "%c, %d, %d, %d\n";


}  // namespace

std::string timestampFilePath(const std::string& outputDir) {
  if (outputDir.empty()) return kFileName;
  const char last = outputDir.back();
  if (last == '/' || last == '\\') return outputDir + kFileName;
  return outputDir + "/" + kFileName;
}

void openTimestampFile(RunOptions& options, Console& console) {
  closeTimestampFile(options);
  // Both lines name the directory, not the file; the next names the file
  // and the reason.
  if (!options.timestampFile.create(timestampFilePath(options.outputDir))) {
    console.out(kUnableToOpen, options.outputDir.c_str());
    reportOutputFailure(options.timestampFile, console);
    exitRun(console, exit_status::kTimestampRunEnd);
  }
  console.out(kWriting, options.outputDir.c_str());
}

void writeTimestampLine(OutputFile& file, char boardLetter, int32_t packetNumber, int32_t timeCounter,
                        int32_t interruptCounter) {
  // A failed write is kept by the file and reported when the run ends.
  file.print(kLine, boardLetter, packetNumber, timeCounter, interruptCounter);
}

void closeTimestampFile(RunOptions& options) { options.timestampFile.abandon(); }

void finishTimestampRun(RunOptions& options, Console& console) {
  console.out(kClosing);
  OutputFile& file = options.timestampFile;
  if (!file.finish() || !file.commit()) exitOnOutputFailure(file, console);
  console.out(kExiting);
  throw FatalError(exit_status::kTimestampRunEnd);
}
