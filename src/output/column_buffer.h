// Bounded buffers between the writers and their MAT-file: the values of one
// column of an array, or the filled rows of one mask, kept until a block is
// full and then written at its place in the file. Each holds 64 KiB, taken
// once when it is bound to its file; appending never allocates.
//
// Contract: values are appended in row order from row 0 (entries from entry
// 0), and only to a bound buffer; flush() hands over what is held.
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
    if (!values_) values_ = std::make_unique<T[]>(kCapacity);
    next_ = values_.get();
  }

  void append(T value) {
    *next_++ = value;
    if (next_ == values_.get() + kCapacity) flush();
  }

  void flush() {
    const auto fill = static_cast<size_t>(next_ - values_.get());
    if (fill == 0) return;
    if constexpr (sizeof(T) == sizeof(double)) {
      file_->writeColumn(node_, column_, first_, values_.get(), fill);
    } else {
      file_->writeMaskRows(node_, first_, values_.get(), fill);
    }
    first_ += static_cast<int64_t>(fill);
    next_ = values_.get();
  }

 private:
  MatFile* file_ = nullptr;
  int32_t node_ = -1;
  int32_t column_ = 0;
  int64_t first_ = 0;  // the row (entry) of the first value held
  std::unique_ptr<T[]> values_;
  T* next_ = nullptr;  // where the next value goes; null while unbound
};

using ColumnBuffer = BlockBuffer<double>;
using MaskBuffer = BlockBuffer<uint32_t>;
