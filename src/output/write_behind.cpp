#include "output/write_behind.h"

#include <utility>

#include "common/signal_free_thread.h"

namespace {

std::unique_ptr<std::byte[]> newBlock() {
  return std::make_unique<std::byte[]>(WriteBehind::kBlockBytes);
}

}  // namespace

WriteBehind::WriteBehind() {
  for (int32_t i = 0; i < kSpareBlocks; ++i) {
    blocks_.push_back(newBlock());
    free_.push_back(blocks_.back().get());
  }
  jobs_.resize(blocks_.size());
  free_.reserve(blocks_.size());
  thread_ = startSignalFreeThread([this] { work(); });
}

WriteBehind::~WriteBehind() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  jobsReady_.notify_one();
  thread_.join();
}

std::byte* WriteBehind::bindBlock() {
  std::lock_guard<std::mutex> lock(mutex_);
  blocks_.push_back(newBlock());
  // The ring holds as many jobs as there are blocks; it grows in order.
  std::vector<WriteJob> jobs(blocks_.size());
  for (size_t i = 0; i < queued_; ++i) jobs[i] = jobs_[(head_ + i) % jobs_.size()];
  jobs_ = std::move(jobs);
  head_ = 0;
  free_.reserve(blocks_.size());
  return blocks_.back().get();
}

std::byte* WriteBehind::hand(const WriteJob& job) {
  std::unique_lock<std::mutex> lock(mutex_);
  jobs_[(head_ + queued_) % jobs_.size()] = job;
  ++queued_;
  jobsReady_.notify_one();
  blocksFree_.wait(lock, [this] { return !free_.empty(); });
  std::byte* block = free_.back();
  free_.pop_back();
  return block;
}

void WriteBehind::drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  blocksFree_.wait(lock, [this] { return queued_ == 0 && !running_; });
}

void WriteBehind::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    jobsReady_.wait(lock, [this] { return stopping_ || queued_ > 0; });
    if (stopping_) break;
    const WriteJob job = jobs_[head_];
    head_ = (head_ + 1) % jobs_.size();
    --queued_;
    running_ = true;
    lock.unlock();
    const bool written = job.run(job.target, job);
    if (!written) failed_.store(true, std::memory_order_release);
    lock.lock();
    running_ = false;
    free_.push_back(job.block);
    blocksFree_.notify_all();
  }
  // Jobs still queued are dropped with the run that stopped.
  queued_ = 0;
  running_ = false;
  blocksFree_.notify_all();
}
