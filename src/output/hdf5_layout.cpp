#include "output/hdf5_layout.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
// Bytes of a superblock up to and including its end-of-file address, with
// addresses of at most 8 bytes.
constexpr size_t kSuperblockHead = 28 + 3 * 8;

bool readAt(int fd, off_t offset, unsigned char* into, size_t count) {
  return pread(fd, into, count, offset) == static_cast<ssize_t>(count);
}

// A little-endian address of `bytes` bytes; false for the undefined address
// (all bits set) and for widths that are not 2, 4 or 8.
bool address(const unsigned char* p, unsigned bytes, uint64_t& value) {
  if (bytes != 2 && bytes != 4 && bytes != 8) return false;
  value = 0;
  bool undefined = true;
  for (unsigned i = 0; i < bytes; ++i) {
    value |= uint64_t{p[i]} << (8 * i);
    undefined = undefined && p[i] == 0xFF;
  }
  return !undefined;
}

// The end-of-file address of the superblock at p (kSuperblockHead bytes).
bool endOfFile(const unsigned char* p, uint64_t& eof) {
  const unsigned version = p[8];
  unsigned sizeOfOffsets = 0;
  size_t at = 0;
  if (version == 0 || version == 1) {
    sizeOfOffsets = p[13];
    // Base address and free-space address come before the end of file.
    at = (version == 0 ? 24 : 28) + 2 * static_cast<size_t>(sizeOfOffsets);
  } else if (version == 2 || version == 3) {
    sizeOfOffsets = p[9];
    // Base address and superblock-extension address.
    at = 12 + 2 * static_cast<size_t>(sizeOfOffsets);
  } else {
    return false;
  }
  if (sizeOfOffsets > 8 || at + sizeOfOffsets > kSuperblockHead) return false;
  return address(p + at, sizeOfOffsets, eof);
}

}  // namespace

bool hdf5FileIsWhole(int fd, off_t size) {
  for (off_t offset = 0; offset + static_cast<off_t>(kSuperblockHead) <= size;
       offset = offset == 0 ? 512 : offset * 2) {
    unsigned char head[kSuperblockHead];
    if (!readAt(fd, offset, head, sizeof head)) return false;
    if (std::memcmp(head, kSignature, sizeof kSignature) != 0) continue;
    uint64_t eof = 0;
    return endOfFile(head, eof) && eof <= static_cast<uint64_t>(size);
  }
  return false;
}
