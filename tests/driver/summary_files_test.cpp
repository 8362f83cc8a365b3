#include "driver/summary_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(SummaryFiles, UncreatableFileWarnsAndGoesOn) {
  TempDir dir;
  const std::vector<std::string> names{"pelgToMatlab", "a.pelg", "b.pelg"};
  std::vector<InputFileInfo> files{huxSpan(2, 5120, -1, -1, -1, 0, -1), huxSpan(1, 5120, -1, -1, -1, 0, -1)};
  CapturedConsole captured;
  writeSummaryFiles(files.data(), 2, names, dir.path() + "/missing/", captured.console());
  EXPECT_EQ(captured.out(), "# WARNING: [02] Unable to open summary file: " + dir.path() +
                                "/missing/b.pelg.stats\n"
                                "# WARNING: [01] Unable to open summary file: " +
                                dir.path() + "/missing/a.pelg.stats\n");
}

}  // namespace
