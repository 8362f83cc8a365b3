// A MAT-file being written: opened for writing, given its one named variable,
// closed. Version 5 (uncompressed) files are readable by MATLAB, GNU Octave
// and scipy.io.loadmat; version 7.3 files are HDF5 files that MATLAB loads
// with load and h5py reads. libmatio does the encoding.
#pragma once

#include <string>

#include "output/mat_array.h"

struct _mat_t;

enum class MatVersion { kMat5, kMat73 };

class MatFile {
 public:
  MatFile() = default;
  ~MatFile();
  MatFile(MatFile&& other) noexcept;
  MatFile& operator=(MatFile&& other) noexcept;
  MatFile(const MatFile&) = delete;
  MatFile& operator=(const MatFile&) = delete;

  // Creates (or truncates) the file at path. False when it cannot be written.
  bool open(const std::string& path, MatVersion version = MatVersion::kMat5);
  bool isOpen() const { return mat_ != nullptr; }
  // The version of the file opened last.
  MatVersion version() const { return version_; }

  // Writes value as the variable name and releases it.
  void putVariable(const char* name, MatArray value);

  // Closes the file: 0 on success, non-zero when a write or the close failed.
  int close();

 private:
  _mat_t* mat_ = nullptr;
  bool writeFailed_ = false;
  MatVersion version_ = MatVersion::kMat5;
};
