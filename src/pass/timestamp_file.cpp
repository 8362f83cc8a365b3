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

void openTimestampFile(OutputFile& file, const std::string& outputDir, Console& console) {
  // Both lines name the directory, not the file; the next names the file
  // and the reason.
  if (!file.create(timestampFilePath(outputDir))) {
    console.out(kUnableToOpen, outputDir.c_str());
    reportOutputFailure(file, console);
    exitRun(console, exit_status::kTimestampRunEnd);
  }
  console.out(kWriting, outputDir.c_str());
}

void writeTimestampLine(OutputFile& file, char boardLetter, int32_t packetNumber, int32_t timeCounter,
                        int32_t interruptCounter) {
  // A failed write is kept by the file and reported when the run ends.
  file.print(kLine, boardLetter, packetNumber, timeCounter, interruptCounter);
}

void finishTimestampRun(OutputFile& file, Console& console) {
  console.out(kClosing);
  if (!file.finish() || !file.commit()) exitOnOutputFailure(file, console);
  console.out(kExiting);
  throw FatalError(exit_status::kTimestampRunEnd);
}
