// The buffered reader of a packet stream. It keeps the absolute file offset of
// its contents so that diagnostics can name the position ("pos") of a byte:
// origin + consumed is the offset of the next unread byte. Bound to a
// FilePrefetch, it takes its bytes in place from the prefetch's blocks, and
// moves only the unread tail (fewer bytes than a request) into the gap before
// the next block: what callers see (the bytes, the results, the end of the
// stream) is the same as when it reads the stream itself.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "common/console.h"
#include "input/file_prefetch.h"

struct ReadBuffer {
  uint8_t* data = nullptr;             // 8-byte aligned start of the usable bytes
  std::unique_ptr<uint8_t[]> storage;  // capacity + 128 bytes
  int32_t capacity = 0;
  int32_t filled = 0;    // valid bytes from data[0]; through a prefetch, up to a block's more than capacity
  int32_t consumed = 0;  // offset of the next unread byte; callers advance it
  int32_t atEof = 0;
  int64_t origin = -1;   // file offset of data[0]; -1 until the first refill

  // Reading through a prefetch (not owned; null: from the stream): the
  // block the bytes lie in, and whether the block that ended the file (or
  // a failed read) has been taken.
  FilePrefetch* prefetch = nullptr;
  const FilePrefetch::Block* block = nullptr;
  bool prefetchEnded = false;

  int64_t position() const { return origin + consumed; }
  const uint8_t* next() const { return data + consumed; }
};

// Releases any previous storage, allocates capacity + 128 bytes and empties the buffer.
void bindReader(ReadBuffer& buffer, int32_t capacity);

// Releases the storage, and stops and unbinds the prefetch, if any: the
// stream may be closed after.
void releaseReader(ReadBuffer& buffer);

// Takes the bytes from `prefetch` from the next refill on, which starts it
// at the stream's position then. A buffer of more capacity than the
// prefetch's gap reads on its own.
void prefetchReader(ReadBuffer& buffer, FilePrefetch& prefetch);

// Moves the stream to file offset `offset` and empties the buffer, so that
// the next byte read is the one there. Returns false when the stream cannot seek.
bool seekReader(ReadBuffer& buffer, FILE* stream, int64_t offset);

// The slow path of ensureAvailable: moves the unread tail to the front and
// fills the rest of the buffer from the stream.
int refillReader(ReadBuffer& buffer, FILE* stream, int32_t n, Console& console);

// Makes at least n unread bytes available if the stream still has them.
// Returns 1 available, 0 n exceeds the capacity (nothing read), -1 the stream
// is exhausted with fewer than n unread bytes. Bytes already buffered are
// answered without a call; the buffer is refilled only when they run short.
inline int ensureAvailable(ReadBuffer& buffer, FILE* stream, int32_t n, Console& console) {
  if (buffer.origin != -1 && buffer.consumed <= buffer.filled && buffer.filled - buffer.consumed >= n) return 1;
  return refillReader(buffer, stream, n, console);
}
