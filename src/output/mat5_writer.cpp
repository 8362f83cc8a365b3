#include "output/mat5_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "output/mat5_format.h"
#include "output/mat_header.h"

namespace {

using namespace mat5;

// A block of bytes copied at a time when arrays move, and of mask values.
constexpr size_t kCopyBytes = size_t{1} << 20;

int64_t padded(int64_t bytes) { return (bytes + 7) / 8 * 8; }

// Array flags, dimensions and (empty) name of a field, or the variable's name.
int64_t matrixHeadBytes(const MatNode& node, bool named) {
  const int64_t name = named ? static_cast<int64_t>(node.name.size()) : 0;
  return 16 + 16 + kTagBytes + padded(name);
}

// The room of each field name: the longest name and its NUL, widened until
// all names together fill whole 8-byte words.
int32_t fieldNameLength(const MatLayout& layout, const MatNode& node) {
  size_t longest = 0;
  for (int32_t field : node.fields) longest = std::max(longest, layout.node(field).name.size());
  auto length = static_cast<int64_t>(longest) + 1;
  const auto count = static_cast<int64_t>(node.fields.size());
  while (count > 0 && (count * length) % 8 != 0) ++length;
  return static_cast<int32_t>(length);
}

int64_t maskValueBytes(int64_t entries) { return entries; }

int64_t contentBytes(const MatLayout& layout, int32_t index, bool named,
                     std::vector<Mat5Writer::Place>& places) {
  const MatNode& node = layout.node(index);
  Mat5Writer::Place& place = places[static_cast<size_t>(index)];
  int64_t bytes = matrixHeadBytes(node, named);
  switch (node.kind) {
    case MatNodeKind::kStruct: {
      place.nameLength = fieldNameLength(layout, node);
      bytes += kTagBytes + kTagBytes +
               padded(static_cast<int64_t>(node.fields.size()) * place.nameLength);
      for (int32_t field : node.fields) {
        bytes += kTagBytes + contentBytes(layout, field, false, places);
      }
      break;
    }
    case MatNodeKind::kDouble:
      bytes += kTagBytes + padded(node.rows * node.columns * 8);
      break;
    case MatNodeKind::kText:
      bytes += kTagBytes + padded(static_cast<int64_t>(node.text.size()) * 2);
      break;
    case MatNodeKind::kMask:
      bytes += kTagBytes + padded(node.entries * 4) + kTagBytes + 8 + kTagBytes +
               padded(maskValueBytes(node.entries));
      break;
  }
  place.content = bytes;
  place.rows = node.rows;
  place.entries = node.entries;
  return bytes;
}

void placeAt(const MatLayout& layout, int32_t index, int64_t element, bool named,
             std::vector<Mat5Writer::Place>& places) {
  const MatNode& node = layout.node(index);
  Mat5Writer::Place& place = places[static_cast<size_t>(index)];
  place.element = element;
  const int64_t body = element + kTagBytes + matrixHeadBytes(node, named);
  if (node.kind == MatNodeKind::kStruct) {
    int64_t at = body + kTagBytes + kTagBytes +
                 padded(static_cast<int64_t>(node.fields.size()) * place.nameLength);
    for (int32_t field : node.fields) {
      placeAt(layout, field, at, false, places);
      at += kTagBytes + places[static_cast<size_t>(field)].content;
    }
  } else {
    place.data = body + kTagBytes;
  }
}

// Bytes laid end to end, then written at one offset.
class Bytes {
 public:
  void word(uint32_t value) { raw(&value, sizeof value); }
  void tag(uint32_t type, int64_t bytes) {
    word(type);
    word(static_cast<uint32_t>(bytes));
  }
  void raw(const void* data, size_t size) {
    if (size == 0) return;
    const size_t at = data_.size();
    data_.resize(at + size);
    std::memcpy(data_.data() + at, data, size);
  }
  void pad() { data_.resize(static_cast<size_t>(padded(static_cast<int64_t>(data_.size()))), 0); }
  void clear() { data_.clear(); }
  const std::vector<uint8_t>& data() const { return data_; }

