// A MAT-file being written: opened for writing, given its one named
// variable, closed, then moved into place. Version 5 (uncompressed) files are
// readable by MATLAB, GNU Octave and scipy.io.loadmat; version 7.3 files are
// HDF5 files that MATLAB loads with load and h5py reads. libmatio does the
// encoding.
//
// Contract: the file is written as an OutputFile, under its temporary name
// until commit(). libmatio does not report failed writes, so close() checks
// the file itself: a v5 file must hold all that its elements announce
// (mat5FileIsWhole), a v7.3 file reach the end that its HDF5 superblock
// records (hdf5FileIsWhole).
// The first failure is kept in output() with the system's reason.
#pragma once

#include <string>
#include <utility>

#include "common/output_file.h"
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

  // Creates the file's temporary and opens it for writing. False when it
  // cannot be written (output() says why).
  bool open(const std::string& path, MatVersion version = MatVersion::kMat5);
  bool isOpen() const { return mat_ != nullptr; }
  // The version of the file opened last.
  MatVersion version() const { return version_; }

  // Writes value as the variable name and releases it.
  void putVariable(const char* name, MatArray value);

  // Closes the file, checks its length, and syncs and closes it on disk.
  // False when a write, the check or the close failed.
  bool close();
  // putVariable, then close(): the whole writing of a file with one variable.
  bool store(const char* name, MatArray value) {
    putVariable(name, std::move(value));
    return close();
  }
  // Moves the closed file to its path.
  bool commit() { return output_.commit(); }

  const OutputFile& output() const { return output_; }

 private:
  void verifyWhole();

  OutputFile output_;
  _mat_t* mat_ = nullptr;
  MatVersion version_ = MatVersion::kMat5;
};
