#include "driver/summary_files.h"

#include "common/output_file.h"
#include "driver/output_directory.h"
#include "driver/summary_report.h"

namespace {

constexpr const char* kCannotCreate = "# WARNING: [%02d] Unable to open summary file: %s\n";
constexpr const char* kStartTime = "\"start_time\", %llu\n";
constexpr const char* kDuration = "\"duration_sec\", %.3f\n";
constexpr const char* kExtension = ".stats";

}  // namespace

double huxDurationSeconds(const InputFileInfo& info) {
  const int32_t rate = info.huxInterruptRate;
  const int64_t interrupts = huxSpanEnd(info, rate) - huxSpanStart(info, rate);
  return static_cast<double>(interrupts) / rate * 10;
}

void writeSummaryFiles(const InputFileInfo* files, int count, const std::vector<std::string>& names,
                       const std::string& outputDir, Console& console) {
  for (int k = 0; k < count; ++k) {
    const InputFileInfo& info = files[k];
    const std::string path = outputDir + baseName(names[static_cast<size_t>(info.fileNumber)]) + kExtension;
    // Each file takes its name once written whole (see OutputFile); one that
    // cannot be made ends the run, which would otherwise pass for complete.
    OutputFile file;
    if (!file.create(path)) {
      console.out(kCannotCreate, info.fileNumber, path.c_str());
      exitOnOutputFailure(file, console);
    }
    file.print(kStartTime, static_cast<unsigned long long>(info.startTime));
    file.print(kDuration, huxDurationSeconds(info));
    if (!file.finish() || !file.commit()) exitOnOutputFailure(file, console);
  }
}
