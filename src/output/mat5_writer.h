// The writer of version 5 MAT-files (uncompressed), after the published
// format: a 128-byte header (text, subsystem offset, version 0x0100 and the
// "IM" endian mark), then the variable as one miMATRIX element. Each element
// is an 8-byte tag (type, byte count) and its data padded to 8 bytes; a
// matrix holds its array flags (class, logical flag, for a sparse array its
// capacity), its dimensions (miINT32), its name (miINT8) and then:
// - a struct: the length of every field name (miINT32, in the short form of
//   a tag that holds its 4 data bytes itself) and the names, each padded with
//   NULs to that length, then one unnamed miMATRIX per field;
// - a double array: its real part, miDOUBLE, column after column;
// - a string: its UTF-16 units (miUTF16);
// - a sparse logical column: its row indices (miUINT32), its column starts
//   (two, miUINT32) and one miUINT8 value per entry.
// The element sizes follow those libmatio writes, so files of either writer
// hold the same bytes apart from the header text.
//
// Contract: begin() places every element from the layout. The columns of the
// streamed arrays and the mask rows are written where they belong while the
// pass runs; the tags, small arrays and strings when the file ends. A mask
// given more entries than it has room for keeps the rest in a scratch file.
// When the final layout differs from the first (an array that received fewer
// rows, a mask with more or fewer entries), end() lays the file out again,
// moving every array to its new place, so the file is always well formed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "output/mat_file.h"

class Mat5Writer : public MatFormatWriter {
 public:
  Mat5Writer() = default;
  ~Mat5Writer() override;
  Mat5Writer(const Mat5Writer&) = delete;
  Mat5Writer& operator=(const Mat5Writer&) = delete;

  bool begin(OutputFile& file, const MatLayout& layout) override;
  void writeColumn(OutputFile& file, int32_t node, int32_t column, int64_t firstRow,
                   const double* values, size_t count) override;
  void writeMaskRows(OutputFile& file, int32_t node, int64_t firstEntry, const uint32_t* rows,
                     size_t count) override;
  void end(OutputFile& file, const MatLayout& layout) override;

  // Where each element lies: its tag, and where the data that is written
  // during the pass starts.
  struct Place {
    int64_t element = 0;   // the element's tag
    int64_t content = 0;   // its byte count, after the tag
    int64_t data = 0;      // a double array's real part, a mask's row indices
    int64_t rows = 0;      // as placed
    int64_t entries = 0;   // of a mask, as placed
    int32_t nameLength = 0;  // of a struct: the room for each field name
  };
  // The places of every node of layout, and the file's whole size.
  static std::vector<Place> place(const MatLayout& layout, int64_t& fileBytes);

 private:
  int spillOf(OutputFile& file, int32_t node);

  std::vector<Place> places_;
  int64_t placedBytes_ = 0;  // the file's size as first laid out
  std::vector<int> spills_;  // per node: scratch descriptor of a mask's extra entries, or -1
};
