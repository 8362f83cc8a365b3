#include "output/mat_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "output/hdf5_layout.h"
#include "output/mat5_layout.h"
#include "output/mat5_writer.h"
#include "output/mat73_writer.h"

namespace {

// Room asked for, beyond the end of a file cut short, to learn why it was cut.
constexpr off_t kProbeBytes = 65536;
// The disk is asked to start writing a file every this many bytes written,
// so that it writes during the pass instead of all at the end.
constexpr size_t kWritebackBytes = size_t{8} << 20;

}  // namespace

MatFile::MatFile() = default;
MatFile::~MatFile() = default;
MatFile::MatFile(MatFile&& other) noexcept = default;
MatFile& MatFile::operator=(MatFile&& other) noexcept = default;

bool MatFile::open(const std::string& path, MatVersion version, const MatLayout& layout) {
  writer_.reset();
  version_ = version;
  sinceWriteback_ = 0;
  if (!output_.create(path)) return false;
  std::unique_ptr<MatFormatWriter> writer;
  if (version == MatVersion::kMat73) {
    writer = std::make_unique<Mat73Writer>();
  } else {
    writer = std::make_unique<Mat5Writer>();
  }
  if (!writer->begin(output_, layout)) return false;
  writer_ = std::move(writer);
  return true;
}

void MatFile::wrote(size_t bytes) {
  sinceWriteback_ += bytes;
  if (sinceWriteback_ < kWritebackBytes) return;
  sinceWriteback_ = 0;
  output_.startWriteback();
}

void MatFile::writeColumn(int32_t node, int32_t column, int64_t firstRow, const double* values,
                          size_t count) {
  if (!writer_ || count == 0 || output_.failed()) return;
  writer_->writeColumn(output_, node, column, firstRow, values, count);
  wrote(count * sizeof(double));
}

void MatFile::writeMaskRows(int32_t node, int64_t firstEntry, const uint32_t* rows,
                            size_t count) {
  if (!writer_ || count == 0 || output_.failed()) return;
  writer_->writeMaskRows(output_, node, firstEntry, rows, count);
  wrote(count * sizeof(uint32_t));
}

bool MatFile::runBlock(void* target, const WriteJob& job) {
  auto& file = *static_cast<MatFile*>(target);
  if (job.column < 0) {
    file.writeMaskRows(job.node, job.first, reinterpret_cast<const uint32_t*>(job.block), job.count);
  } else {
    file.writeColumn(job.node, job.column, job.first, reinterpret_cast<const double*>(job.block), job.count);
  }
  // A failed write is kept in the file's output and reported when it closes,
  // as when the file writes itself.
  return true;
}

std::byte* MatFile::writeColumnBlock(int32_t node, int32_t column, int64_t firstRow, std::byte* block,
                                     size_t count) {
  if (!worker_) {
    writeColumn(node, column, firstRow, reinterpret_cast<const double*>(block), count);
    return block;
  }
  return worker_->hand(WriteJob{&MatFile::runBlock, this, block, count, firstRow, node, column});
}

std::byte* MatFile::writeMaskBlock(int32_t node, int64_t firstEntry, std::byte* block, size_t count) {
  if (!worker_) {
    writeMaskRows(node, firstEntry, reinterpret_cast<const uint32_t*>(block), count);
    return block;
  }
  return worker_->hand(WriteJob{&MatFile::runBlock, this, block, count, firstEntry, node, -1});
}

void MatFile::stopWriteBehind() {
  if (!worker_) return;
  worker_->drain();
  worker_ = nullptr;
}

// A write that the system cut short (a full disk, a file-size limit) is
// caught where it happens; the whole file is checked as well, as a reader
// would take it, and the system's reason is then found by asking for more room.
void MatFile::verifyWhole() {
  if (output_.failed()) return;
  const int fd = output_.descriptor();
  struct stat written {};
  if (fstat(fd, &written) != 0) {
    output_.fail(errno);
    return;
  }
  const bool whole = version_ == MatVersion::kMat73 ? hdf5FileIsWhole(fd, written.st_size)
                                                   : mat5FileIsWhole(fd, written.st_size);
  if (whole) return;
  const int refused = posix_fallocate(fd, written.st_size, kProbeBytes);
  output_.fail(refused != 0 ? refused : EIO);
}

bool MatFile::close(const MatLayout& layout) {
  stopWriteBehind();
  if (!writer_) return output_.finish();
  if (!output_.failed()) writer_->end(output_, layout);
  writer_.reset();
  verifyWhole();
  return output_.finish();
}
