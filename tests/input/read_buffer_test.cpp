#include "input/read_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "input_test_util.h"

namespace {

using inputtest::ByteStream;

// Byte i of a pattern file; 251 is prime, so no window repeats at a power of two.
uint8_t patternByte(int64_t i) { return static_cast<uint8_t>(i % 251); }

pelgbuild::Bytes pattern(size_t size) {
  pelgbuild::Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = patternByte(static_cast<int64_t>(i));
  return bytes;
}

// A pattern file of `size` bytes positioned at `start`, and a buffer bound to read it.
struct BufferOnFile {
  BufferOnFile(size_t size, long start, int32_t capacity) : file(pattern(size)) {
    std::fseek(file.get(), start, SEEK_SET);
    bindReader(buffer, capacity);
  }
  int ensure(int32_t n) { return ensureAvailable(buffer, file.get(), n, console.console()); }

  ByteStream file;
  testsupport::CapturedConsole console;
  ReadBuffer buffer;
};

TEST(ReadBuffer, BindAlignsDataAndStartsEmpty) {
  for (int32_t capacity : {0, 1, 64, 4106, 204800}) {
    SCOPED_TRACE(capacity);
    ReadBuffer buffer;
    buffer.filled = 7;
    buffer.consumed = 3;
    buffer.atEof = 1;
    buffer.origin = 99;
    bindReader(buffer, capacity);
    const auto offset = buffer.data - buffer.storage.get();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.data) % 8, 0u);
    EXPECT_GE(offset, 1);
    EXPECT_LE(offset, 8);
    EXPECT_EQ(std::vector<int64_t>({buffer.capacity, buffer.filled, buffer.consumed, buffer.atEof, buffer.origin}),
              std::vector<int64_t>({capacity, 0, 0, 0, -1}));
    releaseReader(buffer);
    EXPECT_EQ(buffer.data, nullptr);
  }
}

