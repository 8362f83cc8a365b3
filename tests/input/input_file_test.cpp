#include "input/input_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <csignal>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

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

// Standard input that is no recording opens, but its copy holds only the
// first bytes, and its header cannot be read.
TEST(InputFile, StandardInputThatIsNoRecordingIsCopiedOnlyToItsFirstBytes) {
  Opener o(std::string(100000, 'x'));
  ASSERT_TRUE(o.opener.open(o.file, "stdin"));
  EXPECT_EQ(readAll(o.file.stream), std::string(8, 'x'));
  ASSERT_TRUE(o.opener.open(o.file, "stdin"));
  EXPECT_FALSE(readHeader(o.file.header, o.file.stream));
  EXPECT_EQ(o.input->tell(), 8);
  closeInput(o.file);
  EXPECT_EQ(o.captured.out(), "");
}

TEST(InputFile, IdentifyNamesTheFileANameStandsFor) {
  Opener o("PELG");
  const std::string a = o.input->dir.file("a.pelg"), b = o.input->dir.file("b.pelg");
  testsupport::writeFile(a, "a");
  testsupport::writeFile(b, "a");
  ASSERT_EQ(::link(a.c_str(), o.input->dir.file("hard").c_str()), 0);
  ASSERT_EQ(::symlink(a.c_str(), o.input->dir.file("soft").c_str()), 0);
  const auto identityOfA = o.opener.identify(a);
  ASSERT_TRUE(identityOfA.has_value());
  for (const std::string& name : {a, o.input->dir.file("hard"), o.input->dir.file("soft"), o.input->dir.path() + "/./a.pelg"})
    EXPECT_EQ(o.opener.identify(name), identityOfA) << name;
  EXPECT_NE(o.opener.identify(b), identityOfA);
  EXPECT_EQ(o.opener.identify(o.input->dir.file("none")), std::nullopt);

  // Every standard-input name stands for standard input, here the file the test made for it.
  const auto standardInput = o.opener.identify("stdin");
  ASSERT_TRUE(standardInput.has_value());
  EXPECT_EQ(standardInput, identityOfPath(o.input->path()));
  for (const char* name : {"-", "STDIN", "/dev/stdin"}) EXPECT_EQ(o.opener.identify(name), standardInput) << name;
  EXPECT_NE(standardInput, identityOfA);

  Opener none(nullptr);
  EXPECT_EQ(none.opener.identify("stdin"), std::nullopt);
}

// A FIFO is drained once, on its first open; every open reads the copy.
TEST(InputFile, AFifoIsCopiedOnceAndEveryOpenReadsTheCopy) {
  std::signal(SIGPIPE, SIG_IGN);  // a writer left without a reader fails instead of ending the test
  for (const std::string& contents : {pattern(150000), std::string("not a recording at all")}) {
    Opener o;
    const std::string fifo = o.input->dir.file("in.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
      FILE* w = std::fopen(fifo.c_str(), "wb");
      if (w == nullptr) return;
      std::fwrite(contents.data(), 1, contents.size(), w);
      std::fclose(w);  // a reader that stops early makes the writes fail (EPIPE), no harm
    });
    ASSERT_TRUE(o.opener.open(o.file, fifo));
    writer.join();
    const std::string copied = contents.substr(0, contents.rfind("PELG", 0) == 0 ? std::string::npos : 8);
    EXPECT_EQ(readAll(o.file.stream), copied);
    InputFile second;
    ASSERT_TRUE(o.opener.open(second, fifo));  // would wait for a writer if the FIFO itself were opened
    EXPECT_EQ(second.name, fifo);
    EXPECT_EQ(readAll(second.stream), copied);
    closeInput(second);
    closeInput(o.file);
  }
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
