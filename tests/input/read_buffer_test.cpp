#include "input/read_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using testsupport::CapturedConsole;
using testsupport::TempDir;

// Byte i of a pattern file; 251 is prime, so no window repeats at a power of two.
uint8_t patternByte(int64_t i) { return static_cast<uint8_t>(i % 251); }

// A file of `size` pattern bytes, opened for reading and positioned at `start`.
class PatternFile {
 public:
  PatternFile(size_t size, long start = 0) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(patternByte(static_cast<int64_t>(i)));
    testsupport::writeFile(dir_.file("pattern.bin"), bytes);
    stream_ = std::fopen(dir_.file("pattern.bin").c_str(), "rb");
    std::fseek(stream_, start, SEEK_SET);
  }
  ~PatternFile() { std::fclose(stream_); }
  FILE* stream() const { return stream_; }
  long tell() const { return std::ftell(stream_); }

 private:
  TempDir dir_;
  FILE* stream_ = nullptr;
};

TEST(ReadBuffer, BindAlignsDataAndStartsEmpty) {
  for (int32_t capacity : {0, 1, 64, 4106, 204800}) {
    ReadBuffer buffer;
    buffer.filled = 7;
    buffer.consumed = 3;
    buffer.atEof = 1;
    buffer.origin = 99;
    bindReader(buffer, capacity);
    const auto offset = buffer.data - buffer.storage.get();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data) % 8, 0u) << capacity;
    EXPECT_GE(offset, 1) << capacity;
    EXPECT_LE(offset, 8) << capacity;
    EXPECT_EQ(buffer.capacity, capacity);
    EXPECT_EQ(buffer.filled, 0);
    EXPECT_EQ(buffer.consumed, 0);
    EXPECT_EQ(buffer.atEof, 0);
    EXPECT_EQ(buffer.origin, -1);
    releaseReader(buffer);
    EXPECT_EQ(buffer.data, nullptr);
  }
}

TEST(ReadBuffer, EmptyStreamGivesEndOfDataAndSetsEof) {
  PatternFile file(0);
  CapturedConsole console;
  ReadBuffer buffer;
  bindReader(buffer, 64);
  EXPECT_EQ(ensureAvailable(buffer, file.stream(), 10, console.console()), -1);
  EXPECT_EQ(buffer.atEof, 1);
  EXPECT_EQ(buffer.filled, 0);
  EXPECT_EQ(buffer.origin, 0);
  EXPECT_EQ(console.out(), "");
}

TEST(ReadBuffer, OriginIsTheStreamPositionAtTheFirstRefill) {
  PatternFile file(300, 123);
  CapturedConsole console;
  ReadBuffer buffer;
  bindReader(buffer, 64);
  ASSERT_EQ(ensureAvailable(buffer, file.stream(), 10, console.console()), 1);
  EXPECT_EQ(buffer.origin, 123);
  EXPECT_EQ(buffer.position(), 123);
  EXPECT_EQ(buffer.filled, 64);
  EXPECT_EQ(buffer.next()[0], patternByte(123));
}

// Five unread bytes before the end of the stream: a request for more fails,
// a request for exactly those succeeds, and the bytes stay in the buffer.
TEST(ReadBuffer, FiveBytesLeftAtEnd) {
  PatternFile file(45);
  CapturedConsole console;
  ReadBuffer buffer;
  bindReader(buffer, 64);
  ASSERT_EQ(ensureAvailable(buffer, file.stream(), 10, console.console()), 1);
  EXPECT_EQ(buffer.filled, 45);
  EXPECT_EQ(buffer.atEof, 1);
  buffer.consumed = 40;
  EXPECT_EQ(ensureAvailable(buffer, file.stream(), 10, console.console()), -1);
  EXPECT_EQ(buffer.position(), 40);
  EXPECT_EQ(buffer.filled - buffer.consumed, 5);
  EXPECT_EQ(ensureAvailable(buffer, file.stream(), 5, console.console()), 1);
  EXPECT_EQ(buffer.position(), 40);
  EXPECT_EQ(buffer.next()[4], patternByte(44));
}

TEST(ReadBuffer, RequestLargerThanCapacityReadsNothing) {
  PatternFile file(500);
  CapturedConsole console;
  ReadBuffer buffer;
  bindReader(buffer, 64);
  EXPECT_EQ(ensureAvailable(buffer, file.stream(), 65, console.console()), 0);
  EXPECT_EQ(buffer.filled, 0);
  EXPECT_EQ(file.tell(), 0);
  // A full buffer still holds fewer bytes than such a request.
  ASSERT_EQ(ensureAvailable(buffer, file.stream(), 64, console.console()), 1);
  ASSERT_EQ(buffer.filled, 64);
  EXPECT_EQ(ensureAvailable(buffer, file.stream(), 65, console.console()), 0);
  EXPECT_EQ(file.tell(), 64);
}

// Compaction moves the unread tail to the front and keeps origin + consumed.
struct CompactionCase {
  const char* name;
  int32_t consumed;  // after the first fill of a 64-byte buffer
  int32_t request;
  bool compacts;
  int32_t filledAfter;
  long streamAfter;  // bytes read from the 200-byte file
};

