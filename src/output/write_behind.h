// A thread that carries out the writes of the MAT-files while their writers
// go on filling them. Much of a conversion's system time is the system
// copying the written bytes into its file cache; handed to this thread, that
// copy runs on another core beside the filling instead of after it.
//
// Contract: the writers hand over blocks of 64 KiB, each with the job that
// writes it. Jobs run one at a time, on the one thread, in the order they
// were handed over, so a file receives the same calls in the same order as
// when its writer writes itself: the bytes are the same. Every block belongs
// to the pool, taken once (when a writer binds a buffer, or at construction
// for the spares); handing a block over gives the writer a free one back,
// waiting while all are in flight, and never allocates. A job that reports a
// failure sets failed(); the MAT-files' jobs report none, since a MAT-file
// keeps its first failure itself and reports it when it closes.
// drain() waits until every job handed over has run: after it the caller may
// touch whatever the jobs touched. The destructor drops the jobs not yet run
// (a run that ends early keeps none of its outputs) and joins the thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct WriteJob;

// Runs one job on the write-behind thread; false when the write failed.
using WriteJobRun = bool (*)(void* target, const WriteJob& job);

struct WriteJob {
  WriteJobRun run = nullptr;
  void* target = nullptr;   // the writer the job writes for
  std::byte* block = nullptr;
  size_t count = 0;         // values held in the block
  int64_t first = 0;        // where they go: row, entry or sample
  int32_t node = -1;        // the MAT-file node, for a MAT-file's job
  int32_t column = 0;       // the column; -1 for a mask's rows
};

class WriteBehind {
 public:
  static constexpr size_t kBlockBytes = 65536;
  // Blocks in flight beyond those the writers hold: how far the writers may
  // get ahead of the disk (4 MiB).
  static constexpr int32_t kSpareBlocks = 64;

  WriteBehind();
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // A block of the pool for a writer's buffer to fill: the writer holds it
  // until it hands it over. Allocates; for binding, not for the pass.
  std::byte* bindBlock();
  // Queues job (job.block with it) and returns a free block to fill next.
  std::byte* hand(const WriteJob& job);
  // Waits until every job handed over has run.
  void drain();
  // Whether a job has reported a failure.
  bool failed() const { return failed_.load(std::memory_order_acquire); }

 private:
  void work();

  std::mutex mutex_;
  std::condition_variable jobsReady_;   // a job queued, or the end
  std::condition_variable blocksFree_;  // a block back in the pool, or every job run
  std::vector<std::unique_ptr<std::byte[]>> blocks_;  // the pool: every block
  std::vector<std::byte*> free_;
  std::vector<WriteJob> jobs_;  // a ring of queued jobs, as many as the blocks
  size_t head_ = 0;             // the next job to run
  size_t queued_ = 0;
  bool running_ = false;        // the thread is running a job
  bool stopping_ = false;
  std::atomic<bool> failed_{false};
  std::thread thread_;
};
