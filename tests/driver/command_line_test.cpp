#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "common/fatal_error.h"
#include "driver/option_value.h"
#include "driver_test_util.h"

using drivertest::kUsage;

namespace {

using testsupport::CapturedConsole;

struct Parsed {
  int status = 0;  // 0 when parsing succeeded
  std::string out;
  std::string err;
  RunOptions options;
  std::vector<int32_t> inputArgIndex;
};

Parsed parse(std::vector<std::string> rest) {
  std::vector<std::string> args{"pelgToMatlab"};
  args.insert(args.end(), rest.begin(), rest.end());
  CapturedConsole captured;
  Parsed parsed;
  try {
    parseCommandLine(args, parsed.options, parsed.inputArgIndex, captured.console());
  } catch (const FatalError& e) {
    parsed.status = e.status();
  }
  parsed.out = captured.out();
  parsed.err = captured.err();
  return parsed;
}

TEST(OptionValue, FollowsAtoiAndSaturates) {
  const struct {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"12", 12},          {"  \t\n7", 7},       {"+7", 7},           {"-5", -5},
      {"abc", 0},          {"", 0},              {"200k", 200},       {"- 3", 0},
      {"--3", 0},          {"3.9", 3},           {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},                   {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},                  {"99999999999999999999999", INT_MAX},
      {"-99999999999999999999999", INT_MIN},     {"00000000000000000000042", 42},
  };
  for (const auto& c : cases) EXPECT_EQ(parseOptionValue(c.text), c.expected) << c.text;
}

