#include "common/chunk_queue.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/fatal_error.h"

namespace {

// Copies n bytes (rounded up to whole 16-byte blocks; both ends hold room
// for them) to `to`, aligned to 16 bytes, with stores that leave the
// destination's cache lines out of this core's cache; the stores are
// ordered before any that follow.
void copyPastCache(std::byte* to, const std::byte* from, size_t n) {
#if defined(__SSE2__)
  for (size_t i = 0; i < n; i += 16) {
    _mm_stream_si128(reinterpret_cast<__m128i*>(to + i),
                     _mm_load_si128(reinterpret_cast<const __m128i*>(from + i)));
  }
  _mm_sfence();
#else
  std::memcpy(to, from, n);
#endif
}

}  // namespace

void ChunkQueue::allocate(Chunk& chunk) {
  chunk.storage = std::make_unique<std::byte[]>(kChunkBytes + 2 * kAlignment);
  const auto start = reinterpret_cast<uintptr_t>(chunk.storage.get());
  chunk.bytes = chunk.storage.get() + ((kAlignment - start % kAlignment) % kAlignment);
}

ChunkQueue::ChunkQueue() {
  chunks_.resize(kChunks);
  full_.reserve(kChunks);
  free_.reserve(kChunks);
  for (Chunk& chunk : chunks_) {
    allocate(chunk);
    free_.push_back(&chunk);
  }
  allocate(staging_);
}

void ChunkQueue::handOver() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopped_) throw FatalError(0);
  if (free_.empty()) {
    if (consumerWaiting_) ready_.notify_one();
    producerWaiting_ = true;
    freed_.wait(lock, [this] { return !free_.empty() || stopped_; });
    producerWaiting_ = false;
    if (stopped_) throw FatalError(0);
  }
  Chunk* chunk = free_.back();
  free_.pop_back();
  // The copy runs unlocked: the chunk is the producer's until it is queued.
  lock.unlock();
  copyPastCache(chunk->bytes, staging_.bytes, (staging_.used + 15) / 16 * 16);
  chunk->used = staging_.used;
  staging_.used = 0;
  lock.lock();
  full_.push_back(chunk);
  if (consumerWaiting_ && full_.size() >= kChunks / 2) ready_.notify_one();
}

void ChunkQueue::finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_ || ending_) return;
  }
  try {
    handOver();
  } catch (const FatalError&) {
    return;  // stopped: the side that stopped tells why
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ending_ = true;
  ready_.notify_one();
}

const ChunkQueue::Chunk* ChunkQueue::next() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (full_.empty() && !stopped_ && !ending_) {
    consumerWaiting_ = true;
    ready_.wait(lock, [this] { return stopped_ || ending_ || !full_.empty(); });
    consumerWaiting_ = false;
  }
  if (stopped_ || full_.empty()) return nullptr;
  Chunk* chunk = full_.front();
  full_.erase(full_.begin());
  return chunk;
}

void ChunkQueue::done(const Chunk* chunk) {
  std::lock_guard<std::mutex> lock(mutex_);
  // The pool's own chunk, given back: the pointer came from it.
  free_.push_back(const_cast<Chunk*>(chunk));
  if (producerWaiting_) freed_.notify_one();
}

void ChunkQueue::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  ready_.notify_one();
  freed_.notify_one();
}

namespace {

struct LineHead {
  const char* format = nullptr;
  size_t length = 0;
};

}  // namespace

void queueLine(ChunkQueue& queue, uint8_t kind, const char* format, const char* text, size_t length) {
  const size_t room = ChunkQueue::kChunkBytes - 1 - sizeof(LineHead);
  do {
    const size_t piece = length < room ? length : room;
    std::byte* at = queue.reserve(1 + sizeof(LineHead) + piece + 1);
    at = putField(at, kind);
    at = putField(at, LineHead{format, piece});
    std::memcpy(at, text, piece);
    at[piece] = std::byte{0};
    text += piece;
    length -= piece;
  } while (length > 0);
}

const std::byte* printQueuedLine(const std::byte* at, bool toErr, Console& console) {
  LineHead head;
  at = takeField(at, head);
  console.print(toErr, head.format, reinterpret_cast<const char*>(at), head.length);
  return at + head.length + 1;
}
