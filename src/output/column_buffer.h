// Bounded buffers between the writers and their MAT-file: the values of one
// column of an array, or the filled rows of one mask, kept until a block is
// full and then written at its place in the file. Each holds 64 KiB, taken
// once when it is bound to its file (from the file's write-behind pool when it
// has one); appending never allocates.
//
// Contract: values are appended in row order from row 0 (entries from entry
// 0), and only to a bound buffer; flush() hands over what is held, and the
// buffer goes on in the block the file gives back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "output/mat_file.h"
#include "output/write_behind.h"

template <typename T>
class BlockBuffer {
 public:
  static constexpr size_t kCapacity = 65536 / sizeof(T);

  void bind(MatFile* file, int32_t node, int32_t column = 0) {
    file_ = file;
    node_ = node;
    column_ = column;
    first_ = 0;
    values_ = reinterpret_cast<T*>(file->bindBlock());
    if (!values_) {
      if (!own_) own_ = std::make_unique<T[]>(kCapacity);
      values_ = own_.get();
    }
    next_ = values_;
  }

  void append(T value) {
    *next_++ = value;
    if (next_ == values_ + kCapacity) flush();
  }

  void flush() {
    const auto fill = static_cast<size_t>(next_ - values_);
    if (fill == 0) return;
    auto* block = reinterpret_cast<std::byte*>(values_);
    if constexpr (sizeof(T) == sizeof(double)) {
      block = file_->writeColumnBlock(node_, column_, first_, block, fill);
    } else {
      block = file_->writeMaskBlock(node_, first_, block, fill);
    }
    values_ = reinterpret_cast<T*>(block);
    first_ += static_cast<int64_t>(fill);
    next_ = values_;
  }

 private:
  static_assert(kCapacity * sizeof(T) == WriteBehind::kBlockBytes);

  MatFile* file_ = nullptr;
  int32_t node_ = -1;
  int32_t column_ = 0;
  int64_t first_ = 0;  // the row (entry) of the first value held
  std::unique_ptr<T[]> own_;  // the block of a buffer whose file writes itself
  T* values_ = nullptr;       // the block being filled
  T* next_ = nullptr;  // where the next value goes; null while unbound
};

using ColumnBuffer = BlockBuffer<double>;
using MaskBuffer = BlockBuffer<uint32_t>;
