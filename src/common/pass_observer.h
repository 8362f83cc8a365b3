// What a packet pass tells about its progress to whoever watches it (the
// progress display): which file it opens, and how far into it it has read.
// The pass calls it from its loop; an observer must be cheap and must not
// print on standard output.
#pragma once

#include <cstdint>

class PassObserver {
 public:
  virtual ~PassObserver() = default;
  // The pass opens its file `index` (0-based, in the pass's order).
  virtual void fileStarted(int index) = 0;
  // The pass has read the current file up to byte `offset`.
  virtual void bytesRead(int64_t offset) = 0;
};
