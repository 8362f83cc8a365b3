#include "output/mat_file.h"

#include <fcntl.h>
#include <matio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>


namespace {

// A version 5 MAT-file: a 128-byte header, then each variable as one tagged
// element: type (miMATRIX) and byte count, 4 bytes each, then its bytes.
constexpr off_t kHeaderBytes = 128;
constexpr off_t kTagBytes = 8;
constexpr uint32_t kMatrixType = 14;

}  // namespace

MatFile::~MatFile() {
  if (mat_) Mat_Close(std::exchange(mat_, nullptr));
}

MatFile::MatFile(MatFile&& other) noexcept
    : output_(std::move(other.output_)),
      mat_(std::exchange(other.mat_, nullptr)),
      wroteVariable_(std::exchange(other.wroteVariable_, false)) {}

MatFile& MatFile::operator=(MatFile&& other) noexcept {
  if (this != &other) {
    if (mat_) Mat_Close(std::exchange(mat_, nullptr));
    output_ = std::move(other.output_);
    mat_ = std::exchange(other.mat_, nullptr);
    wroteVariable_ = std::exchange(other.wroteVariable_, false);
  }
  return *this;
}

bool MatFile::open(const std::string& path) {
  if (mat_) Mat_Close(std::exchange(mat_, nullptr));
  wroteVariable_ = false;
  if (!output_.create(path)) return false;
  errno = 0;
  mat_ = Mat_CreateVer(output_.temporaryPath().c_str(), nullptr, MAT_FT_MAT5);
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
  } else {
    wroteVariable_ = true;
  }
}

// libmatio goes on after a write that failed (a full disk, a file-size limit)
// and still reports success, leaving a file shorter than its contents say.
// The system's reason is then found by asking for the missing room.
void MatFile::verifyLength() {
  if (output_.failed()) return;
  const int fd = output_.descriptor();
  struct stat written {};
  if (fstat(fd, &written) != 0) {
    output_.fail(errno);
    return;
  }
  off_t expected = kHeaderBytes;
  if (wroteVariable_) {
    // libmatio writes in the machine's byte order (the header says which).
    uint8_t tag[kTagBytes] = {};
    uint32_t type = 0, bytes = 0;
    const bool tagRead = pread(fd, tag, sizeof tag, kHeaderBytes) == static_cast<ssize_t>(sizeof tag);
    std::memcpy(&type, tag, sizeof type);
    std::memcpy(&bytes, tag + sizeof type, sizeof bytes);
    if (tagRead && type == kMatrixType) {
      expected = kHeaderBytes + kTagBytes + bytes;
    } else {
      // The variable's own tag is missing: something more was to come.
      expected = std::max<off_t>(written.st_size + 1, kHeaderBytes + kTagBytes);
    }
  }
  if (written.st_size == expected) return;
  if (written.st_size > expected) {
    // Longer than its byte count can say: a variable beyond 4 GiB.
    output_.fail(EFBIG);
    return;
  }
  const int refused = posix_fallocate(fd, written.st_size, expected - written.st_size);
  output_.fail(refused != 0 ? refused : EIO);
}

bool MatFile::close() {
  if (!mat_) return output_.finish();
  errno = 0;
  if (Mat_Close(std::exchange(mat_, nullptr)) != 0) output_.fail(errno);
  verifyLength();
  return output_.finish();
}
