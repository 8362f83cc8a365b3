#include "input/input_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "pelg_builder/pelg_builder.h"
#include "support/test_support.h"

namespace {

using testsupport::CapturedConsole;
using testsupport::TempDir;

// A temporary file standing in for the process's standard input.
class FakeStandardInput {
 public:
  explicit FakeStandardInput(const std::string& contents) : stream_(std::tmpfile()) {
    std::fwrite(contents.data(), 1, contents.size(), stream_);
    std::rewind(stream_);
  }
  ~FakeStandardInput() { std::fclose(stream_); }
  FILE* get() const { return stream_; }

 private:
  FILE* stream_;
};

std::string readAll(FILE* stream) {
  std::string out;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) out.append(chunk, got);
  return out;
}

std::string pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7 + 3) % 256);
  return s;
}

TEST(InputFile, StandardInputNamesInAnyCaseReadTheSameCopy) {
  const std::string contents = pattern(200000);  // more than one copy chunk
  FakeStandardInput standardInput(contents);
  CapturedConsole captured;
  InputOpener opener(captured.console(), standardInput.get());
  for (const char* name : {"-", "stdin", "STDIN", "StdIn", "/dev/stdin", "/DEV/Stdin", "stdin"}) {
    SCOPED_TRACE(name);
    InputFile file;
    ASSERT_TRUE(opener.open(file, name));
    EXPECT_EQ(file.name, "stdin");
    ASSERT_NE(file.stream, nullptr);
    EXPECT_EQ(readAll(file.stream), contents);
    closeInput(file);
    EXPECT_EQ(file.stream, nullptr);
  }
  EXPECT_EQ(captured.out(), "");
  EXPECT_EQ(captured.err(), "");
}

TEST(InputFile, TwoOpenCopiesOfStandardInputReadIndependently) {
  const std::string contents = pattern(10000);
  FakeStandardInput standardInput(contents);
  CapturedConsole captured;
  InputOpener opener(captured.console(), standardInput.get());
  InputFile first, second;
  ASSERT_TRUE(opener.open(first, "stdin"));
  char head[100];
  ASSERT_EQ(std::fread(head, 1, sizeof head, first.stream), sizeof head);
  ASSERT_TRUE(opener.open(second, "-"));
  EXPECT_EQ(readAll(second.stream), contents);
  EXPECT_EQ(std::string(head, sizeof head) + readAll(first.stream), contents);
  closeInput(first);
  closeInput(second);
}

TEST(InputFile, EmptyStandardInputOpensButHasNoHeader) {
  FakeStandardInput standardInput("");
  CapturedConsole captured;
  InputOpener opener(captured.console(), standardInput.get());
  InputFile file;
  ASSERT_TRUE(opener.open(file, "/dev/stdin"));
  EXPECT_FALSE(readHeader(file.header, file.stream));
  closeInput(file);
}

TEST(InputFile, MissingStandardInputFailsWithTheErrorLine) {
  CapturedConsole captured;
  InputOpener opener(captured.console(), nullptr);
  InputFile file;
  EXPECT_FALSE(opener.open(file, "StdIn"));
  EXPECT_EQ(file.stream, nullptr);
  EXPECT_EQ(captured.err(), "ERROR: can't open file StdIn\n");
  EXPECT_EQ(captured.out(), "");
}

TEST(InputFile, HeaderFromStandardInputThenFromAFile) {
  TempDir dir;
  const pelgbuild::Bytes first = pelgbuild::encodeHeader(pelgbuild::standardHeader(1000));
  pelgbuild::HuxSchedule other;
  other.boardNumber = 77;
  pelgbuild::PelgBuilder(pelgbuild::standardHeader(2000, other)).writeTo(dir.file("b.pelg"));

  FakeStandardInput standardInput(std::string(first.begin(), first.end()));
  CapturedConsole captured;
  InputOpener opener(captured.console(), standardInput.get());
  InputFile file;
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(opener.open(file, "stdin"));
    ASSERT_TRUE(readHeader(file.header, file.stream));
    ASSERT_TRUE(extractHuxInfo(file.header));
    EXPECT_EQ(file.header.startTime, 1000u);
    EXPECT_EQ(file.header.huxInfo.boardNumber, 0x1234);
    ASSERT_TRUE(opener.open(file, dir.file("b.pelg")));  // closes the stdin copy first
    EXPECT_EQ(file.name, dir.file("b.pelg"));
    ASSERT_TRUE(readHeader(file.header, file.stream));
    ASSERT_TRUE(extractHuxInfo(file.header));
    EXPECT_EQ(file.header.startTime, 2000u);
    EXPECT_EQ(file.header.huxInfo.boardNumber, 77);
  }
  closeInput(file);
  closeInput(file);  // closing twice is harmless
}

TEST(InputFile, OpenClearsHeaderListsButKeepsInformationBlocks) {
  TempDir dir;
  testsupport::writeFile(dir.file("x.pelg"), "PELG");
  CapturedConsole captured;
  InputOpener opener(captured.console());
  InputFile file;
  file.header.deviceCount = 2;
  file.header.devices.resize(2);
  file.header.startTime = 99;
  file.header.globalEntryCount = 1;
  file.header.globalEntries.resize(1);
  file.header.huxInfo.interrupt_count = 5120;
  file.header.tivInfo.gyro = 1000;
  file.header.baro.C3 = 786;
  ASSERT_TRUE(opener.open(file, dir.file("x.pelg")));
  EXPECT_EQ(file.header.deviceCount, 0);
  EXPECT_TRUE(file.header.devices.empty());
  EXPECT_EQ(file.header.startTime, 0u);
  EXPECT_EQ(file.header.globalEntryCount, 0);
  EXPECT_TRUE(file.header.globalEntries.empty());
  EXPECT_EQ(file.header.huxInfo.interrupt_count, 5120);
  EXPECT_EQ(file.header.tivInfo.gyro, 1000);
  EXPECT_EQ(file.header.baro.C3, 786);
  EXPECT_EQ(readAll(file.stream), "PELG");
  closeInput(file);
}

TEST(InputFile, NonexistentFilesPrintOnlyTheErrorLine) {
  TempDir dir;
  FakeStandardInput standardInput("PELG");
  CapturedConsole captured;
  InputOpener opener(captured.console(), standardInput.get());
  InputFile file;
  // Names that merely resemble the standard-input names are ordinary files.
  const std::string names[] = {dir.file("none.pelg"), "stdin2", "./stdin", "--", "/dev/stdin/"};
  std::string expected;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(opener.open(file, name));
    EXPECT_EQ(file.stream, nullptr);
    expected += "ERROR: can't open file " + name + "\n";
  }
  EXPECT_EQ(captured.err(), expected);
  EXPECT_EQ(captured.out(), "");
}

}  // namespace
