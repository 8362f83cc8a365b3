#include "driver/summary_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/output_directory.h"
#include "support/test_support.h"

namespace {

using testsupport::CapturedConsole;
using testsupport::TempDir;

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
  std::vector<InputFileInfo> files(3);
  const std::vector<std::string> names{"pelgToMatlab", "-NoWavFile", "rec/b.pelg", "c:\\x\\a.pelg", "none.pelg"};
  files[0].fileNumber = 3;
  files[0].startTime = 1700000000123ULL;
  files[0].huxInterruptRate = 5120;
  files[0].huxFirstTimeCounter = 0;
  files[0].huxFirstInterruptCounter = 10;
  files[0].huxLastTimeCounter = 3;
  files[0].huxLastInterruptCounter = 100;  // 15450 interrupts
  files[1].fileNumber = 2;
  files[1].startTime = 1700000600000ULL;
  files[1].huxInterruptRate = 1000;  // its own rate (100 Hz): -1000 + 256000 - 999 + 5 = 254006
  files[1].huxFirstTimeCounter = 250;
  files[1].huxFirstInterruptCounter = 999;
  files[1].huxLastTimeCounter = 249;
  files[1].huxRolloverInterrupts = 256 * 1000;
  files[1].huxLastInterruptCounter = 5;
  files[2].fileNumber = 4;  // no timed HUX packet
  files[2].huxInterruptRate = 5120;

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
  std::vector<InputFileInfo> files(2);
  const std::vector<std::string> names{"pelgToMatlab", "a.pelg", "b.pelg"};
  files[0].fileNumber = 2;
  files[0].huxInterruptRate = 5120;
  files[1].fileNumber = 1;
  files[1].huxInterruptRate = 5120;
  CapturedConsole captured;
  writeSummaryFiles(files.data(), 2, names, dir.path() + "/missing/", captured.console());
  EXPECT_EQ(captured.out(), "# WARNING: [02] Unable to open summary file: " + dir.path() +
                                "/missing/b.pelg.stats\n"
                                "# WARNING: [01] Unable to open summary file: " +
                                dir.path() + "/missing/a.pelg.stats\n");
}

}  // namespace
