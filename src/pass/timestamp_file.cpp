#include "pass/timestamp_file.h"

#include <cstdio>

#include "common/fatal_error.h"

namespace {

constexpr const char* kFileName = "timestamps.txt";
constexpr const char* kUnableToOpen = "# ERROR: Unable to open %s\n";
constexpr const char* kWriting = "# INFO: Writing ascii timestamps to %s\n";
constexpr const char* kClosing = "# INFO: Closing timestmap.txt file\n";
constexpr const char* kExiting = "# INFO: Exiting\n";
constexpr const char* kLine = "%c, %d, %d, %d\n";

constexpr int kTimestampRunStatus = -1;

}  // namespace

std::string timestampFilePath(const std::string& outputDir) {
  if (outputDir.empty()) return kFileName;
  return outputDir + "/" + kFileName;
}

void openTimestampFile(RunOptions& options, Console& console) {
  closeTimestampFile(options);
  const std::string path = timestampFilePath(options.outputDir);
  // Binary mode: every line ends in a single line feed.
  options.timestampFile = std::fopen(path.c_str(), "wb");
  // Both lines name the directory, not the file.
  if (!options.timestampFile) {
    console.out(kUnableToOpen, options.outputDir.c_str());
    exitRun(console, kTimestampRunStatus);
  }
  console.out(kWriting, options.outputDir.c_str());
}

void writeTimestampLine(FILE* file, char boardLetter, int32_t packetNumber, int32_t timeCounter,
                        int32_t interruptCounter) {
  std::fprintf(file, kLine, boardLetter, packetNumber, timeCounter, interruptCounter);
}

void closeTimestampFile(RunOptions& options) {
  if (options.timestampFile) std::fclose(options.timestampFile);
  options.timestampFile = nullptr;
}

void finishTimestampRun(RunOptions& options, Console& console) {
  console.out(kClosing);
  closeTimestampFile(options);
  console.out(kExiting);
  throw FatalError(kTimestampRunStatus);
}