TEST(CommandLine, DefaultsAndFileIndexes) {
  const Parsed p = parse({"a.pelg", "b.pelg", "a.pelg"});
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.inputArgIndex, (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(p.options.buffSize, 204800);
  EXPECT_EQ(p.options.maxGap_sec, 3000);
  EXPECT_EQ(p.options.printProgressMax, 10000);
  EXPECT_TRUE(p.options.checkHeaders);
  EXPECT_TRUE(p.options.checkRollover);
  EXPECT_TRUE(p.options.writeDataOut && p.options.writeCompleteData && p.options.writeWavFile);
  EXPECT_FALSE(p.options.writeSummaryFile || p.options.writeTimestampFile || p.options.printProgress ||
               p.options.useBlacklist || p.options.integerOutput || p.options.forceMat73);
  EXPECT_EQ(p.options.outputDir, "");
  // As many threads as the machine has cores (the tests run unpinned).
  EXPECT_EQ(p.options.threads, static_cast<int32_t>(std::thread::hardware_concurrency()));
}

TEST(CommandLine, EveryOptionPrintsItsLineAndSetsItsField) {
  const Parsed p = parse({"-buffSize", "8192", "x.pelg", "-outputdir", "out", "-NoDataOut",
                          "-NoCompleteData", "-NoWavFile", "-maxGap_sec", "60", "-disableChecks",
                          "-ignoreRollover", "-printProgress", "-integerOutput", "-mat73",
                          "-printProgressMax", "50", "-write_timestampFile", "-write_summaryFile",
                          "y.pelg"});
  ASSERT_EQ(p.status, 0);
  EXPECT_EQ(p.out,
            "# INFO: Buffer size of 8192 will be used\n"
            "# INFO: Data will be created in directory: out/\n"
            "# INFO: writing of dataOut.mat disabled\n"
            "# INFO: writing of completeData.mat disabled\n"
            "# INFO: writing of completeSensorAudio.wav disabled\n"
            "# INFO: Max gap between files is 60 seconds\n"
            "# INFO: Error checking for headers is disabled\n"
            "# INFO: This may result in corrupt files\n"
            "# INFO: Non-normal roll over events will be ignored\n"
            "# INFO: Progress will be printed as files are parsed\n"
            "# INFO: Outputting integer values to .mat files\n"
            "# INFO: MAT-files will be written as MAT v7.3 (HDF5)\n"
            "# INFO: Progress update will be printed every 50 packets\n"
            "# INFO: ASCII timestamps will be written to timestamp.txt\n"
            "# INFO: Summary information will be written to .stats file\n");
  EXPECT_EQ(p.inputArgIndex, (std::vector<int32_t>{3, 20}));
  const RunOptions& o = p.options;
  EXPECT_EQ(o.buffSize, 8192);
  EXPECT_EQ(o.outputDir, "out/");
  EXPECT_FALSE(o.writeDataOut || o.writeCompleteData || o.writeWavFile);
  EXPECT_EQ(o.maxGap_sec, 60);
  EXPECT_FALSE(o.checkHeaders || o.checkRollover);
  EXPECT_TRUE(o.printProgress && o.integerOutput && o.writeTimestampFile && o.writeSummaryFile);
  EXPECT_TRUE(o.forceMat73);
  EXPECT_EQ(o.printProgressMax, 50);
}

TEST(CommandLine, OutputDirectoryForms) {
  const struct {
    const char* value;
    const char* dir;
  } cases[] = {{"out", "out/"}, {"out/", "out/"},   {"out\\", "out\\"},
               {"", "./"},      {"/a/b", "/a/b/"}, {"-NoDataOut", "-NoDataOut/"}};  // a value, not an option
  for (const auto& c : cases) {
    const Parsed p = parse({"-outputdir", c.value, "a.pelg"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.options.outputDir, c.dir) << c.value;
    EXPECT_EQ(p.out, std::string("# INFO: Data will be created in directory: ") + c.dir + "\n");
    EXPECT_TRUE(p.options.writeDataOut);
  }
}

// A value is the next argument whatever it looks like, read as atoi reads it.
TEST(CommandLine, OptionValues) {
  const struct {
    std::vector<std::string> args;
    int32_t RunOptions::*field;
    int32_t value;
    const char* out;
  } cases[] = {
      {{"-maxGap_sec", "-5"}, &RunOptions::maxGap_sec, -5, "# INFO: Max gap between files is -5 seconds\n"},
      {{"-maxGap_sec", "abc"}, &RunOptions::maxGap_sec, 0, "# INFO: Max gap between files is 0 seconds\n"},
      {{"-maxGap_sec", "99999999999"}, &RunOptions::maxGap_sec, INT_MAX,
       "# INFO: Max gap between files is 2147483647 seconds\n"},
      {{"-buffSize", "8192k"}, &RunOptions::buffSize, 8192, "# INFO: Buffer size of 8192 will be used\n"},
      {{"-buffSize", "4106"}, &RunOptions::buffSize, 4106, "# INFO: Buffer size of 4106 will be used\n"},
      {{"-buffSize", "1073741824"}, &RunOptions::buffSize, 1073741824,
       "# INFO: Buffer size of 1073741824 will be used\n"},
      // Setting the interval alone does not switch progress printing on.
      {{"-printProgressMax", "1"}, &RunOptions::printProgressMax, 1,
       "# INFO: Progress update will be printed every 1 packets\n"},
      // No line: the console must read the same whatever the threads.
      {{"-threads", "8"}, &RunOptions::threads, 8, ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("a.pelg");
    const Parsed p = parse(args);
    EXPECT_EQ(p.status, 0) << c.args[1];
    EXPECT_EQ(p.options.*c.field, c.value) << c.args[1];
    EXPECT_EQ(p.out, c.out);
    EXPECT_EQ(p.inputArgIndex, (std::vector<int32_t>{3})) << c.args[1];
    EXPECT_FALSE(p.options.printProgress) << c.args[1];
  }
}

TEST(CommandLine, RepeatsPrintAgainAndTheLastValueWins) {
  const Parsed p = parse({"-maxGap_sec", "10", "-NoWavFile", "a.pelg", "-maxGap_sec", "20", "-NoWavFile"});
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.options.maxGap_sec, 20);
  EXPECT_EQ(p.out,
            "# INFO: Max gap between files is 10 seconds\n"
            "# INFO: writing of completeSensorAudio.wav disabled\n"
            "# INFO: Max gap between files is 20 seconds\n"
            "# INFO: writing of completeSensorAudio.wav disabled\n");
}

TEST(CommandLine, UnrecognisedArgumentsEndWithStatusMinus3) {
  for (const char* arg : {"-nowavfile", "-NoWavFile2", "-NoWav", "-", "-outputdir=out", "--NoWavFile"}) {
    const Parsed p = parse({"-NoDataOut", arg, "a.pelg"});
    EXPECT_EQ(p.status, -3) << arg;
    EXPECT_EQ(p.out, std::string("# INFO: writing of dataOut.mat disabled\n"
                                 "# ERROR: Unrecognized command argument, ") +
                         arg + "\n# ERROR: Exiting\n");
  }
}

TEST(CommandLine, UnusableValuesAreRefused) {
  std::vector<std::pair<std::vector<std::string>, std::string>> cases;
  for (const char* option : {"-maxGap_sec", "-buffSize", "-outputdir", "-printProgressMax", "-blacklist", "-threads"})
    cases.push_back({{"a.pelg", option}, std::string("# ERROR: Missing value for option ") + option + "\n"});
  for (const char* value : {"200", "200k", "4105", "1073741825", "99999999999"})
    cases.push_back({{"-buffSize", value, "a.pelg"},
                     std::string("# ERROR: Invalid value for -buffSize: ") + value + " (allowed 4106 to 1073741824)\n"});
  for (const char* value : {"0", "-4"})
    cases.push_back({{"-printProgressMax", value, "a.pelg"}, std::string("# ERROR: Invalid value for -printProgressMax: ") +
                                                                 value + " (allowed 1 to 2147483647)\n"});
  for (const char* value : {"0", "1025"})
    cases.push_back({{"-threads", value, "a.pelg"},
                     std::string("# ERROR: Invalid value for -threads: ") + value + " (allowed 1 to 1024)\n"});
  for (const auto& [args, out] : cases) {
    const Parsed p = parse(args);
    EXPECT_EQ(p.status, -3) << out;
    EXPECT_EQ(p.out, out + "# ERROR: Exiting\n");
  }
}

TEST(CommandLine, NoInputFilePrintsUsage) {
  Parsed p = parse({});
  EXPECT_EQ(p.status, -1);
  EXPECT_EQ(p.out, kUsage);
  p = parse({"-NoWavFile"});
  EXPECT_EQ(p.status, -1);
  EXPECT_EQ(p.out, std::string("# INFO: writing of completeSensorAudio.wav disabled\n") + kUsage);
}

TEST(CommandLine, AtMost4096InputFiles) {
  std::vector<std::string> names(4096, "missing.pelg");
  Parsed p = parse(names);
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.inputArgIndex.size(), 4096u);
  EXPECT_EQ(p.inputArgIndex.back(), 4096);

  names.push_back("-NoWavFile");  // options after the last name still count nothing
  names.push_back("one-more.pelg");
  p = parse(names);
  EXPECT_EQ(p.status, -4);
  EXPECT_EQ(p.out,
            "# INFO: writing of completeSensorAudio.wav disabled\n"
            "# ERROR: Too many pelg files on input path, unable to process\n"
            "# ERROR:  max files for this version is set to 4096\n"
            "# ERROR: Exiting\n");
}

TEST(CommandLine, BlacklistIsReadWhenMet) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir.file("bl.txt"), "5\n");
  Parsed p = parse({"-blacklist", dir.file("bl.txt"), "a.pelg", "-blacklist", dir.file("none.txt")});
  EXPECT_EQ(p.status, -2);
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.err, "# INFO: Reading blacklist data from file: " + dir.file("bl.txt") +
                       "\n# INFO: Blacklisted pelg packets: [  0]        5\n"
                       "# INFO: Reading blacklist data from file: " + dir.file("none.txt") +
                       "\n# ERROR: Unable to open blacklist file: " + dir.file("none.txt") +
                       "\n# ERROR: Exiting\n");

  p = parse({"-blacklist", dir.file("bl.txt"), "a.pelg"});
  EXPECT_EQ(p.status, 0);
  EXPECT_TRUE(p.options.useBlacklist);
  EXPECT_EQ(p.options.blacklistPath, dir.file("bl.txt"));
  EXPECT_EQ(p.options.blacklist, (std::vector<int32_t>{5}));
}

}  // namespace

