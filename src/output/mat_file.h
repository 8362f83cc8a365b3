// A MAT-file written into place as the write pass goes. Its one variable is
// laid out from a MatLayout when the file is opened; the columns of the
// streamed arrays and the rows of the masks are then written at their places
// in the file, block by block, and everything else when the file is closed.
// Version 5 files (uncompressed) are written by this module's own writer of
// the published format and read by MATLAB, GNU Octave, scipy.io.loadmat and
// libmatio; version 7.3 files are HDF5 files with MATLAB's conventions,
// written through libhdf5, which MATLAB loads and h5py reads.
//
// Contract: the file is written as an OutputFile, under its temporary name
// until commit(). Memory stays bounded whatever the arrays' sizes: the
// writers keep no array, only the layout and the blocks handed to them. Every
// write is checked; the first failure is kept in output() with the system's
// reason, later writes are skipped, and close() reports it. close() also
// checks the file itself: a v5 file must hold all that its elements announce
// (mat5FileIsWhole), a v7.3 file reach the end its HDF5 superblock records
// (hdf5FileIsWhole).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/output_file.h"
#include "output/mat_layout.h"
#include "output/write_behind.h"

enum class MatVersion { kMat5, kMat73 };

// One version's way of putting a layout into a file.
class MatFormatWriter {
 public:
  virtual ~MatFormatWriter() = default;
  // Lays the file out and prepares it. False on failure (recorded in file).
  virtual bool begin(OutputFile& file, const MatLayout& layout) = 0;
  // count values of a streamed array's column, from row firstRow on.
  virtual void writeColumn(OutputFile& file, int32_t node, int32_t column, int64_t firstRow,
                           const double* values, size_t count) = 0;
  // count 0-based rows of a mask, its entries from firstEntry on.
  virtual void writeMaskRows(OutputFile& file, int32_t node, int64_t firstEntry,
                             const uint32_t* rows, size_t count) = 0;
  // Writes everything else, laid out from the final layout; the file stays open.
  virtual void end(OutputFile& file, const MatLayout& layout) = 0;
};

class MatFile {
 public:
  MatFile();
  ~MatFile();
  MatFile(MatFile&& other) noexcept;
  MatFile& operator=(MatFile&& other) noexcept;
  MatFile(const MatFile&) = delete;
  MatFile& operator=(const MatFile&) = delete;

  // Creates the file's temporary and lays layout out in it. False when it
  // cannot be written (output() says why).
  bool open(const std::string& path, MatVersion version, const MatLayout& layout);
  bool isOpen() const { return writer_ != nullptr; }
  // The version of the file opened last.
  MatVersion version() const { return version_; }

  void writeColumn(int32_t node, int32_t column, int64_t firstRow, const double* values,
                   size_t count);
  void writeMaskRows(int32_t node, int64_t firstEntry, const uint32_t* rows, size_t count);

  // From now on the blocks of the file's buffers are written by worker, in
  // the order they are handed over, until stopWriteBehind(). Null: the file
  // writes them itself, as it does by default.
  void useWriteBehind(WriteBehind* worker) { worker_ = worker; }
  // Waits until the worker has written every block handed over; then the
  // file writes itself again. Before close(), and before anything else
  // touches the file (or, for MAT v7.3, the HDF5 library) on this thread.
  void stopWriteBehind();
  // A block for a buffer of this file: from the worker's pool, or null when
  // the file writes itself (the buffer then has its own).
  std::byte* bindBlock() { return worker_ ? worker_->bindBlock() : nullptr; }
  // writeColumn / writeMaskRows of the count values held in block, at once or
  // through the worker; returns the block to fill next (block itself when
  // written at once).
  std::byte* writeColumnBlock(int32_t node, int32_t column, int64_t firstRow, std::byte* block,
                              size_t count);
  std::byte* writeMaskBlock(int32_t node, int64_t firstEntry, std::byte* block, size_t count);

  // Writes the rest of the file from layout (the final rows and entries),
  // checks it, and syncs and closes it on disk. False when anything failed.
  bool close(const MatLayout& layout);
  // Moves the closed file to its path.
  bool commit() { return output_.commit(); }

  const OutputFile& output() const { return output_; }

 private:
  void wrote(size_t bytes);
  void verifyWhole();
  static bool runBlock(void* target, const WriteJob& job);

  OutputFile output_;
  std::unique_ptr<MatFormatWriter> writer_;  // null while closed
  MatVersion version_ = MatVersion::kMat5;
  size_t sinceWriteback_ = 0;  // bytes written since the disk was last asked to write
  WriteBehind* worker_ = nullptr;  // writes the blocks while set
};
