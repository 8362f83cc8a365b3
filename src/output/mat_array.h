// MATLAB arrays for the two MAT-files, held as libmatio variables: 1x1 structs
// whose fields keep the order in which they were added, real double matrices
// (column-major, zero-filled), character strings and sparse logical columns.
//
// Contract: every factory returns an empty MatArray when the array cannot be
// made. A MatArray owns its variable and the variable owns its element
// buffers; they are allocated once, handed to libmatio without a copy, and
// released with the variable. Setting an array as a struct field moves it into
// the struct, which owns it from then on. Sizes and indices are 32-bit.
#pragma once

#include <climits>
#include <cstdint>
#include <memory>
#include <string>

struct matvar_t;

// Which buffer of a sparse column could not be grown.
enum class SparseGrowth { kDone, kValuesFailed, kRowIndicesFailed };

// A sample count as an array dimension: -1 (which no factory accepts) for a
// count beyond the 32-bit sizes.
inline int32_t arrayRows(int64_t count) {
  return count >= 0 && count <= INT32_MAX ? static_cast<int32_t>(count) : -1;
}

class MatArray {
 public:
  MatArray() = default;

  // rows x columns doubles, all 0.0.
  static MatArray doubleMatrix(int32_t rows, int32_t columns);
  // A 1 x n character array of n UTF-16 code units (see mat_text.h).
  static MatArray string(const std::u16string& units);
  // The same for UTF-8 text, converted by matText.
  static MatArray string(const std::string& utf8);
  // A 1x1 struct without fields.
  static MatArray structure();
  // A rows x 1 sparse logical column without entries, with room for capacity.
  static MatArray sparseLogicalColumn(int32_t rows, int32_t capacity);

  explicit operator bool() const { return var_ != nullptr; }

  int32_t rows() const;
  int32_t columns() const;

  // Double matrices: the elements, column after column; null for an array
  // without elements.
  double* elements() const;
  // Shrinks the visible row count of a one-column array; the elements stay
  // where they are. False when rows is negative or above the current count,
  // or the array has more than one column.
  bool setRows(int32_t rows);

  // Structs: appends a field and returns its number, or -1 on failure.
  int addField(const char* name);
  // Moves value into the field added under name (element 0). False when the
  // struct has no such field or value is empty; the value is released then.
  bool setField(const char* name, MatArray value);

  // Sparse logical columns, in compressed-column layout: one value byte and
  // one 0-based row index per stored entry, and a two-entry column-start table.
  uint8_t* sparseValues() const;
  uint32_t* sparseRowIndices() const;
  uint32_t* sparseColumnStarts() const;
  // Grows both entry buffers to hold capacity entries, contents kept. On
  // failure the stored entries stay valid and the capacity stays as it was.
  SparseGrowth growSparse(int32_t capacity);
  // Records how many entries are stored (column-start table 0, entries).
  void setSparseEntries(int32_t entries);
  // Before writing: declares the stored entries (at least 1) as the column's
  // capacity. Readers such as Octave read as many row indices as the
  // capacity says, whatever the stored entries.
  void fitSparseCapacity();

  // For the file writer and for readers of this module's tests.
  matvar_t* get() const { return var_.get(); }

 private:
  struct Release {
    void operator()(matvar_t* var) const;
  };
  explicit MatArray(matvar_t* var) : var_(var) {}

  std::unique_ptr<matvar_t, Release> var_;
};
