// An input file's bytes read ahead, in order, on a thread of its own, so
// that the system's copying of them out of the page cache runs beside the
// framing and decoding of the bytes before them. A read buffer bound to a
// prefetch takes its bytes from the blocks in place (see ReadBuffer).
//
// Contract: one thread consumes. start() reads the descriptor from an
// offset on, block after block, at most kBlocks ahead (fewer while the
// consumer holds some); next() returns the blocks in file order, each
// holding the file's bytes from its offset, and room of `gap` bytes before
// them, which the consumer may write (to lay bytes it still needs in front
// of them). A block shorter than kBlockBytes is the last one: the file ended
// there, or a read failed. stop() ends the reading: once it returns, the
// descriptor is no longer read and every block, held or queued, is the
// prefetch's again. The thread prints nothing and allocates nothing after
// construction.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class FilePrefetch {
 public:
  static constexpr int32_t kBlockBytes = 1 << 20;
  static constexpr int kBlocks = 4;
  // The largest gap worth a prefetch: a read buffer of more capacity reads
  // on its own.
  static constexpr int32_t kMaxGap = 1 << 20;

  struct Block {
    std::unique_ptr<uint8_t[]> storage;  // gap + kBlockBytes + spare bytes
    uint8_t* data = nullptr;             // the bytes; the gap lies right before
    int64_t offset = 0;                  // of data[0] in the file
    int32_t size = 0;                    // bytes read into data
    bool failed = false;                 // a read failed after `size` bytes
  };

  explicit FilePrefetch(int32_t gap);
  ~FilePrefetch();
  FilePrefetch(const FilePrefetch&) = delete;
  FilePrefetch& operator=(const FilePrefetch&) = delete;

  int32_t gap() const { return gap_; }

  // Stops any reading, then reads `descriptor` from `offset` on.
  void start(int descriptor, int64_t offset);
  // The next block in file order, waiting for it; null once the last block
  // (a short one) has been returned, or before any start().
  const Block* next();
  // Gives a block back once its bytes are no longer needed.
  void release(const Block* block);
  void stop();

 private:
  void run();
  // Reads up to kBlockBytes from descriptor at offset into block; unlocked.
  static void fill(Block& block, int descriptor, int64_t offset);

  const int32_t gap_;
  std::vector<Block> blocks_;

  std::mutex mutex_;
  std::condition_variable work_;   // reading started, a block freed, or quitting
  std::condition_variable ready_;  // a block queued, the reading ended, or the thread idle
  std::vector<Block*> free_;
  std::vector<Block*> full_;       // in file order; a few
  int descriptor_ = -1;
  int64_t nextOffset_ = 0;
  bool reading_ = false;           // blocks still to be read since the last start()
  bool busy_ = false;              // the thread is reading into a block
  bool quit_ = false;
  std::thread thread_;
};
