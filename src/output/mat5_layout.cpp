#include "output/mat5_layout.h"

#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "output/mat5_format.h"

namespace {

using namespace mat5;

struct Tag {
  uint32_t type = 0;
  off_t bytes = 0;  // of the data
  off_t data = 0;   // where the data starts
  off_t end = 0;    // where the next element starts (8-byte aligned)
};

class Walker {
 public:
  Walker(int fd, off_t size) : fd_(fd), size_(size) {}

  // The tag at position, within limit. False when it does not fit.
  bool tag(off_t position, off_t limit, Tag& tag) const {
    if (position + kTagBytes > limit) return false;
    uint8_t raw[kTagBytes];
    if (pread(fd_, raw, sizeof raw, position) != static_cast<ssize_t>(sizeof raw)) return false;
    uint32_t first = 0, second = 0;
    std::memcpy(&first, raw, sizeof first);
    std::memcpy(&second, raw + 4, sizeof second);
    if (first >> 16) {
      // Small element: type and byte count share the first word, data the second.
      tag.type = first & 0xFFFF;
      tag.bytes = first >> 16;
      tag.data = position + 4;
      tag.end = position + kTagBytes;
      return tag.bytes <= kShortFormLimit;
    }
    tag.type = first;
    tag.bytes = second;
    tag.data = position + kTagBytes;
    tag.end = tag.data + ((tag.bytes + 7) / 8) * 8;
    return tag.end <= limit;
  }

  bool word(off_t position, uint32_t& value) const {
    return pread(fd_, &value, sizeof value, position) == static_cast<ssize_t>(sizeof value);
  }

  // A matrix element whose data lies in [start, end).
  bool matrix(off_t start, off_t end, int depth) const {
    if (depth > kMaxDepth) return false;
    Tag flags, dims, name;
    if (!tag(start, end, flags) || flags.type != kUint32 || flags.bytes != 8) return false;
    if (!tag(flags.end, end, dims) || dims.type != kInt32 || dims.bytes < 8 || dims.bytes % 4 != 0) return false;
    if (!tag(dims.end, end, name)) return false;
    uint32_t classWord = 0;
    if (!word(flags.data, classWord)) return false;
    const uint8_t matrixClass = classWord & 0xFF;
    uint64_t elements = 1;
    for (off_t at = dims.data; at < dims.data + dims.bytes; at += 4) {
      uint32_t extent = 0;
      if (!word(at, extent)) return false;
      elements *= extent;
    }
    off_t position = name.end;
    if (matrixClass == kStructClass) {
      Tag nameLength, names;
      if (!tag(position, end, nameLength) || !tag(nameLength.end, end, names)) return false;
      position = names.end;
      while (position < end) {
        Tag field;
        if (!tag(position, end, field) || field.type != kMatrix) return false;
        if (field.bytes > 0 && !matrix(field.data, field.data + field.bytes, depth + 1)) return false;
        position = field.end;
      }
      return position == end;
    }
    // Every other class: data elements up to the end of the matrix.
    bool first = true;
    while (position < end) {
      Tag data;
      if (!tag(position, end, data)) return false;
      if (first && matrixClass == kDoubleClass && data.type == kDouble &&
          static_cast<uint64_t>(data.bytes) != elements * 8)
        return false;
      if (first && matrixClass == kCharClass && data.type == kUtf16 &&
          static_cast<uint64_t>(data.bytes) != elements * 2)
        return false;
      first = false;
      position = data.end;
    }
    return position == end;
  }

  bool file() const {
    off_t position = kHeaderBytes;
    if (size_ < position) return false;
    while (position < size_) {
      Tag variable;
      if (!tag(position, size_, variable) || variable.type != kMatrix) return false;
      if (variable.data + variable.bytes > size_) return false;
      if (variable.bytes > 0 && !matrix(variable.data, variable.data + variable.bytes, 0)) return false;
      position = variable.end;
    }
    return position == size_;
  }

 private:
  static constexpr int kMaxDepth = 32;
  int fd_;
  off_t size_;
};

}  // namespace

bool mat5FileIsWhole(int fd, off_t size) { return Walker(fd, size).file(); }
