#include "common/chunk_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "common/fatal_error.h"

namespace {

// Records of 1 to 61 bytes, each its index's bytes, from a producer thread:
// the consumer gets them back in order and whole, across many chunks and
// the partly filled last one.
TEST(ChunkQueue, RecordsComeBackInOrderAndWhole) {
  constexpr uint32_t kRecords = 200000;
  ChunkQueue queue;
  std::thread producer([&] {
    for (uint32_t i = 0; i < kRecords; ++i) {
      const size_t size = 1 + i % 61;
      std::byte* at = queue.reserve(size + sizeof i);
      at = putField(at, i);
      for (size_t b = 0; b < size; ++b) at[b] = static_cast<std::byte>(i + b);
    }
    queue.finish();
  });
  uint32_t expected = 0;
  size_t damaged = 0;
  while (const ChunkQueue::Chunk* chunk = queue.next()) {
    const std::byte* at = chunk->bytes;
    while (at < chunk->bytes + chunk->used) {
      uint32_t i = 0;
      at = takeField(at, i);
      if (i != expected) ++damaged;
      const size_t size = 1 + i % 61;
      for (size_t b = 0; b < size; ++b) damaged += at[b] != static_cast<std::byte>(i + b);
      at += size;
      ++expected;
    }
    queue.done(chunk);
  }
  producer.join();
  EXPECT_EQ(expected, kRecords);
  EXPECT_EQ(damaged, 0u);
}

// A consumer that stops while the producer waits for room (every chunk
// queued) ends the producer's wait: its hand-over throws.
TEST(ChunkQueue, StopEndsAProducerWaitingForRoom) {
  ChunkQueue queue;
  bool threw = false;
  std::thread producer([&] {
    try {
      for (;;) queue.reserve(ChunkQueue::kChunkBytes);
    } catch (const FatalError&) {
      threw = true;
    }
  });
  // Time for the producer to fill the pool and wait; had it not yet, its
  // next hand-over throws all the same.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  queue.stop();
  producer.join();
  EXPECT_TRUE(threw);
  EXPECT_EQ(queue.next(), nullptr);
}

}  // namespace