TEST(ReadBuffer, CompactionAndRefill) {
  const CompactionCase cases[] = {
      // More than half consumed: slide and top up to full.
      {"over half consumed", 40, 10, true, 64, 104},
      // Exactly half consumed with a long tail: no slide, no read.
      {"half consumed", 32, 10, false, 64, 64},
      // Tail not longer than the request: slide even below half.
      {"short tail", 20, 50, true, 64, 84},
      {"tail equals request", 20, 44, true, 64, 84},
      // Tail one byte longer than the request: neither.
      {"long tail", 20, 43, false, 64, 64},
  };
  for (const CompactionCase& c : cases) {
    SCOPED_TRACE(c.name);
    PatternFile file(200, 7);
    CapturedConsole console;
    ReadBuffer buffer;
    bindReader(buffer, 64);
    ASSERT_EQ(ensureAvailable(buffer, file.stream(), 10, console.console()), 1);
    buffer.consumed = c.consumed;
    const int64_t position = buffer.position();
    EXPECT_EQ(ensureAvailable(buffer, file.stream(), c.request, console.console()), 1);
    EXPECT_EQ(buffer.position(), position);
    EXPECT_EQ(buffer.consumed, c.compacts ? 0 : c.consumed);
    EXPECT_EQ(buffer.origin, c.compacts ? 7 + c.consumed : 7);
    EXPECT_EQ(buffer.filled, c.filledAfter);
    EXPECT_EQ(file.tell(), 7 + c.streamAfter);
    EXPECT_EQ(buffer.next()[0], patternByte(position));
    EXPECT_EQ(buffer.data[buffer.filled - 1], patternByte(buffer.origin + buffer.filled - 1));
  }
}

// Walks a file with several step patterns and buffer sizes: after every
// successful request the unread bytes are exactly the file's bytes at
// origin + consumed, across any number of refills.
TEST(ReadBuffer, OffsetsStayTrueAcrossRefills) {
  struct WalkCase {
    int32_t capacity;
    std::vector<int32_t> steps;  // consumed after each request of step + 3 bytes
  };
  const WalkCase cases[] = {
      {64, {1}}, {64, {7, 13, 29}}, {64, {31, 1, 60}}, {4106, {10, 4096, 17, 333}}, {100, {50, 49}},
  };
  constexpr int64_t kSize = 20000;
  constexpr long kStart = 11;
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.capacity);
    PatternFile file(kSize, kStart);
    CapturedConsole console;
    ReadBuffer buffer;
    bindReader(buffer, c.capacity);
    int64_t expected = kStart;
    size_t k = 0;
    for (;;) {
      const int32_t step = c.steps[k++ % c.steps.size()];
      const int32_t request = std::min(step + 3, c.capacity);
      const int result = ensureAvailable(buffer, file.stream(), request, console.console());
      if (result != 1) {
        EXPECT_EQ(result, -1);
        EXPECT_LT(kSize - expected, request);
        EXPECT_EQ(buffer.atEof, 1);
        break;
      }
      ASSERT_EQ(buffer.position(), expected);
      ASSERT_LE(buffer.consumed + request, buffer.filled);
      ASSERT_LE(buffer.filled, buffer.capacity);
      for (int32_t i = 0; i < request; ++i) ASSERT_EQ(buffer.next()[i], patternByte(expected + i));
      buffer.consumed += std::min(step, request);
      expected += std::min(step, request);
    }
    EXPECT_EQ(console.out(), "");
  }
}

TEST(ReadBuffer, ShortReadAtEndKeepsWhatWasRead) {
  PatternFile file(100);
  CapturedConsole console;
  ReadBuffer buffer;
  bindReader(buffer, 64);
  ASSERT_EQ(ensureAvailable(buffer, file.stream(), 10, console.console()), 1);
  EXPECT_EQ(buffer.atEof, 0);
  buffer.consumed = 60;
  // Slides 4 bytes, asks for 60 and gets the last 36.
  EXPECT_EQ(ensureAvailable(buffer, file.stream(), 20, console.console()), 1);
  EXPECT_EQ(buffer.origin, 60);
  EXPECT_EQ(buffer.filled, 40);
  EXPECT_EQ(buffer.atEof, 1);
  buffer.consumed = 30;
  EXPECT_EQ(ensureAvailable(buffer, file.stream(), 20, console.console()), -1);
  EXPECT_EQ(buffer.origin, 90);
  EXPECT_EQ(buffer.filled, 10);
  EXPECT_EQ(buffer.consumed, 0);
  EXPECT_EQ(buffer.next()[9], patternByte(99));
  EXPECT_EQ(ensureAvailable(buffer, file.stream(), 10, console.console()), 1);
}

TEST(ReadBuffer, OverConsumptionIsReportedAndClamped) {
  PatternFile file(30);
  CapturedConsole console;
  ReadBuffer buffer;
  bindReader(buffer, 64);
  ASSERT_EQ(ensureAvailable(buffer, file.stream(), 10, console.console()), 1);
  buffer.consumed = 35;
  EXPECT_EQ(ensureAvailable(buffer, file.stream(), 1, console.console()), -1);
  EXPECT_EQ(console.out(), "Buffer error more bytes consumed than available!\n");
  EXPECT_EQ(console.err(), "");
  EXPECT_EQ(buffer.position(), 30);
  EXPECT_EQ(buffer.consumed, buffer.filled);
}

}  // namespace
