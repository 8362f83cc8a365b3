// Bounded buffers between the writers and their MAT-file: the values of one
// column of an array, or the filled rows of one mask, kept until a block is
// full and then written at its place in the file. Each holds 64 KiB, taken
// once when it is bound to its file; appending never allocates.
//
// Contract: values are appended in row order from row 0 (entries from entry
// 0); flush() hands over what is held. A buffer bound to no file (node -1)
// only counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "output/mat_file.h"

template <typename T>
class BlockBuffer {
 public:
  static constexpr size_t kCapacity = 65536 / sizeof(T);

  void bind(MatFile* file, int32_t node, int32_t column = 0) {
    file_ = file;
    node_ = node;
    column_ = column;
    first_ = 0;
    fill_ = 0;
    if (file_ && node_ >= 0 && !values_) values_ = std::make_unique<T[]>(kCapacity);
  }

  void append(T value) {
    if (!values_) {
      ++first_;
      return;
    }
    values_[fill_++] = value;
    if (fill_ == kCapacity) flush();
  }

  void flush() {
    if (fill_ == 0) return;
    if constexpr (sizeof(T) == sizeof(double)) {
      file_->writeColumn(node_, column_, first_, values_.get(), fill_);
    } else {
      file_->writeMaskRows(node_, first_, values_.get(), fill_);
    }
    first_ += static_cast<int64_t>(fill_);
    fill_ = 0;
  }

  // Appended so far, written or held.
  int64_t count() const { return first_ + static_cast<int64_t>(fill_); }

 private:
  MatFile* file_ = nullptr;
  int32_t node_ = -1;
  int32_t column_ = 0;
  int64_t first_ = 0;  // the row (entry) of the first value held
  size_t fill_ = 0;
  std::unique_ptr<T[]> values_;
};

using ColumnBuffer = BlockBuffer<double>;
using MaskBuffer = BlockBuffer<uint32_t>;
