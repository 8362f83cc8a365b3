#include "common/chunk_queue.h"

#include <cstdint>
#include <cstring>

#include "common/fatal_error.h"

void ChunkQueue::allocate(Chunk& chunk) {
  chunk.storage = std::make_unique<std::byte[]>(kChunkBytes + kAlignment);
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
  std::memcpy(chunk->bytes, staging_.bytes, staging_.used);
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
