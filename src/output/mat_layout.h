// The shape of a MAT-file's one variable, declared in full before any of it
// is written: a 1x1 struct whose fields are nested 1x1 structs, real double
// arrays, character strings and sparse logical columns, in the order in which
// they are added (the order of the fields in the file).
//
// Contract: the layout holds only what does not grow with the recording: the
// shape of every array, the values of the small arrays that are written whole
// (scalars, first/last times) and the text of the strings. The rows of a
// streamed array and the entries of a mask come from the scan pass when the
// file is created; the writer may set them again before the file is closed
// (an array that received fewer rows, a mask with more or fewer entries), and
// the file is then laid out from the final figures. A node is named by its
// index, which stays valid as nodes are added.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class MatNodeKind { kStruct, kDouble, kText, kMask };

struct MatNode {
  MatNodeKind kind = MatNodeKind::kDouble;
  std::string name;             // the field's name (the variable's for the root)
  std::vector<int32_t> fields;  // of a struct, in file order
  int64_t rows = 0;             // of a double array or a mask
  int32_t columns = 1;          // of a double array
  bool streamed = false;        // a double array written column by column during the pass
  std::vector<double> values;   // of a double array written whole, column-major
  std::u16string text;          // of a string: one UTF-16 unit per character
  int64_t entries = 0;          // of a mask: its stored (true) rows
};

class MatLayout {
 public:
  // The variable: a 1x1 struct called name. Resets the layout.
  int32_t setRoot(const std::string& name);
  int32_t root() const { return 0; }

  int32_t addStruct(int32_t parent, const std::string& name);
  // A rows x columns array written whole at closing, values column-major.
  int32_t addDoubles(int32_t parent, const std::string& name, int64_t rows, int32_t columns,
                     std::vector<double> values);
  int32_t addScalar(int32_t parent, const std::string& name, double value) {
    return addDoubles(parent, name, 1, 1, {value});
  }
  // A rows x columns array whose columns are written during the pass.
  int32_t addColumns(int32_t parent, const std::string& name, int64_t rows, int32_t columns);
  int32_t addText(int32_t parent, const std::string& name, std::u16string units);
  // A rows x 1 sparse logical column with room for entries true rows.
  int32_t addMask(int32_t parent, const std::string& name, int64_t rows, int64_t entries);

  MatNode& node(int32_t index) { return nodes_[static_cast<size_t>(index)]; }
  const MatNode& node(int32_t index) const { return nodes_[static_cast<size_t>(index)]; }
  size_t size() const { return nodes_.size(); }

 private:
  int32_t add(int32_t parent, MatNode node);

  std::vector<MatNode> nodes_;
};
