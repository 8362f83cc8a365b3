#include "input/read_buffer.h"

#include <cstring>

namespace {

constexpr const char* kOverConsumed = "Buffer error more bytes consumed than available!\n";

// Spare bytes of the allocation: room for aligning data to 8 bytes.
constexpr int32_t kSpareBytes = 128;

}  // namespace

void bindReader(ReadBuffer& buffer, int32_t capacity) {
  releaseReader(buffer);
  if (capacity < 0) capacity = 0;
  buffer.storage = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(capacity) + kSpareBytes);
  // The usable bytes start at the next multiple of 8 strictly past the
  // allocation's start rounded down: 1 to 8 bytes into the allocation.
  const uintptr_t start = reinterpret_cast<uintptr_t>(buffer.storage.get());
  const uintptr_t aligned = (start & ~static_cast<uintptr_t>(7)) + 8;
  buffer.data = buffer.storage.get() + (aligned - start);
  buffer.capacity = capacity;
  buffer.filled = 0;
  buffer.consumed = 0;
  buffer.atEof = 0;
  buffer.origin = -1;
}

void releaseReader(ReadBuffer& buffer) {
  buffer.storage.reset();
  buffer.data = nullptr;
  buffer.capacity = 0;
  buffer.filled = 0;
  buffer.consumed = 0;
}

bool seekReader(ReadBuffer& buffer, FILE* stream, int64_t offset) {
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
