#include "input/input_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "input_test_util.h"

namespace {

using inputtest::ByteStream;

std::string readAll(FILE* stream) {
  std::string out;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) out.append(chunk, got);
  return out;
}

// `size` bytes that begin as a PELG version 2 file does (so that standard
// input is copied in full) and go on in a pattern.
std::string pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + 3) % 256);
  const std::string lead("PELG\2\0\0\0", 8);
  s.replace(0, std::min(size, lead.size()), lead, 0, std::min(size, lead.size()));
  return s;
}

// An opener whose standard input is a file holding `standardInput` (none when null),
// with its console captured.
struct Opener {
  explicit Opener(const std::string* standardInput)
      : input(standardInput ? std::make_unique<ByteStream>(*standardInput) : nullptr),
        opener(captured.console(), input ? input->get() : nullptr) {}
  explicit Opener(const std::string& standardInput = "") : Opener(&standardInput) {}

  std::unique_ptr<ByteStream> input;
  testsupport::CapturedConsole captured;
  InputOpener opener;
  InputFile file;
};

TEST(InputFile, StandardInputNamesInAnyCaseReadTheSameCopy) {
  const std::string contents = pattern(200000);  // more than one copy chunk
  Opener o(contents);
  for (const char* name : {"-", "stdin", "STDIN", "StdIn", "/dev/stdin", "/DEV/Stdin", "stdin"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(o.opener.open(o.file, name));
    EXPECT_EQ(o.file.name, "stdin");
    ASSERT_NE(o.file.stream, nullptr);
    EXPECT_EQ(readAll(o.file.stream), contents);
    closeInput(o.file);
    EXPECT_EQ(o.file.stream, nullptr);
  }
  EXPECT_EQ(o.captured.out(), "");
  EXPECT_EQ(o.captured.err(), "");
}

TEST(InputFile, TwoOpenCopiesOfStandardInputReadIndependently) {
  const std::string contents = pattern(10000);
  Opener o(contents);
  InputFile second;
  ASSERT_TRUE(o.opener.open(o.file, "stdin"));
  char head[100];
  ASSERT_EQ(std::fread(head, 1, sizeof head, o.file.stream), sizeof head);
  ASSERT_TRUE(o.opener.open(second, "-"));
  EXPECT_EQ(readAll(second.stream), contents);
  EXPECT_EQ(std::string(head, sizeof head) + readAll(o.file.stream), contents);
  closeInput(o.file);
  closeInput(second);
}

TEST(InputFile, EmptyStandardInputOpensButHasNoHeader) {
  Opener o("");
  ASSERT_TRUE(o.opener.open(o.file, "/dev/stdin"));
  EXPECT_FALSE(readHeader(o.file.header, o.file.stream));
  closeInput(o.file);
}

TEST(InputFile, HeaderFromStandardInputThenFromAFile) {
  const pelgbuild::Bytes first = pelgbuild::encodeHeader(pelgbuild::standardHeader(1000));
  pelgbuild::HuxSchedule other;
  other.boardNumber = 77;
  Opener o(std::string(first.begin(), first.end()));
  const std::string path = o.input->dir.file("b.pelg");
  pelgbuild::PelgBuilder(pelgbuild::standardHeader(2000, other)).writeTo(path);
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& [name, start, board] : {std::tuple{std::string("stdin"), 1000u, 0x1234}, {path, 2000u, 77}}) {
      SCOPED_TRACE(name);
      ASSERT_TRUE(o.opener.open(o.file, name));  // closes the previous stream first
      EXPECT_EQ(o.file.name, name);
      ASSERT_TRUE(readHeader(o.file.header, o.file.stream));
      ASSERT_TRUE(extractHuxInfo(o.file.header));
      EXPECT_EQ(o.file.header.startTime, start);
      EXPECT_EQ(o.file.header.huxInfo.boardNumber, board);
    }
  }
  closeInput(o.file);
  closeInput(o.file);  // closing twice is harmless
}

TEST(InputFile, OpenClearsHeaderListsButKeepsInformationBlocks) {
  Opener o;
  const std::string path = o.input->dir.file("x.pelg");
  testsupport::writeFile(path, "PELG");
  FileHeader& header = o.file.header;
  header.deviceCount = 2;
  header.devices.resize(2);
  header.startTime = 99;
  header.globalEntryCount = 1;
  header.globalEntries.resize(1);
  header.huxInfo.interrupt_count = 5120;
  header.tivInfo.gyro = 1000;
  header.baro.C3 = 786;
  ASSERT_TRUE(o.opener.open(o.file, path));
  EXPECT_TRUE(header.devices.empty());
  EXPECT_TRUE(header.globalEntries.empty());
  EXPECT_EQ(std::vector<int64_t>({header.deviceCount, static_cast<int64_t>(header.startTime), header.globalEntryCount,
                                  header.huxInfo.interrupt_count, header.tivInfo.gyro, header.baro.C3}),
            std::vector<int64_t>({0, 0, 0, 5120, 1000, 786}));
  EXPECT_EQ(readAll(o.file.stream), "PELG");
  closeInput(o.file);
}

// A failed open prints only the error line. Names that merely resemble the
// standard-input names are ordinary files; a standard-input name fails when
// there is no standard input.
TEST(InputFile, FailedOpensPrintOnlyTheErrorLine) {
  const std::string contents = "PELG";
  for (const auto& [standardInput, name] : {std::pair<const std::string*, std::string>{&contents, "/no/none.pelg"},
                                            {&contents, "stdin2"}, {&contents, "./stdin"}, {&contents, "--"},
                                            {&contents, "/dev/stdin/"}, {nullptr, "StdIn"}}) {
    SCOPED_TRACE(name);
    Opener o(standardInput);
    EXPECT_FALSE(o.opener.open(o.file, name));
    EXPECT_EQ(o.file.stream, nullptr);
    EXPECT_EQ(o.captured.err(), "ERROR: can't open file " + name + "\n");
    EXPECT_EQ(o.captured.out(), "");
  }
}

}  // namespace
