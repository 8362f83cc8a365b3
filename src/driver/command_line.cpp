#include "driver/command_line.h"

#include <sched.h>

#include <algorithm>
#include <limits>

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "common/input_file_info.h"
#include "driver/option_value.h"
#include "driver/usage_text.h"
#include "driver/version_text.h"
#include "pass/blacklist.h"

namespace {

constexpr const char* kBuffSizeLine = "# INFO: Buffer size of %d will be used\n";
constexpr const char* kOutputDirLine = "# INFO: Data will be created in directory: %s\n";
constexpr const char* kNoDataOutLine = "# INFO: writing of dataOut.mat disabled\n";
constexpr const char* kNoCompleteDataLine = "# INFO: writing of completeData.mat disabled\n";
constexpr const char* kNoWavFileLine = "# INFO: writing of completeSensorAudio.wav disabled\n";
constexpr const char* kMaxGapLine = "# INFO: Max gap between files is %d seconds\n";
constexpr const char* kDisableChecksLine1 = "# INFO: Error checking for headers is disabled\n";
constexpr const char* kDisableChecksLine2 = "# INFO: This may result in corrupt files\n";
constexpr const char* kIgnoreRolloverLine = "# INFO: Non-normal roll over events will be ignored\n";
constexpr const char* kPrintProgressLine = "# INFO: Progress will be printed as files are parsed\n";
constexpr const char* kIntegerOutputLine = "# INFO: Outputting integer values to .mat files\n";
constexpr const char* kMat73Line = "# INFO: MAT-files will be written as MAT v7.3 (HDF5)\n";
constexpr const char* kProgressMaxLine = "# INFO: Progress update will be printed every %d packets\n";
constexpr const char* kTimestampFileLine = "# INFO: ASCII timestamps will be written to timestamp.txt\n";
constexpr const char* kSummaryFileLine = "# INFO: Summary information will be written to .stats file\n";

constexpr const char* kUnrecognized = "# ERROR: Unrecognized command argument, %s\n";
constexpr const char* kMissingValue = "# ERROR: Missing value for option %s\n";
constexpr const char* kInvalidValue = "# ERROR: Invalid value for %s: %s (allowed %d to %d)\n";
constexpr const char* kTooManyFiles = "# ERROR: Too many pelg files on input path, unable to process\n";
constexpr const char* kMaxFiles = "# ERROR:  max files for this version is set to %d\n";

constexpr int32_t kMaxThreads = 1024;

// The cores this process may run on.
int32_t availableCores() {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (sched_getaffinity(0, sizeof cores, &cores) != 0) return 1;
  return std::clamp(CPU_COUNT(&cores), 1, kMaxThreads);
}

constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();

// Walks the argument list once; value-taking options consume the next argument.
class CommandLineParser {
 public:
  CommandLineParser(const std::vector<std::string>& args, RunOptions& options,
                    std::vector<int32_t>& inputArgIndex, Console& console)
      : args_(args), options_(options), inputArgIndex_(inputArgIndex), console_(console) {}

  void parse() {
    for (index_ = 1; index_ < args_.size(); ++index_) {
      const std::string& arg = args_[index_];
      if (!parseOption(arg)) addInputFile();
    }
  }

