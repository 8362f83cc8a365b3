// Bytes handed from one thread to another in order, through a fixed pool of
// chunks: the producer appends records to the chunk it fills and hands it
// over when the next record does not fit; the consumer takes the chunks in
// that order and gives each back when it has done it.
//
// Contract: one producing and one consuming thread. reserve() allocates
// nothing and waits while every chunk is queued; next() waits for a chunk.
// The consumer is woken for half the pool at a time, or when the producer
// waits or ends, not for every chunk: each wake-up costs both threads a call
// into the system. stop(), from either side, ends the hand-over at once:
// what is queued is dropped, the consumer's next() returns null, and the
// producer's next hand-over throws FatalError(0) (the side that stopped
// tells why).
//
// The producer lays its records into a chunk of its own that stays in its
// core's cache, and copies each full one into a pool chunk in one memcpy.
// Records laid straight into pool chunks would make every cache line pass
// between the cores twice (the consumer reads it, then the producer must take
// it back to write it again), which costs the producer more than the work it
// hands over. The copy is a plain one: stores that bypass the caches send
// every line through memory, which the consumer then waits for.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "common/cache_line.h"
#include "common/console.h"

class ChunkQueue {
 public:
  static constexpr size_t kChunkBytes = size_t{1} << 16;
  // 4 MiB in all: a few milliseconds of the write pass, whose two sides take
  // turns at running ahead of each other (with a quarter of it, each waited
  // for the other about a sixth of the pass, in turns of a millisecond).
  static constexpr int kChunks = 64;

  struct Chunk {
    std::unique_ptr<std::byte[]> storage;  // kChunkBytes + kAlignment bytes
    std::byte* bytes = nullptr;            // aligned to kAlignment within storage
    size_t used = 0;
  };

  ChunkQueue();
  ChunkQueue(const ChunkQueue&) = delete;
  ChunkQueue& operator=(const ChunkQueue&) = delete;

  // Producer: room for `size` bytes (at most kChunkBytes) at the end of the
  // chunk being filled.
  std::byte* reserve(size_t size) {
    if (staging_.used + size > kChunkBytes) handOver();
    std::byte* at = staging_.bytes + staging_.used;
    staging_.used += size;
    return at;
  }
  // Producer: hands over what it laid since the last hand-over; the
  // consumer's next() returns null once it has taken every chunk.
  void finish();

  // Consumer: the next chunk in order; null at the end or after stop().
  const Chunk* next();
  // Consumer: gives the chunk back to the pool.
  void done(const Chunk* chunk);

  void stop();

 private:
  static constexpr size_t kAlignment = kCacheLine;

  static void allocate(Chunk& chunk);
  void handOver();

  std::vector<Chunk> chunks_;
  // The producer's own, written for every record, on a cache line apart from
  // the lock both sides take.
  alignas(kAlignment) Chunk staging_;

  alignas(kAlignment) std::mutex mutex_;
  std::condition_variable ready_;  // a chunk queued, or the end
  std::condition_variable freed_;  // a chunk given back, or stopped
  std::vector<Chunk*> full_;       // in order; a ring would do, but these are few
  std::vector<Chunk*> free_;
  bool ending_ = false;            // the producer has finished
  bool stopped_ = false;
  bool consumerWaiting_ = false;
  bool producerWaiting_ = false;
};

// A record's fields are laid into a chunk one by one, unaligned, and taken
// back in the same order.
template <typename T>
std::byte* putField(std::byte* at, const T& value) {
  std::memcpy(at, &value, sizeof value);
  return at + sizeof value;
}

template <typename T>
const std::byte* takeField(const std::byte* at, T& value) {
  std::memcpy(&value, at, sizeof value);
  return at + sizeof value;
}

// A console line as a record: the record's kind (one byte, the caller's),
// the format it was printed from (a literal, which outlives the run), the
// text and its length. A line longer than a chunk (none the converter
// prints) goes as several records.
void queueLine(ChunkQueue& queue, uint8_t kind, const char* format, const char* text, size_t length);
// Prints the line whose record follows its kind at `at`, as the console
// that formatted it would have; returns the end of the record.
const std::byte* printQueuedLine(const std::byte* at, bool toErr, Console& console);
