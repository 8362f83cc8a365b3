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

int ensureAvailable(ReadBuffer& buffer, FILE* stream, int32_t n, Console& console) {
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

  // Slide the unread tail to the front once more than half the buffer has
  // been consumed, or when the tail alone cannot satisfy the request.
  const int32_t unread = buffer.filled - buffer.consumed;
  if (buffer.consumed > 0 && buffer.filled > 0 &&
      (buffer.consumed > buffer.capacity / 2 || unread <= n)) {
    std::memmove(buffer.data, buffer.data + buffer.consumed, static_cast<size_t>(unread));
    buffer.origin += buffer.consumed;
    buffer.filled = unread;
    buffer.consumed = 0;
  }

  // A request the buffer can never hold is refused before anything else, even
  // when the buffer is full: a full buffer still holds fewer than n bytes.
  if (n > buffer.capacity) return 0;
  if (buffer.filled == buffer.capacity) return 1;
  if (buffer.filled > n && buffer.filled > buffer.capacity / 2) return 1;

  const size_t wanted = static_cast<size_t>(buffer.capacity - buffer.filled);
  const size_t got = std::fread(buffer.data + buffer.filled, 1, wanted, stream);
  if (got > 0) buffer.filled += static_cast<int32_t>(got);
  if (got == wanted) return 1;

  if (std::feof(stream)) buffer.atEof = 1;
  return (buffer.filled == 0 || buffer.filled < n) ? -1 : 1;
}
