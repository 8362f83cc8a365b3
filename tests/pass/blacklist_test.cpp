#include "pass/blacklist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/fatal_error.h"
#include "support/test_support.h"

namespace {

using testsupport::CapturedConsole;
using testsupport::TempDir;

struct ReadResult {
  int status = 0;
  std::string out;
  std::string err;
};

ReadResult read(RunOptions& options, const std::string& path) {
  CapturedConsole captured;
  ReadResult result;
  options.blacklistPath = path;
  try {
    readBlacklist(options, captured.console());
  } catch (const FatalError& e) {
    result.status = e.status();
  }
  result.out = captured.out();
  result.err = captured.err();
  return result;
}

TEST(Blacklist, ListsInFileOrderAndKeepsSortedDuplicates) {
  TempDir dir;
  const std::string path = dir.file("bl.txt");
  testsupport::writeFile(path, "12\n7\n12\n");
  RunOptions options;
  const ReadResult r = read(options, path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "# INFO: Reading blacklist data from file: " + path +
                       "\n"
                       "# INFO: Blacklisted pelg packets: [  0]       12\n"
                       "# INFO: Blacklisted pelg packets: [  1]        7\n"
                       "# INFO: Blacklisted pelg packets: [  2]       12\n");
  EXPECT_EQ(options.blacklist, (std::vector<int32_t>{7, 12, 12}));
}

TEST(Blacklist, WhiteSpaceAndLastNumberWithoutNewline) {
  TempDir dir;
  const std::string path = dir.file("bl.txt");
  testsupport::writeFile(path, "  \t300\r\n+4 -2\n\n\n1234567");
  RunOptions options;
  const ReadResult r = read(options, path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "# INFO: Reading blacklist data from file: " + path +
                       "\n"
                       "# INFO: Blacklisted pelg packets: [  0]      300\n"
                       "# INFO: Blacklisted pelg packets: [  1]        4\n"
                       "# INFO: Blacklisted pelg packets: [  2]       -2\n"
                       "# INFO: Blacklisted pelg packets: [  3]  1234567\n");
  EXPECT_EQ(options.blacklist, (std::vector<int32_t>{-2, 4, 300, 1234567}));
}

TEST(Blacklist, EmptyFileGivesEmptyList) {
  TempDir dir;
  testsupport::writeFile(dir.file("bl.txt"), " \n\n");
  RunOptions options;
  const ReadResult r = read(options, dir.file("bl.txt"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "# INFO: Reading blacklist data from file: " + dir.file("bl.txt") + "\n");
  EXPECT_TRUE(options.blacklist.empty());
}

TEST(Blacklist, SecondFileAddsToTheListAndSortsAgain) {
  TempDir dir;
  testsupport::writeFile(dir.file("a.txt"), "50\n10\n");
  testsupport::writeFile(dir.file("b.txt"), "30\n10\n");
  RunOptions options;
  read(options, dir.file("a.txt"));
  const ReadResult r = read(options, dir.file("b.txt"));
  EXPECT_EQ(r.err, "# INFO: Reading blacklist data from file: " + dir.file("b.txt") +
                       "\n"
                       "# INFO: Blacklisted pelg packets: [  0]       30\n"
                       "# INFO: Blacklisted pelg packets: [  1]       10\n");
  EXPECT_EQ(options.blacklist, (std::vector<int32_t>{10, 10, 30, 50}));
}

TEST(Blacklist, MissingFileEndsWithStatusMinus2OnTheErrorStream) {
  TempDir dir;
  const std::string path = dir.file("absent.txt");
  RunOptions options;
  const ReadResult r = read(options, path);
  EXPECT_EQ(r.status, -2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "# INFO: Reading blacklist data from file: " + path +
                       "\n# ERROR: Unable to open blacklist file: " + path + "\n# ERROR: Exiting\n");
}

TEST(Blacklist, TokensThatAreNotIntegersEndWithStatusMinus2) {
  for (const char* token : {"abc", "5-3", "99999999999", "2147483648", "-2147483649", "12abc", "+", "-",
                            "1.5", "0x10"}) {
    TempDir dir;
    const std::string path = dir.file("bl.txt");
    testsupport::writeFile(path, std::string("3\n") + token + "\n4\n");
    RunOptions options;
    const ReadResult r = read(options, path);
    EXPECT_EQ(r.status, -2) << token;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "# INFO: Reading blacklist data from file: " + path +
                         "\n# ERROR: Blacklist file " + path + " holds a token that is not an integer: " +
                         token + "\n# ERROR: Exiting\n");
  }
}

TEST(Blacklist, ThirtyTwoBitLimitsAreIntegers) {
  TempDir dir;
  testsupport::writeFile(dir.file("bl.txt"), "2147483647 -2147483648");
  RunOptions options;
  EXPECT_EQ(read(options, dir.file("bl.txt")).status, 0);
  EXPECT_EQ(options.blacklist, (std::vector<int32_t>{INT32_MIN, INT32_MAX}));
}

TEST(Blacklist, IsBlacklistedAnswersAndPrintsSkipping) {
  const std::vector<int32_t> list{7, 12, 12};
  const struct {
    int32_t packet;
    int expected;
  } cases[] = {{6, 1}, {7, -1}, {8, 1}, {11, 1}, {12, -1}, {13, 1}, {-1, 1}, {1000000, 1}};
  for (const auto& c : cases) {
    CapturedConsole captured;
    EXPECT_EQ(isBlacklisted(list, c.packet, captured.console()), c.expected) << c.packet;
    if (c.expected == -1) {
      EXPECT_EQ(captured.out(), "# INFO: Skipping blacklisted pelg packet " +
                                    std::string(c.packet < 10 ? "      " : "     ") +
                                    std::to_string(c.packet) + "\n");
    } else {
      EXPECT_EQ(captured.out(), "");
    }
    EXPECT_EQ(captured.err(), "");
  }
  CapturedConsole captured;
  EXPECT_EQ(isBlacklisted({}, 0, captured.console()), 1);
  EXPECT_EQ(isBlacklisted({1234567}, 1234567, captured.console()), -1);
  EXPECT_EQ(captured.out(), "# INFO: Skipping blacklisted pelg packet 1234567\n");
}

}  // namespace