namespace {

const std::string kHelpOnly =
    "   [-threads N]\n"
    "       Threads to convert with, 1 to 1024 (default: the cores available)\n"
    "       The outputs and the console text are the same whatever N is\n"
    "   [-h | --help]\n"
    "       Print this text and end\n"
    "   [--version]\n"
    "       Print the versions of pelgToMatlab, libhdf5 and libsndfile and end\n";

TEST(CommandLine, HelpPrintsUsageAndEndsWithStatus0) {
  const struct {
    std::vector<std::string> args;
    std::string before;  // lines of the options met before the help
  } cases[] = {
      {{"--help"}, ""},
      {{"-h"}, ""},
      {{"-h", "a.pelg"}, ""},
      {{"a.pelg", "--help", "-bogus"}, ""},
      {{"-NoWavFile", "-h"}, "# INFO: writing of completeSensorAudio.wav disabled\n"},
  };
  for (const auto& c : cases) {
    const Parsed p = parse(c.args);
    EXPECT_EQ(p.status, 0) << c.args[0];
    EXPECT_EQ(p.out, c.before + kUsage + kHelpOnly) << c.args[0];
    EXPECT_EQ(p.err, "");
  }
}

TEST(CommandLine, VersionNamesTheLibrariesAndEndsWithStatus0) {
  const Parsed p = parse({"--version"});
  EXPECT_EQ(p.status, 0);
  EXPECT_TRUE(::testing::internal::RE::PartialMatch(
      p.out, "^pelgToMatlab [0-9]+\\.[0-9]+\\.[0-9]+\nCreated by pelgToMatlab \\((Linux|Win32)\\), compiled on "
             "[A-Z][a-z][a-z] [ 0-9][0-9] [0-9]{4} at [0-9][0-9]:[0-9][0-9]:[0-9][0-9]\nlibhdf5 [0-9]+\\.[0-9]+\\.[0-9]+\n"
             "libsndfile libsndfile-[0-9]+\\.[0-9]+\\.[0-9]+.*\n$"))
      << p.out;
}

TEST(CommandLine, HelpAndVersionOnlyWhereAnOptionIsExpected) {
  // As the value of a value-taking option they are that value.
  Parsed p = parse({"-outputdir", "--help", "a.pelg"});
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.options.outputDir, "--help/");
  EXPECT_EQ(p.inputArgIndex, (std::vector<int32_t>{3}));
  // Other spellings stay unrecognised arguments.
  for (const char* arg : {"-help", "--Help", "-version", "--VERSION", "-H", "--h"}) {
    p = parse({arg, "a.pelg"});
    EXPECT_EQ(p.status, -3) << arg;
    EXPECT_EQ(p.out, std::string("# ERROR: Unrecognized command argument, ") + arg + "\n# ERROR: Exiting\n");
  }
}

}  // namespace

namespace {

TEST(CommandLine, TheProgramEndsWithStatus0AfterHelpAndVersion) {
  for (const char* arg : {"--help", "-h", "--version"}) {
    const testsupport::RunResult r = testsupport::runPelgToMatlab({arg});
    EXPECT_EQ(r.status, 0) << arg;
    EXPECT_EQ(r.err, "") << arg;
    EXPECT_NE(r.out.find(std::string(arg) == "--version" ? "libsndfile " : "   [--version]\n"),
              std::string::npos)
        << r.out;
  }
  EXPECT_EQ(testsupport::runPelgToMatlab({"-help"}).status, -3);
}

}  // namespace
