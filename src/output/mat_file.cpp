#include "output/mat_file.h"

#include <fcntl.h>
#include <matio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "output/hdf5_layout.h"
#include "output/mat5_layout.h"

namespace {

// Room asked for, beyond the end of a file cut short, to learn why it was cut.
constexpr off_t kProbeBytes = 65536;

}  // namespace

MatFile::~MatFile() {
  if (mat_) Mat_Close(std::exchange(mat_, nullptr));
}

MatFile::MatFile(MatFile&& other) noexcept
    : output_(std::move(other.output_)),
      mat_(std::exchange(other.mat_, nullptr)),
      version_(other.version_) {}

MatFile& MatFile::operator=(MatFile&& other) noexcept {
  if (this != &other) {
    if (mat_) Mat_Close(std::exchange(mat_, nullptr));
    output_ = std::move(other.output_);
    mat_ = std::exchange(other.mat_, nullptr);
    version_ = other.version_;
  }
  return *this;
}

bool MatFile::open(const std::string& path, MatVersion version) {
  if (mat_) Mat_Close(std::exchange(mat_, nullptr));
  version_ = version;
  if (!output_.create(path)) return false;
  errno = 0;
  mat_ = Mat_CreateVer(output_.temporaryPath().c_str(), nullptr,
                       version == MatVersion::kMat73 ? MAT_FT_MAT73 : MAT_FT_MAT5);
  if (!mat_) {
    output_.fail(errno);
    return false;
  }
  return true;
}

void MatFile::putVariable(const char* name, MatArray value) {
  matvar_t* var = value.get();
  if (!mat_ || !var) {
    output_.fail(EINVAL);
    return;
  }
  std::free(var->name);
  var->name = strdup(name);
  errno = 0;
  if (!var->name) {
    output_.fail(ENOMEM);
  } else if (Mat_VarWrite(mat_, var, MAT_COMPRESSION_NONE) != 0) {
    output_.fail(errno);
  }
}

// libmatio goes on after a write that failed (a full disk, a file-size limit)
// and still reports success, leaving a file shorter than its contents say.
// The system's reason is then found by asking for more room.
void MatFile::verifyWhole() {
  // HDF5 reports the failed writes of a v7.3 file itself; its superblock's
  // end-of-file address is checked as well, as HDF5 checks it on opening.
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

bool MatFile::close() {
  if (!mat_) return output_.finish();
  errno = 0;
  if (Mat_Close(std::exchange(mat_, nullptr)) != 0) output_.fail(errno);
  verifyWhole();
  return output_.finish();
}