// Scripted requests on a 64-byte buffer. Before each request the caller may
// set `consumed`; after it the buffer's fields and the stream position are as
// listed, and every buffered byte is the file's byte at origin + index.
// Compaction moves the unread tail to the front and keeps origin + consumed.
TEST(ReadBuffer, ScriptedRequests) {
  struct Step {
    int32_t consume;  // set before the request; -1 leaves it
    int32_t request;
    int result;
    int64_t origin;
    int32_t consumed, filled, atEof;
    long tell;
  };
  struct Case {
    const char* name;
    size_t size;
    long start;
    std::vector<Step> steps;
    std::string out = "";
  };
  const Case cases[] = {
      {"empty stream", 0, 0, {{-1, 10, -1, 0, 0, 0, 1, 0}}},
      {"origin is the stream position at the first refill", 300, 123, {{-1, 10, 1, 123, 0, 64, 0, 187}}},
      // Five unread bytes at the end: a request for more fails, one for exactly those succeeds.
      {"five bytes left", 45, 0, {{-1, 10, 1, 0, 0, 45, 1, 45}, {40, 10, -1, 40, 0, 5, 1, 45}, {-1, 5, 1, 40, 0, 5, 1, 45}}},
      // Refused before reading, even when the buffer is full.
      {"request beyond the capacity", 500, 0,
       {{-1, 65, 0, 0, 0, 0, 0, 0}, {-1, 64, 1, 0, 0, 64, 0, 64}, {-1, 65, 0, 0, 0, 64, 0, 64}}},
      // More than half consumed but the tail holds the request: no slide, no read.
      {"over half consumed", 200, 7, {{-1, 10, 1, 7, 0, 64, 0, 71}, {40, 10, 1, 7, 40, 64, 0, 71}}},
      // Exactly half consumed with a long tail: no slide, no read.
      {"half consumed", 200, 7, {{-1, 10, 1, 7, 0, 64, 0, 71}, {32, 10, 1, 7, 32, 64, 0, 71}}},
      // Tail shorter than the request: slide the tail and top up to full.
      {"short tail", 200, 7, {{-1, 10, 1, 7, 0, 64, 0, 71}, {20, 50, 1, 27, 0, 64, 0, 91}}},
      // Tail as long as the request, or longer: neither.
      {"tail equals request", 200, 7, {{-1, 10, 1, 7, 0, 64, 0, 71}, {20, 44, 1, 7, 20, 64, 0, 71}}},
      {"long tail", 200, 7, {{-1, 10, 1, 7, 0, 64, 0, 71}, {20, 43, 1, 7, 20, 64, 0, 71}}},
      // Slides 4 bytes, asks for 60 and gets the last 36; then 10 bytes remain.
      {"short read at the end keeps what was read", 100, 0,
       {{-1, 10, 1, 0, 0, 64, 0, 64}, {60, 20, 1, 60, 0, 40, 1, 100}, {30, 20, -1, 90, 0, 10, 1, 100},
        {-1, 10, 1, 90, 0, 10, 1, 100}}},
      {"over-consumption is reported and clamped", 30, 0, {{-1, 10, 1, 0, 0, 30, 1, 30}, {35, 1, -1, 30, 0, 0, 1, 30}},
       "Buffer error more bytes consumed than available!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BufferOnFile f(c.size, c.start, 64);
    for (size_t i = 0; i < c.steps.size(); ++i) {
      SCOPED_TRACE(i);
      const Step& s = c.steps[i];
      if (s.consume >= 0) f.buffer.consumed = s.consume;
      EXPECT_EQ(f.ensure(s.request), s.result);
      const ReadBuffer& b = f.buffer;
      EXPECT_EQ(std::vector<int64_t>({b.origin, b.consumed, b.filled, b.atEof, f.file.tell()}),
                std::vector<int64_t>({s.origin, s.consumed, s.filled, s.atEof, s.tell}));
      for (int32_t k = 0; k < b.filled; ++k) ASSERT_EQ(b.data[k], patternByte(b.origin + k)) << k;
    }
    EXPECT_EQ(f.console.out(), c.out);
    EXPECT_EQ(f.console.err(), "");
  }
}

// Walks a file with several step patterns and buffer sizes, read from the
// stream or through a prefetch (over a file of several of its blocks, with a
// seek back and forth on the way): after every successful request the unread
// bytes are exactly the file's bytes at origin + consumed, across any number
// of refills, and a request past the end fails with the end seen.
TEST(ReadBuffer, OffsetsStayTrueAcrossRefills) {
  struct WalkCase {
    int32_t capacity;
    std::vector<int32_t> steps;  // consumed after each request of step + 3 bytes
    bool prefetch = false;
    int64_t seekFrom = -1;  // once the walk passes this offset, it seeks to seekTo
    int64_t seekTo = 0;
  };
  constexpr int64_t kBlock = FilePrefetch::kBlockBytes;
  const WalkCase cases[] = {
      {64, {1}},
      {64, {7, 13, 29}},
      {64, {31, 1, 60}},
      {4106, {10, 4096, 17, 333}},
      {100, {50, 49}},
      {100, {50, 49}, false, 15000, 40},
      {64, {7, 13, 29}, true},
      {4106, {10, 4096, 17, 333}, true},
      {4106, {4106}, true},
      // Back from the third block into the first, and ahead past a block.
      {4106, {10, 4096, 17, 333}, true, 2 * kBlock + 5, 999},
      {100, {50, 49}, true, 1000, kBlock + 77},
  };
  constexpr long kStart = 11;
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.capacity << (c.prefetch ? " prefetch" : "") << " seek " << c.seekFrom);
    // Through a prefetch the file ends inside its third block.
    const int64_t size = c.prefetch ? 2 * kBlock + 20000 : 20000;
    BufferOnFile f(static_cast<size_t>(size), kStart, c.capacity);
    ReadBuffer& buffer = f.buffer;
    FilePrefetch prefetch(c.capacity);
    if (c.prefetch) prefetchReader(buffer, prefetch);
    int64_t expected = kStart;
    bool sought = false;
    for (size_t k = 0;; ++k) {
      if (c.seekFrom >= 0 && !sought && expected > c.seekFrom) {
        ASSERT_TRUE(seekReader(buffer, f.file.get(), c.seekTo));
        expected = c.seekTo;
        sought = true;
      }
      const int32_t step = c.steps[k % c.steps.size()];
      const int32_t request = std::min(step + 3, c.capacity);
      const int result = f.ensure(request);
      if (result != 1) {
        EXPECT_EQ(result, -1);
        EXPECT_LT(size - expected, request);
        EXPECT_EQ(buffer.atEof, 1);
        break;
      }
      ASSERT_EQ(buffer.position(), expected);
      ASSERT_LE(buffer.consumed + request, buffer.filled);
      if (!c.prefetch) {
        ASSERT_LE(buffer.filled, buffer.capacity);
      }
      for (int32_t i = 0; i < request; ++i) ASSERT_EQ(buffer.next()[i], patternByte(expected + i));
      buffer.consumed += std::min(step, request);
      expected += std::min(step, request);
    }
    EXPECT_EQ(sought, c.seekFrom >= 0);
    EXPECT_EQ(f.console.out(), "");
    releaseReader(buffer);
  }
}

// A read that fails (here: the stream of a folder) ends the bytes without
// the end of the file seen, read from the stream or through a prefetch.
TEST(ReadBuffer, FailedReadEndsWithoutTheEnd) {
  testsupport::TempDir dir;
  for (bool prefetched : {false, true}) {
    SCOPED_TRACE(prefetched);
    FILE* stream = std::fopen(dir.path().c_str(), "rb");
    ASSERT_NE(stream, nullptr);
    testsupport::CapturedConsole console;
    ReadBuffer buffer;
    bindReader(buffer, 64);
    FilePrefetch prefetch(64);
    if (prefetched) prefetchReader(buffer, prefetch);
    EXPECT_EQ(ensureAvailable(buffer, stream, 10, console.console()), -1);
    EXPECT_EQ(ensureAvailable(buffer, stream, 10, console.console()), -1);
    EXPECT_EQ(std::vector<int64_t>({buffer.origin, buffer.filled, buffer.atEof}), std::vector<int64_t>({0, 0, 0}));
    releaseReader(buffer);
    std::fclose(stream);
  }
}

}  // namespace
