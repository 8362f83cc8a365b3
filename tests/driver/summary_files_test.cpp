#include "driver/summary_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/fatal_error.h"
#include "driver/output_directory.h"
#include "driver_test_util.h"

using namespace drivertest;

namespace {

using testsupport::CapturedConsole;

TEST(OutputDirectory, InferredFromTheLaterSeparator) {
  const struct {
    const char* name;
    const char* dir;
    const char* base;
  } cases[] = {
      {"a.pelg", "./", "a.pelg"},
      {"data/a.pelg", "data/", "a.pelg"},
      {"/abs/dir/a.pelg", "/abs/dir/", "a.pelg"},
      {"c:\\rec\\a.pelg", "c:\\rec\\", "a.pelg"},
      {"x\\y/z\\a.pelg", "x\\y/z\\", "a.pelg"},
      {"x/y\\z/a.pelg", "x/y\\z/", "a.pelg"},
      {"dir/", "dir/", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(inferredOutputDirectory(c.name), c.dir) << c.name;
    EXPECT_EQ(baseName(c.name), c.base) << c.name;
  }
}

TEST(SummaryFiles, StartTimeAndDurationPerFile) {
  TempDir dir;
  const std::vector<std::string> names{"pelgToMatlab", "-NoWavFile", "rec/b.pelg", "c:\\x\\a.pelg", "none.pelg"};
  std::vector<InputFileInfo> files{
      huxSpan(3, 5120, 0, 10, 3, 0, 100),  // 15450 interrupts
      // At its own rate (100 Hz): -1000 + 256000 - 999 + 5 = 254006 interrupts.
      huxSpan(2, 1000, 250, 999, 249, 256 * 1000, 5),
      huxSpan(4, 5120, -1, -1, -1, 0, -1)};  // no timed HUX packet
  files[0].startTime = 1700000000123ULL;
  files[1].startTime = 1700000600000ULL;

  CapturedConsole captured;
  writeSummaryFiles(files.data(), 3, names, dir.path() + "/", captured.console());
  EXPECT_EQ(captured.out(), "");
  EXPECT_EQ(testsupport::readFile(dir.file("a.pelg.stats")),
            "\"start_time\", 1700000000123\n\"duration_sec\", 30.176\n");
  EXPECT_EQ(testsupport::readFile(dir.file("b.pelg.stats")),
            "\"start_time\", 1700000600000\n\"duration_sec\", 2540.060\n");
  EXPECT_EQ(testsupport::readFile(dir.file("none.pelg.stats")),
            "\"start_time\", 0\n\"duration_sec\", 0.000\n");
}

// A summary file that cannot be made ends the run (status -8) with the path
// and the system's reason; the files written before it stay, complete.
TEST(SummaryFiles, UncreatableFileEndsTheRun) {
  const std::vector<std::string> names{"pelgToMatlab", "a.pelg", "b.pelg"};
  std::vector<InputFileInfo> files{huxSpan(2, 5120, -1, -1, -1, 0, -1), huxSpan(1, 5120, -1, -1, -1, 0, -1)};
  const struct {
    const char* folder;    // under the scratch directory
    const char* inTheWay;  // a directory of that name in it
    std::string lines;     // '%' stands for the output directory
    std::vector<std::string> left;
  } cases[] = {
      {"missing/", nullptr,
       "# WARNING: [02] Unable to open summary file: %b.pelg.stats\n"
       "# ERROR: Unable to create %.b.pelg.stats.partial: No such file or directory\n# ERROR: Exiting\n",
       {}},
      {"", "a.pelg.stats",
       "# WARNING: [01] Unable to open summary file: %a.pelg.stats\n"
       "# ERROR: Unable to create %a.pelg.stats: Is a directory\n# ERROR: Exiting\n",
       {"a.pelg.stats", "b.pelg.stats"}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string folder = dir.path() + "/" + c.folder;
    if (c.inTheWay) std::filesystem::create_directory(folder + c.inTheWay);
    CapturedConsole captured;
    int status = 0;
    try {
      writeSummaryFiles(files.data(), 2, names, folder, captured.console());
    } catch (const FatalError& e) {
      status = e.status();
    }
    EXPECT_EQ(status, -8);
    std::string lines;
    for (char ch : c.lines) lines += ch == '%' ? folder : std::string(1, ch);
    EXPECT_EQ(captured.out(), lines);
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
      left.push_back(entry.path().filename().string());
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, c.left);
  }
}

}  // namespace
