// A MAT-file (version 5, uncompressed) being written: opened for writing,
// given its one named variable, closed, then moved into place. Files are
// readable by MATLAB, GNU Octave and scipy.io.loadmat; libmatio does the
// encoding.
//
// Contract: the file is written as an OutputFile, under its temporary name
// until commit(). libmatio does not report failed writes, so close() checks
// the file itself: it must hold all that its elements announce
// (mat5FileIsWhole).
// The first failure is kept in output() with the system's reason.
#pragma once

#include <string>

#include "common/output_file.h"
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

  // Creates the file's temporary and opens it for writing. False when it
  // cannot be written (output() says why).
  bool open(const std::string& path);
  bool isOpen() const { return mat_ != nullptr; }

  // Writes value as the variable name and releases it.
  void putVariable(const char* name, MatArray value);

  // Closes the file, checks its length, and syncs and closes it on disk.
  // False when a write, the check or the close failed.
  bool close();
  // Moves the closed file to its path.
  bool commit() { return output_.commit(); }

  const OutputFile& output() const { return output_; }

 private:
  void verifyWhole();

  OutputFile output_;
  _mat_t* mat_ = nullptr;
};
