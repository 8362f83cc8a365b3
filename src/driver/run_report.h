// The run's account as JSON ("-jsonReport FILE"): the exit status and the
// ERROR lines, the WARNING lines by kind, per input file its start, span,
// packets and damage by kind, per channel the samples expected and found,
// every gap and pause of the time line with the roll-overs bridged, and the
// outputs written. Written like every output (under a temporary name, moved
// into place when whole), also when the run fails.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/console.h"

class OutputFile;
struct RunState;

// Listens to the console for the report: keeps the ERROR lines, and counts
// the WARNING lines by kind. The write pass repeats the scan pass's lines, so
// the lines of a pass replace those of the pass before; lines printed
// outside the passes are all kept.
class RunReportLines : public ConsoleListener {
 public:
  void beginPass();
  void endPass() { inPass_ = false; }
  void consoleLine(const char* format, const char* text) override;

  // The run's ERROR lines, in order, without their prefix.
  std::vector<std::string> errors() const;
  // The kinds of the run's WARNING lines with their counts.
  std::map<std::string, int64_t> warnings() const;

 private:
  bool inPass_ = false;
  int32_t passes_ = 0;  // passes begun
  struct ErrorLine {
    std::string text;
    int32_t pass = 0;  // the pass it was printed in; 0 outside the passes
  };
  std::vector<ErrorLine> errors_;
  std::map<std::string, int64_t> outsidePasses_;
  std::map<std::string, int64_t> lastPass_;
};

// A WARNING line's kind: the fixed text of its format, without the prefix,
// a leading "file index …, " and the newline, each conversion as "…".
std::string warningKind(const char* format);

// The report's JSON text for a run that ended with `status`.
std::string runReportJson(const RunState& run, const RunReportLines& lines, int status);

// Creates the report's temporary, right after the command line, so that a
// report that cannot be written ends the run before anything is read. Prints
// the failure and throws FatalError(-8).
void createRunReport(OutputFile& report, const std::string& path, Console& console);

// Writes the report into its temporary and moves it into place. A failure
// prints its lines and returns false.
bool writeRunReport(OutputFile& report, const RunState& run, const RunReportLines& lines, int status,
                    Console& console);
