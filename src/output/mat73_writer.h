// The writer of MAT v7.3 files: HDF5 files, written through libhdf5 with the
// conventions MATLAB uses for them.
// - A 512-byte user block holds the MAT-file header (mat_header.h).
// - The variable is a group under the root, a struct is a group; its
//   attribute MATLAB_class is "struct" and MATLAB_fields lists the field names
//   in file order (HDF5 itself lists a group's members by name).
// - A double array is a dataset of IEEE 64-bit floats whose dimensions are
//   MATLAB's reversed (HDF5 counts them row-major): a rows x 3 array is a
//   3 x rows dataset, each of its columns one contiguous row.
// - A string is a dataset of UTF-16 units (16-bit unsigned) with
//   MATLAB_class "char" and MATLAB_int_decode 2.
// - An empty array (no element) is, as MATLAB writes it, a dataset of 64-bit
//   unsigned integers holding its dimensions in MATLAB's order (0 and 1 for a
//   0x1 column), with MATLAB_empty 1 beside its MATLAB_class.
// - A sparse logical column is a group with MATLAB_class "logical",
//   MATLAB_int_decode 1 and MATLAB_sparse (its rows), holding the datasets
//   "data" (8-bit values, 1), "ir" (64-bit 0-based rows) and "jc" (64-bit
//   column starts, 0 and the entry count). An all-false mask holds "jc" alone,
//   without "data" and "ir", as MATLAB writes a sparse array without entries.
//
// Contract: begin() creates the file, its groups and the streamed arrays with
// their final dimensions; the pass then writes their columns by hyperslabs.
// A mask's datasets are chunked and grow as its rows arrive, so they need no
// size beforehand. end() writes the small arrays, strings and column starts,
// shrinks an array that received fewer rows than it was created with (it is
// copied into a dataset of the final size, a rare case), closes HDF5 and
// writes the header into the user block. Failures are recorded in the file
// with the system's reason where HDF5 leaves one.
#pragma once

#include <hdf5.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "output/mat_file.h"

class Mat73Writer : public MatFormatWriter {
 public:
  Mat73Writer() = default;
  ~Mat73Writer() override;
  Mat73Writer(const Mat73Writer&) = delete;
  Mat73Writer& operator=(const Mat73Writer&) = delete;

  bool begin(OutputFile& file, const MatLayout& layout) override;
  void writeColumn(OutputFile& file, int32_t node, int32_t column, int64_t firstRow,
                   const double* values, size_t count) override;
  void writeMaskRows(OutputFile& file, int32_t node, int64_t firstEntry, const uint32_t* rows,
                     size_t count) override;
  void end(OutputFile& file, const MatLayout& layout) override;

 private:
  struct Object {
    hid_t id = H5I_INVALID_HID;      // the node's group or streamed dataset
    hid_t rows = H5I_INVALID_HID;    // a mask's "ir"
    hid_t values = H5I_INVALID_HID;  // a mask's "data"
    int64_t createdRows = 0;         // a streamed array's rows as created
    int64_t entries = 0;             // a mask's rows written so far
    int64_t chunk = 1;               // a mask's chunk, in entries
  };

  bool create(OutputFile& file, const MatLayout& layout, int32_t index, hid_t parent);
  bool finish(OutputFile& file, const MatLayout& layout, int32_t index, hid_t parent);
  bool growMask(OutputFile& file, Object& mask, hid_t group, int64_t entries);
  // Closes every handle and the file; false when any close failed.
  bool closeAll();

  hid_t file_ = H5I_INVALID_HID;
  std::vector<Object> objects_;
  std::vector<uint8_t> ones_;  // the values of a block of mask rows
};
