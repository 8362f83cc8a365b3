#include "input/read_buffer.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kOverConsumed = "Buffer error more bytes consumed than available!\n";

// Spare bytes of the allocation: room for aligning data to 8 bytes.
constexpr int32_t kSpareBytes = 128;

// The usable bytes start at the next multiple of 8 strictly past the
// allocation's start rounded down: 1 to 8 bytes into the allocation.
uint8_t* alignedStart(uint8_t* storage) {
  const uintptr_t start = reinterpret_cast<uintptr_t>(storage);
  const uintptr_t aligned = (start & ~static_cast<uintptr_t>(7)) + 8;
  return storage + (aligned - start);
}

}  // namespace

void bindReader(ReadBuffer& buffer, int32_t capacity) {
  releaseReader(buffer);
  if (capacity < 0) capacity = 0;
  buffer.storage = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(capacity) + kSpareBytes);
  buffer.data = alignedStart(buffer.storage.get());
  buffer.capacity = capacity;
  buffer.filled = 0;
  buffer.consumed = 0;
  buffer.atEof = 0;
  buffer.origin = -1;
}

void releaseReader(ReadBuffer& buffer) {
  if (buffer.prefetch) buffer.prefetch->stop();
  buffer.prefetch = nullptr;
  buffer.block = nullptr;
  buffer.prefetchEnded = false;
  buffer.storage.reset();
  buffer.data = nullptr;
  buffer.capacity = 0;
  buffer.filled = 0;
  buffer.consumed = 0;
}

void prefetchReader(ReadBuffer& buffer, FilePrefetch& prefetch) {
  if (buffer.capacity > prefetch.gap()) return;
  buffer.prefetch = &prefetch;
}

namespace {

// Leaves the prefetch's blocks, and the bytes in them, for the own storage.
void leaveBlocks(ReadBuffer& buffer) {
  buffer.block = nullptr;
  buffer.prefetchEnded = false;
  buffer.data = alignedStart(buffer.storage.get());
}

// The refill from the prefetch's blocks; unread < n <= capacity <= gap.
int refillFromPrefetch(ReadBuffer& buffer, int32_t n) {
  FilePrefetch& prefetch = *buffer.prefetch;
  int32_t unread = buffer.filled - buffer.consumed;
  while (!buffer.prefetchEnded) {
    const FilePrefetch::Block* block = prefetch.next();
    if (!block) {
      buffer.prefetchEnded = true;
      break;
    }
    uint8_t* data = block->data - unread;
    std::memcpy(data, buffer.data + buffer.consumed, static_cast<size_t>(unread));
    if (buffer.block) prefetch.release(buffer.block);
    buffer.block = block;
    buffer.origin += buffer.consumed;
    buffer.data = data;
    buffer.consumed = 0;
    buffer.filled = unread + block->size;
    if (block->size < FilePrefetch::kBlockBytes) {
      // As a short read of the stream: the end of the file, or a failure.
      buffer.prefetchEnded = true;
      buffer.atEof = block->failed ? 0 : 1;
    }
    unread = buffer.filled;
    if (unread >= n) return 1;
  }
  return unread >= n ? 1 : -1;
}

}  // namespace

bool seekReader(ReadBuffer& buffer, FILE* stream, int64_t offset) {
  if (buffer.prefetch) {
    // The prefetch reads from the offset on; the blocks held are its again.
    buffer.prefetch->start(fileno(stream), offset);
    leaveBlocks(buffer);
    buffer.origin = offset;
    buffer.filled = 0;
    buffer.consumed = 0;
    buffer.atEof = 0;
    return true;
  }
  if (fseeko(stream, offset, SEEK_SET) != 0) return false;
  buffer.origin = offset;
  buffer.filled = 0;
  buffer.consumed = 0;
  buffer.atEof = 0;
  return true;
}

int refillReader(ReadBuffer& buffer, FILE* stream, int32_t n, Console& console) {
  if (buffer.origin == -1) {
    // The buffer's first byte is the stream's current byte: the first packet.
    const int64_t here = ftello(stream);
    buffer.origin = here < 0 ? 0 : here;
    // A prefetch reads the file from there on; a stream without a position
    // is read on its own.
    if (buffer.prefetch && here < 0) buffer.prefetch = nullptr;
    if (buffer.prefetch) buffer.prefetch->start(fileno(stream), buffer.origin);
  }
  if (buffer.filled < 0) buffer.filled = 0;
  if (buffer.consumed > buffer.filled) {
    console.out(kOverConsumed);
    buffer.consumed = buffer.filled;
  }
  const int32_t unread = buffer.filled - buffer.consumed;
  if (unread >= n) return 1;
  // A request the buffer can never hold is refused before anything is read.
  if (n > buffer.capacity) return 0;

  if (buffer.prefetch) return refillFromPrefetch(buffer, n);

  // Only the short unread tail (fewer than n bytes) moves to the front; the
  // rest of the buffer is then filled in one read.
  if (buffer.consumed > 0) {
    std::memmove(buffer.data, buffer.data + buffer.consumed, static_cast<size_t>(unread));
    buffer.origin += buffer.consumed;
    buffer.filled = unread;
    buffer.consumed = 0;
  }
  const size_t wanted = static_cast<size_t>(buffer.capacity - buffer.filled);
  const size_t got = std::fread(buffer.data + buffer.filled, 1, wanted, stream);
  if (got > 0) buffer.filled += static_cast<int32_t>(got);
  if (got == wanted) return 1;

  if (std::feof(stream)) buffer.atEof = 1;
  return (buffer.filled == 0 || buffer.filled < n) ? -1 : 1;
}
