#include "output/write_behind.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

// What the jobs of one test wrote, in the order they ran: the first value
// of each block. Touched by the worker until drain(), then by the test.
struct Written {
  std::vector<int64_t> firsts;
  std::vector<int64_t> values;
  int64_t failAt = -1;  // the job whose first is this reports a failure
};

bool record(void* target, const WriteJob& job) {
  auto& written = *static_cast<Written*>(target);
  int64_t value = 0;
  std::memcpy(&value, job.block, sizeof value);
  written.firsts.push_back(job.first);
  written.values.push_back(value);
  return job.first != written.failAt;
}

// Fills a block with n and hands it over as job n; returns the block to fill next.
std::byte* handNumbered(WriteBehind& worker, Written& written, std::byte* block, int64_t n) {
  std::memcpy(block, &n, sizeof n);
  WriteJob job;
  job.run = &record;
  job.target = &written;
  job.block = block;
  job.count = 1;
  job.first = n;
  return worker.hand(job);
}

}  // namespace

// Jobs run in the order they were handed over, each with the block it was
// handed with, while blocks come back to the writers many times over and
// while a buffer bound late grows the queue with jobs still in it.
TEST(WriteBehind, JobsRunInOrderWithTheirOwnBlocks) {
  WriteBehind worker;
  Written written;
  std::vector<int64_t> expected;
  std::byte* a = worker.bindBlock();
  int64_t n = 0;
  const auto hand = [&](std::byte*& block) {
    block = handNumbered(worker, written, block, n);
    expected.push_back(n++);
  };
  while (n < 3 * WriteBehind::kSpareBlocks) hand(a);
  worker.drain();
  // The worker held up in a job, so that the next ones wait in the queue
  // when another buffer binds its block.
  struct Gate {
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
  } gate;
  WriteJob hold;
  hold.run = [](void* target, const WriteJob&) {
    auto& g = *static_cast<Gate*>(target);
    g.entered = true;
    while (!g.release.load()) std::this_thread::yield();
    return true;
  };
  hold.target = &gate;
  hold.block = worker.bindBlock();
  worker.hand(hold);
  while (!gate.entered.load()) std::this_thread::yield();
  for (int i = 0; i < 5; ++i) hand(a);
  std::byte* b = worker.bindBlock();
  gate.release = true;
  for (int i = 0; i < 10; ++i) hand(i % 2 ? a : b);
  worker.drain();
  EXPECT_EQ(written.firsts, expected);
  EXPECT_EQ(written.values, expected);
  EXPECT_FALSE(worker.failed());
}

// A job that reports a failure is known to the writer once it has run; the
// jobs after it still run (a MAT-file keeps its first failure for closing).
TEST(WriteBehind, AFailedJobIsReported) {
  WriteBehind worker;
  Written written;
  written.failAt = 2;
  std::byte* block = worker.bindBlock();
  for (int64_t n = 0; n < 5; ++n) block = handNumbered(worker, written, block, n);
  worker.drain();
  EXPECT_TRUE(worker.failed());
  EXPECT_EQ(written.firsts.size(), 5u);
}
