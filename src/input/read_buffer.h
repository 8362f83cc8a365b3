// The buffered reader of a packet stream. It keeps the absolute file offset of
// its contents so that diagnostics can name the position ("pos") of a byte:
// origin + consumed is the offset of the next unread byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "common/console.h"

struct ReadBuffer {
  uint8_t* data = nullptr;             // 8-byte aligned start of the usable bytes
  std::unique_ptr<uint8_t[]> storage;  // capacity + 128 bytes
  int32_t capacity = 0;
  int32_t filled = 0;    // valid bytes from data[0]
  int32_t consumed = 0;  // offset of the next unread byte; callers advance it
  int32_t atEof = 0;
  int64_t origin = -1;   // file offset of data[0]; -1 until the first refill

  int64_t position() const { return origin + consumed; }
  const uint8_t* next() const { return data + consumed; }
};

// Releases any previous storage, allocates capacity + 128 bytes and empties the buffer.
void bindReader(ReadBuffer& buffer, int32_t capacity);

// Releases the storage.
void releaseReader(ReadBuffer& buffer);

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
