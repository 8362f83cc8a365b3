#include "pass/blacklist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/fatal_error.h"
#include "support/test_support.h"

namespace {

struct ReadResult {
  int status = 0;
  std::string out, err, path;
};

// Writes contents to a fresh file and reads it as a blacklist into options.
ReadResult read(RunOptions& options, const std::string& contents, const testsupport::TempDir& dir,
                const char* name = "bl.txt") {
  testsupport::CapturedConsole captured;
  ReadResult result;
  result.path = options.blacklistPath = dir.file(name);
  if (!contents.empty()) testsupport::writeFile(result.path, contents);
  try {
    readBlacklist(options, captured.console());
  } catch (const FatalError& e) {
    result.status = e.status();
  }
  result.out = captured.out();
  result.err = captured.err();
  return result;
}

std::string listed(const std::string& path, const std::string& lines) {
  return "# INFO: Reading blacklist data from file: " + path + "\n" + lines;
}

// Every line goes to the error stream; the list is kept sorted, duplicates included.
TEST(Blacklist, ReadsIntegersInFileOrderAndSortsThem) {
  const struct {
    const char* before;  // a blacklist file read earlier, "" for none
    const char* contents;
    std::string lines;
    std::vector<int32_t> list;
  } cases[] = {
      {"", "12\n7\n12\n",
       "# INFO: Blacklisted pelg packets: [  0]       12\n"
       "# INFO: Blacklisted pelg packets: [  1]        7\n"
       "# INFO: Blacklisted pelg packets: [  2]       12\n",
       {7, 12, 12}},
      // White space of every kind, signs, and a last number without a newline.
      {"", "  \t300\r\n+4 -2\n\n\n1234567",
       "# INFO: Blacklisted pelg packets: [  0]      300\n"
       "# INFO: Blacklisted pelg packets: [  1]        4\n"
       "# INFO: Blacklisted pelg packets: [  2]       -2\n"
       "# INFO: Blacklisted pelg packets: [  3]  1234567\n",
       {-2, 4, 300, 1234567}},
      {"", " \n\n", "", {}},
      {"", "2147483647 -2147483648",
       "# INFO: Blacklisted pelg packets: [  0]  2147483647\n"
       "# INFO: Blacklisted pelg packets: [  1]  -2147483648\n",
       {INT32_MIN, INT32_MAX}},
      // A second file adds to the list and sorts it again.
      {"50\n10\n", "30\n10\n",
       "# INFO: Blacklisted pelg packets: [  0]       30\n"
       "# INFO: Blacklisted pelg packets: [  1]       10\n",
       {10, 10, 30, 50}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.contents);
    testsupport::TempDir dir;
    RunOptions options;
    if (*c.before) read(options, c.before, dir, "before.txt");
    const ReadResult r = read(options, c.contents, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, listed(r.path, c.lines));
    EXPECT_EQ(options.blacklist, c.list);
  }
}

TEST(Blacklist, MissingFileOrATokenThatIsNotAnIntegerEndsWithStatusMinus2) {
  testsupport::TempDir dir;
  RunOptions options;
  ReadResult r = read(options, "", dir, "absent.txt");
  EXPECT_EQ(r.status, -2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, listed(r.path, "# ERROR: Unable to open blacklist file: " + r.path + "\n# ERROR: Exiting\n"));

  for (const char* token : {"abc", "5-3", "99999999999", "2147483648", "-2147483649", "12abc", "+", "-", "1.5",
                            "0x10"}) {
    r = read(options, std::string("3\n") + token + "\n4\n", dir);
    EXPECT_EQ(r.status, -2) << token;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, listed(r.path, "# ERROR: Blacklist file " + r.path +
                                        " holds a token that is not an integer: " + token + "\n# ERROR: Exiting\n"));
  }
}

TEST(Blacklist, IsBlacklistedAnswersAndPrintsSkipping) {
  const std::vector<int32_t> list{7, 12, 12};
  const struct {
    int32_t packet;
    int expected;
  } cases[] = {{6, 1}, {7, -1}, {8, 1}, {11, 1}, {12, -1}, {13, 1}, {-1, 1}, {1000000, 1}};
  for (const auto& c : cases) {
    testsupport::CapturedConsole captured;
    EXPECT_EQ(isBlacklisted(list, c.packet, captured.console()), c.expected) << c.packet;
    EXPECT_EQ(captured.out(), c.expected == -1 ? "# INFO: Skipping blacklisted pelg packet " +
                                                     std::string(c.packet < 10 ? "      " : "     ") +
                                                     std::to_string(c.packet) + "\n"
                                               : "");
    EXPECT_EQ(captured.err(), "");
  }
  testsupport::CapturedConsole captured;
  EXPECT_EQ(isBlacklisted({}, 0, captured.console()), 1);
  EXPECT_EQ(isBlacklisted({1234567}, 1234567, captured.console()), -1);
  EXPECT_EQ(captured.out(), "# INFO: Skipping blacklisted pelg packet 1234567\n");
}

}  // namespace
