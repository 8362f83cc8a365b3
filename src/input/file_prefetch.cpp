#include "input/file_prefetch.h"

#include <unistd.h>

#include <cerrno>

#include "common/signal_free_thread.h"

namespace {

// Bytes past a block's end that a reader of its last bytes may touch.
constexpr size_t kSpareBytes = 128;
constexpr size_t kAlignment = 64;

}  // namespace

FilePrefetch::FilePrefetch(int32_t gap) : gap_(gap < 0 ? 0 : gap) {
  const size_t room = (static_cast<size_t>(gap_) + kAlignment - 1) / kAlignment * kAlignment;
  blocks_.resize(kBlocks);
  free_.reserve(kBlocks);
  full_.reserve(kBlocks);
  for (Block& block : blocks_) {
    block.storage = std::make_unique_for_overwrite<uint8_t[]>(room + kBlockBytes + kSpareBytes);
    block.data = block.storage.get() + room;
    free_.push_back(&block);
  }
  thread_ = startSignalFreeThread([this] { run(); });
}

FilePrefetch::~FilePrefetch() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
    reading_ = false;
  }
  work_.notify_one();
  thread_.join();
}

void FilePrefetch::start(int descriptor, int64_t offset) {
  stop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    descriptor_ = descriptor;
    nextOffset_ = offset;
    reading_ = true;
  }
  work_.notify_one();
}

const FilePrefetch::Block* FilePrefetch::next() {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, [this] { return !full_.empty() || !reading_; });
  if (full_.empty()) return nullptr;
  Block* block = full_.front();
  full_.erase(full_.begin());
  return block;
}

void FilePrefetch::release(const Block* block) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The prefetch's own block, given back: the pointer came from it.
    free_.push_back(const_cast<Block*>(block));
  }
  work_.notify_one();
}

void FilePrefetch::stop() {
  std::unique_lock<std::mutex> lock(mutex_);
  reading_ = false;
  // A read under way finishes first; its block is dropped with the others.
  ready_.wait(lock, [this] { return !busy_; });
  full_.clear();
  free_.clear();
  for (Block& block : blocks_) free_.push_back(&block);
  descriptor_ = -1;
}

void FilePrefetch::fill(Block& block, int descriptor, int64_t offset) {
  int32_t got = 0;
  bool failed = false;
  while (got < kBlockBytes) {
    const ssize_t n = ::pread(descriptor, block.data + got, static_cast<size_t>(kBlockBytes - got), offset + got);
    if (n > 0) {
      got += static_cast<int32_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      failed = n < 0;
      break;
    }
  }
  block.offset = offset;
  block.size = got;
  block.failed = failed;
}

void FilePrefetch::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return quit_ || (reading_ && !free_.empty()); });
    if (quit_) return;
    Block* block = free_.back();
    free_.pop_back();
    const int descriptor = descriptor_;
    const int64_t offset = nextOffset_;
    busy_ = true;
    lock.unlock();
    fill(*block, descriptor, offset);
    lock.lock();
    busy_ = false;
    // Queued even when stop() came meanwhile: it waits for this read, then
    // takes every block back.
    nextOffset_ += block->size;
    if (block->size < kBlockBytes) reading_ = false;
    full_.push_back(block);
    ready_.notify_all();
  }
}
