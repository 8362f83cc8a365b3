// A MAT-file (version 5, uncompressed) being written: opened for writing,
// given its one named variable, closed. Files are readable by MATLAB, GNU
// Octave and scipy.io.loadmat; libmatio does the encoding.
#pragma once

#include <string>

#include "output/mat_array.h"

struct _mat_t;

class MatFile {
 public:
  MatFile() = default;
  ~MatFile();
  MatFile(MatFile&& other) noexcept;
  MatFile& operator=(MatFile&& other) noexcept;
  MatFile(const MatFile&) = delete;
  MatFile& operator=(const MatFile&) = delete;

  // Creates (or truncates) the file at path. False when it cannot be written.
  bool open(const std::string& path);
  bool isOpen() const { return mat_ != nullptr; }

  // Writes value as the variable name and releases it.
  void putVariable(const char* name, MatArray value);

  // Closes the file: 0 on success, non-zero when a write or the close failed.
  int close();

 private:
  _mat_t* mat_ = nullptr;
  bool writeFailed_ = false;
};