 private:
  // True when arg is an option (handled here); false for an input file name.
  bool parseOption(const std::string& arg) {
    if (arg == "--help" || arg == "-h") {
      // Only prints: the run ends here, successfully.
      printHelp(console_);
      throw FatalError(exit_status::kSuccess);
    } else if (arg == "--version") {
      printVersion(console_);
      throw FatalError(exit_status::kSuccess);
    } else if (arg == "-buffSize") {
      options_.buffSize = intValue(arg, kMinBuffSize, kMaxBuffSize);
      console_.out(kBuffSizeLine, options_.buffSize);
    } else if (arg == "-outputdir") {
      options_.outputDir = outputDirectoryFromOption(value(arg));
      console_.out(kOutputDirLine, options_.outputDir.c_str());
    } else if (arg == "-NoDataOut") {
      options_.writeDataOut = false;
      console_.out(kNoDataOutLine);
    } else if (arg == "-NoCompleteData") {
      options_.writeCompleteData = false;
      console_.out(kNoCompleteDataLine);
    } else if (arg == "-NoWavFile") {
      options_.writeWavFile = false;
      console_.out(kNoWavFileLine);
    } else if (arg == "-maxGap_sec") {
      options_.maxGap_sec = intValue(arg, kIntMin, kIntMax);
      console_.out(kMaxGapLine, options_.maxGap_sec);
    } else if (arg == "-disableChecks") {
      options_.checkHeaders = false;
      console_.out(kDisableChecksLine1);
      console_.out(kDisableChecksLine2);
    } else if (arg == "-ignoreRollover") {
      options_.checkRollover = false;
      console_.out(kIgnoreRolloverLine);
    } else if (arg == "-printProgress") {
      options_.printProgress = true;
      console_.out(kPrintProgressLine);
    } else if (arg == "-integerOutput") {
      options_.integerOutput = true;
      console_.out(kIntegerOutputLine);
    } else if (arg == "-mat73") {
      options_.forceMat73 = true;
      console_.out(kMat73Line);
    } else if (arg == "-printProgressMax") {
      options_.printProgressMax = intValue(arg, 1, kIntMax);
      console_.out(kProgressMaxLine, options_.printProgressMax);
    } else if (arg == "-threads") {
      // No line: the run reads the same whatever the number of threads.
      options_.threads = intValue(arg, 1, kMaxThreads);
    } else if (arg == "-jsonReport") {
      options_.jsonReportPath = value(arg);
    } else if (arg == "-blacklist") {
      options_.blacklistPath = value(arg);
      readBlacklist(options_, console_);
      options_.useBlacklist = true;
    } else if (arg == "-write_timestampFile") {
      options_.writeTimestampFile = true;
      console_.out(kTimestampFileLine);
    } else if (arg == "-write_summaryFile") {
      options_.writeSummaryFile = true;
      console_.out(kSummaryFileLine);
    } else if (!arg.empty() && arg[0] == '-') {
      console_.out(kUnrecognized, arg.c_str());
      exitRun(console_, exit_status::kBadArgument);
    } else {
      return false;
    }
    return true;
  }

  // Takes the argument after the option as its value.
  const std::string& value(const std::string& option) {
    if (index_ + 1 >= args_.size()) {
      console_.out(kMissingValue, option.c_str());
      exitRun(console_, exit_status::kBadArgument);
    }
    return args_[++index_];
  }

  int32_t intValue(const std::string& option, int32_t min, int32_t max) {
    const std::string& text = value(option);
    const int32_t number = parseOptionValue(text);
    if (number < min || number > max) {
      console_.out(kInvalidValue, option.c_str(), text.c_str(), min, max);
      exitRun(console_, exit_status::kBadArgument);
    }
    return number;
  }

  // The current argument is an input file name; its index is recorded.
  void addInputFile() {
    if (inputArgIndex_.size() >= static_cast<size_t>(kMaxInputFiles)) {
      console_.out(kTooManyFiles);
      console_.out(kMaxFiles, kMaxInputFiles);
      exitRun(console_, exit_status::kTooManyFiles);
    }
    inputArgIndex_.push_back(static_cast<int32_t>(index_));
  }

  const std::vector<std::string>& args_;
  RunOptions& options_;
  std::vector<int32_t>& inputArgIndex_;
  Console& console_;
  size_t index_ = 1;
};

}  // namespace

std::string outputDirectoryFromOption(const std::string& value) {
  if (value.empty()) return "./";
  const char last = value.back();
  if (last == '/' || last == '\\') return value;
  return value + "/";
}

void parseCommandLine(const std::vector<std::string>& args, RunOptions& options,
                      std::vector<int32_t>& inputArgIndex, Console& console) {
  if (args.size() < 2) {
    printUsage(console);
    throw FatalError(exit_status::kUsage);
  }
  options = RunOptions{};
  options.threads = availableCores();
  inputArgIndex.clear();
  CommandLineParser(args, options, inputArgIndex, console).parse();
  if (inputArgIndex.empty()) {
    printUsage(console);
    throw FatalError(exit_status::kUsage);
  }
}