 private:
  std::vector<uint8_t> data_;
};

// pwrite (or pread) of all of size bytes, or the file's failure with the
// system's reason.
template <typename Transfer, typename Pointer>
bool transfer(OutputFile& file, Transfer step, int fd, Pointer data, size_t size, int64_t offset) {
  while (size > 0) {
    const ssize_t n = step(fd, data, size, static_cast<off_t>(offset));
    if (n <= 0) {
      file.fail(n < 0 ? errno : EIO);
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

bool writeAt(OutputFile& file, int fd, const void* data, size_t size, int64_t offset) {
  return transfer(file, ::pwrite, fd, static_cast<const uint8_t*>(data), size, offset);
}

bool readAt(OutputFile& file, int fd, void* data, size_t size, int64_t offset) {
  return transfer(file, ::pread, fd, static_cast<uint8_t*>(data), size, offset);
}

bool copyBytes(OutputFile& file, int from, int64_t source, int to, int64_t target, int64_t bytes,
               std::vector<uint8_t>& buffer) {
  buffer.resize(kCopyBytes);
  while (bytes > 0) {
    const auto n = static_cast<size_t>(std::min<int64_t>(bytes, kCopyBytes));
    if (!readAt(file, from, buffer.data(), n, source)) return false;
    if (!writeAt(file, to, buffer.data(), n, target)) return false;
    source += static_cast<int64_t>(n);
    target += static_cast<int64_t>(n);
    bytes -= static_cast<int64_t>(n);
  }
  return true;
}

// The tags, flags, names, small arrays, strings and mask parts of every
// element: all but the data written during the pass.
class Skeleton {
 public:
  Skeleton(const MatLayout& layout, const std::vector<Mat5Writer::Place>& places, OutputFile& file,
           int fd)
      : layout_(layout), places_(places), file_(file), fd_(fd) {}

  bool write(int64_t fileBytes) {
    const std::string header = matFileHeader(MatVersion::kMat5);
    if (!writeAt(file_, fd_, header.data(), header.size(), 0)) return false;
    if (!element(layout_.root(), true)) return false;
    // The last array's unwritten rows, if any, read as zeros.
    if (ftruncate(fd_, static_cast<off_t>(fileBytes)) != 0) {
      file_.fail(errno);
      return false;
    }
    return true;
  }

 private:
  bool flush(Bytes& bytes, int64_t offset) {
    const bool written = writeAt(file_, fd_, bytes.data().data(), bytes.data().size(), offset);
    bytes.clear();
    return written;
  }

  void head(Bytes& out, const MatNode& node, const Mat5Writer::Place& place, bool named,
            uint32_t flags, uint32_t capacity, int64_t rows, int64_t columns) {
    out.tag(kMatrix, place.content);
    out.tag(kUint32, 8);
    out.word(flags);
    out.word(capacity);
    out.tag(kInt32, 8);
    out.word(static_cast<uint32_t>(rows));
    out.word(static_cast<uint32_t>(columns));
    const size_t nameLength = named ? node.name.size() : 0;
    out.tag(kInt8, static_cast<int64_t>(nameLength));
    out.raw(node.name.data(), nameLength);
    out.pad();
  }

  bool element(int32_t index, bool named) {
    const MatNode& node = layout_.node(index);
    const Mat5Writer::Place& place = places_[static_cast<size_t>(index)];
    Bytes out;
    switch (node.kind) {
      case MatNodeKind::kStruct: {
        head(out, node, place, named, kStructClass, 0, 1, 1);
        out.word(kInt32 | (4u << 16));  // the short form: 4 data bytes in the tag
        out.word(static_cast<uint32_t>(place.nameLength));
        out.tag(kInt8, static_cast<int64_t>(node.fields.size()) * place.nameLength);
        std::vector<char> name(static_cast<size_t>(place.nameLength));
        for (int32_t field : node.fields) {
          std::fill(name.begin(), name.end(), '\0');
          const std::string& fieldName = layout_.node(field).name;
          std::memcpy(name.data(), fieldName.data(), std::min(fieldName.size(), name.size() - 1));
          out.raw(name.data(), name.size());
        }
        out.pad();
        if (!flush(out, place.element)) return false;
        for (int32_t field : node.fields) {
          if (!element(field, false)) return false;
        }
        return true;
      }
      case MatNodeKind::kDouble:
        head(out, node, place, named, kDoubleClass, 0, node.rows, node.columns);
        out.tag(kDouble, node.rows * node.columns * 8);
        if (!node.streamed) {
          out.raw(node.values.data(), node.values.size() * sizeof(double));
          out.pad();
        }
        return flush(out, place.element);
      case MatNodeKind::kText:
        head(out, node, place, named, kCharClass, 0, 1, static_cast<int64_t>(node.text.size()));
        out.tag(kUtf16, static_cast<int64_t>(node.text.size()) * 2);
        out.raw(node.text.data(), node.text.size() * 2);
        out.pad();
        return flush(out, place.element);
      case MatNodeKind::kMask:
        return mask(node, place, named);
    }
    return true;
  }

  // The row indices were written during the pass; their padding, the column
  // starts and one value byte (1, true) per entry are written here.
  bool mask(const MatNode& node, const Mat5Writer::Place& place, bool named) {
    Bytes out;
    const auto capacity = static_cast<uint32_t>(std::max<int64_t>(node.entries, 1));
    head(out, node, place, named, kSparseClass | (kLogicalFlag << 8), capacity, node.rows, 1);
    out.tag(kUint32, node.entries * 4);
    if (!flush(out, place.element)) return false;
    const int64_t rowsEnd = place.data + node.entries * 4;
    if (padded(node.entries * 4) != node.entries * 4) out.word(0);
    out.tag(kUint32, 8);
    out.word(0);
    out.word(static_cast<uint32_t>(node.entries));
    out.tag(kUint8, maskValueBytes(node.entries));
    if (!flush(out, rowsEnd)) return false;
    int64_t at = padded(rowsEnd) + kTagBytes + 8 + kTagBytes;
    const std::vector<uint8_t> ones(std::min<size_t>(kCopyBytes, static_cast<size_t>(node.entries)), 1);
    for (int64_t left = node.entries; left > 0;) {
      const auto n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(ones.size())));
      if (!writeAt(file_, fd_, ones.data(), n, at)) return false;
      at += static_cast<int64_t>(n);
      left -= static_cast<int64_t>(n);
    }
    const int64_t padding = padded(node.entries) - node.entries;
    if (padding > 0) {
      const uint8_t zeros[8] = {};
      return writeAt(file_, fd_, zeros, static_cast<size_t>(padding), at);
    }
    return true;
  }

  const MatLayout& layout_;
  const std::vector<Mat5Writer::Place>& places_;
  OutputFile& file_;
  int fd_;
};

}  // namespace

std::vector<Mat5Writer::Place> Mat5Writer::place(const MatLayout& layout, int64_t& fileBytes) {
  std::vector<Place> places(layout.size());
  const int64_t content = contentBytes(layout, layout.root(), true, places);
  placeAt(layout, layout.root(), kHeaderBytes, true, places);
  fileBytes = kHeaderBytes + kTagBytes + content;
  return places;
}

Mat5Writer::~Mat5Writer() {
  for (int fd : spills_) {
    if (fd >= 0) ::close(fd);
  }
}

bool Mat5Writer::begin(OutputFile& /*file*/, const MatLayout& layout) {
  places_ = place(layout, placedBytes_);
  spills_.assign(layout.size(), -1);
  return true;
}

void Mat5Writer::writeColumn(OutputFile& file, int32_t node, int32_t column, int64_t firstRow,
                             const double* values, size_t count) {
  const Place& place = places_[static_cast<size_t>(node)];
  // Rows beyond those placed have no room: the writers never hand them over.
  if (firstRow + static_cast<int64_t>(count) > place.rows) return;
  writeAt(file, file.descriptor(), values, count * sizeof(double),
          place.data + (column * place.rows + firstRow) * 8);
}

// A scratch file for the entries of a mask beyond its room, unlinked at once,
// next to the output so that it shares its disk.
int Mat5Writer::spillOf(OutputFile& file, int32_t node) {
  int& fd = spills_[static_cast<size_t>(node)];
  if (fd >= 0) return fd;
  std::string name = file.temporaryPath() + ".XXXXXX";
  fd = mkstemp(name.data());
  if (fd < 0) {
    file.fail(errno);
    return -1;
  }
  unlink(name.c_str());
  return fd;
}

void Mat5Writer::writeMaskRows(OutputFile& file, int32_t node, int64_t firstEntry,
                               const uint32_t* rows, size_t count) {
  const Place& place = places_[static_cast<size_t>(node)];
  const int64_t fitting = std::clamp<int64_t>(place.entries - firstEntry, 0, static_cast<int64_t>(count));
  if (fitting > 0 &&
      !writeAt(file, file.descriptor(), rows, static_cast<size_t>(fitting) * 4, place.data + firstEntry * 4)) {
    return;
  }
  if (fitting == static_cast<int64_t>(count)) return;
  const int spill = spillOf(file, node);
  if (spill < 0) return;
  const int64_t spilled = std::max<int64_t>(firstEntry - place.entries, 0);
  writeAt(file, spill, rows + fitting, (count - static_cast<size_t>(fitting)) * 4, spilled * 4);
}

void Mat5Writer::end(OutputFile& file, const MatLayout& layout) {
  int64_t fileBytes = 0;
  const std::vector<Place> final = place(layout, fileBytes);
  bool moved = false;
  for (size_t i = 0; i < final.size() && !moved; ++i) {
    moved = final[i].element != places_[i].element || final[i].content != places_[i].content;
  }
  const int fd = file.descriptor();
  if (!moved) {
    Skeleton(layout, final, file, fd).write(fileBytes);
    return;
  }

  // Laid out anew in a scratch file beside the output, then copied back.
  // Rows never written read as zeros from the old places too.
  if (ftruncate(fd, static_cast<off_t>(placedBytes_)) != 0) {
    file.fail(errno);
    return;
  }
  std::string name = file.temporaryPath() + ".XXXXXX";
  const int scratch = mkstemp(name.data());
  if (scratch < 0) {
    file.fail(errno);
    return;
  }
  unlink(name.c_str());
  std::vector<uint8_t> buffer;
  bool ok = true;
  for (size_t i = 0; i < final.size() && ok; ++i) {
    const MatNode& node = layout.node(static_cast<int32_t>(i));
    const Place& was = places_[i];
    const Place& now = final[i];
    if (node.kind == MatNodeKind::kDouble && node.streamed) {
      for (int32_t c = 0; c < node.columns && ok; ++c) {
        ok = copyBytes(file, fd, was.data + c * was.rows * 8, scratch, now.data + c * now.rows * 8,
                       std::min(now.rows, was.rows) * 8, buffer);
      }
    } else if (node.kind == MatNodeKind::kMask) {
      const int64_t kept = std::min(now.entries, was.entries);
      ok = copyBytes(file, fd, was.data, scratch, now.data, kept * 4, buffer);
      if (ok && now.entries > kept && spills_[i] >= 0) {
        ok = copyBytes(file, spills_[i], 0, scratch, now.data + kept * 4, (now.entries - kept) * 4,
                       buffer);
      }
    }
  }
  ok = ok && Skeleton(layout, final, file, scratch).write(fileBytes);
  if (ok && ftruncate(fd, 0) != 0) {
    file.fail(errno);
    ok = false;
  }
  ok = ok && copyBytes(file, scratch, 0, fd, 0, fileBytes, buffer);
  ::close(scratch);
}
