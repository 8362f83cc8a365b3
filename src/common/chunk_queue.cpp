#include "common/chunk_queue.h"

#include "common/fatal_error.h"

ChunkQueue::ChunkQueue() {
  chunks_.resize(kChunks);
  full_.reserve(kChunks);
  free_.reserve(kChunks);
  for (Chunk& chunk : chunks_) {
    chunk.bytes = std::make_unique<std::byte[]>(kChunkBytes);
    free_.push_back(&chunk);
  }
  filling_ = free_.back();
  free_.pop_back();
}

void ChunkQueue::handOver() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopped_) throw FatalError(0);
  full_.push_back(filling_);
  if (consumerWaiting_ && full_.size() >= kChunks / 2) ready_.notify_one();
  if (free_.empty()) {
    if (consumerWaiting_) ready_.notify_one();
    producerWaiting_ = true;
    freed_.wait(lock, [this] { return !free_.empty() || stopped_; });
    producerWaiting_ = false;
  }
  if (stopped_) throw FatalError(0);
  filling_ = free_.back();
  free_.pop_back();
  filling_->used = 0;
}

void ChunkQueue::finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_ || ending_) return;
  full_.push_back(filling_);
  filling_ = nullptr;
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
