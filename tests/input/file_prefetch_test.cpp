#include "input/file_prefetch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "input_test_util.h"

namespace {

uint8_t patternByte(int64_t i) { return static_cast<uint8_t>(i % 251); }

// start() again, after 0 to 190 microseconds, while the thread may still be
// reading for the first one: the blocks that come are those of the second offset, in order,
// to the file's end, and none of the first.
TEST(FilePrefetch, StartAgainDeliversOnlyTheNewOffsetsBlocks) {
  constexpr int64_t kBlock = FilePrefetch::kBlockBytes;
  const int64_t size = 3 * kBlock + 1000;
  pelgbuild::Bytes bytes(static_cast<size_t>(size));
  for (int64_t i = 0; i < size; ++i) bytes[static_cast<size_t>(i)] = patternByte(i);
  inputtest::ByteStream file(bytes);
  const int descriptor = fileno(file.get());
  FilePrefetch prefetch(16);
  const int64_t offsets[][2] = {{0, 5}, {kBlock, 17}, {7, 2 * kBlock + 3}, {0, size}, {size, 1}};
  for (int round = 0; round < 20; ++round) {
    for (const auto& pair : offsets) {
      SCOPED_TRACE(testing::Message() << round << ": " << pair[0] << " then " << pair[1]);
      prefetch.start(descriptor, pair[0]);
      std::this_thread::sleep_for(std::chrono::microseconds(10 * round));
      prefetch.start(descriptor, pair[1]);
      int64_t expected = pair[1];
      while (const FilePrefetch::Block* block = prefetch.next()) {
        ASSERT_EQ(block->offset, expected);
        ASSERT_EQ(block->size, std::min<int64_t>(kBlock, size - expected));
        EXPECT_FALSE(block->failed);
        if (block->size > 0) {
          ASSERT_EQ(block->data[0], patternByte(expected));
          ASSERT_EQ(block->data[block->size - 1], patternByte(expected + block->size - 1));
        }
        expected += block->size;
        prefetch.release(block);
      }
      EXPECT_EQ(expected, size);
    }
  }
  prefetch.stop();
}

}  // namespace
