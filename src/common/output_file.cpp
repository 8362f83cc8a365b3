#include "common/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <utility>

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "common/interrupt_cleanup.h"

namespace {

constexpr const char* kCreateFailed = "# ERROR: Unable to create %s: %s\n";
constexpr const char* kWriteFailed = "# ERROR: Unable to write %s: %s\n";
constexpr const char* kRenameFailed = "# ERROR: Unable to rename %s to %s: %s\n";

constexpr const char* kTemporaryPrefix = ".";
constexpr const char* kTemporarySuffix = ".partial";

// An error number for a failure that came without one.
int reasonOf(int error) { return error != 0 ? error : EIO; }

}  // namespace

std::string temporaryPathFor(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
  std::string base = path.substr(baseStart);
  const size_t decoration = std::strlen(kTemporaryPrefix) + std::strlen(kTemporarySuffix);
  if (base.size() + decoration > NAME_MAX) base.resize(NAME_MAX - decoration);
  return path.substr(0, baseStart) + kTemporaryPrefix + base + kTemporarySuffix;
}

OutputFile::~OutputFile() { abandon(); }

OutputFile::OutputFile(OutputFile&& other) noexcept { *this = std::move(other); }

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this == &other) return *this;
  abandon();
  path_ = std::move(other.path_);
  temporaryPath_ = std::move(other.temporaryPath_);
  failedPath_ = std::move(other.failedPath_);
  fd_ = std::exchange(other.fd_, -1);
  stream_ = std::exchange(other.stream_, nullptr);
  slot_ = std::exchange(other.slot_, -1);
  exists_ = std::exchange(other.exists_, false);
  finished_ = std::exchange(other.finished_, false);
  failedStep_ = std::exchange(other.failedStep_, Step::kNone);
  error_ = std::exchange(other.error_, 0);
  return *this;
}

bool OutputFile::failAt(Step step, int error, const std::string& path) {
  if (failedStep_ == Step::kNone) {
    failedStep_ = step;
    error_ = reasonOf(error);
    failedPath_ = path;
  }
  return false;
}

bool OutputFile::create(const std::string& path) {
  abandon();
  path_ = path;
  temporaryPath_ = temporaryPathFor(path);
  failedPath_.clear();
  failedStep_ = Step::kNone;
  error_ = 0;
  finished_ = false;

  // A folder of that name would make the final rename fail after all the
  // writing; say so now.
  struct stat existing {};
  if (lstat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
    return failAt(Step::kCreate, EISDIR, path);
  }
  // Registered before it exists, so that no signal can leave it behind.
  slot_ = interrupt_cleanup::add(temporaryPath_.c_str());
  if (slot_ < 0) {
    return failAt(Step::kCreate, temporaryPath_.size() >= PATH_MAX ? ENAMETOOLONG : EMFILE,
                  temporaryPath_);
  }
  // A fresh file: never one that a link planted under the temporary name
  // leads to. A temporary left by a run that was killed is replaced.
  const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  fd_ = ::open(temporaryPath_.c_str(), flags, 0666);
  if (fd_ < 0 && errno == EEXIST) {
    if (::unlink(temporaryPath_.c_str()) != 0) {
      const int error = errno;
      abandon();
      return failAt(Step::kCreate, error, temporaryPath_);
    }
    fd_ = ::open(temporaryPath_.c_str(), flags, 0666);
  }
  if (fd_ < 0) {
    const int error = errno;
    abandon();
    return failAt(Step::kCreate, error, temporaryPath_);
  }
  exists_ = true;
  return true;
}

bool OutputFile::write(const void* data, size_t size) {
  if (failed() || !isOpen()) return false;
  if (!stream_) {
    stream_ = ::fdopen(fd_, "wb");
    if (!stream_) return failAt(Step::kWrite, errno, path_);
  }
  errno = 0;
  if (size > 0 && std::fwrite(data, 1, size, stream_) != size) {
    return failAt(Step::kWrite, errno, path_);
  }
  return true;
}

bool OutputFile::startWriteback() {
  if (failed() || !isOpen()) return false;
  if (::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE) == 0) return true;
  // Where the system cannot start it (some file systems), finish() does it all.
  if (errno == EINVAL || errno == ESPIPE || errno == ENOSYS || errno == EOPNOTSUPP) return true;
  return failAt(Step::kWrite, errno, path_);
}

bool OutputFile::print(const char* format, ...) {
  if (failed() || !isOpen()) return false;
  if (!stream_) {
    stream_ = ::fdopen(fd_, "wb");
    if (!stream_) return failAt(Step::kWrite, errno, path_);
  }
  va_list args;
  va_start(args, format);
  errno = 0;
  const int written = std::vfprintf(stream_, format, args);
  va_end(args);
  if (written < 0) return failAt(Step::kWrite, errno, path_);
  return true;
}

void OutputFile::fail(int error) { failAt(Step::kWrite, error, path_); }

bool OutputFile::finish() {
  if (!isOpen()) return finished_ && !failed();
  if (failed()) return false;
  int error = 0;
  if (stream_ && std::fflush(stream_) != 0) error = reasonOf(errno);
  // Written data can still be lost on its way to the disk (a full disk on a
  // network file system, a failing device); fsync reports it.
  if (error == 0 && ::fsync(fd_) != 0 && errno != EINVAL) error = reasonOf(errno);
  const int closed = stream_ ? std::fclose(stream_) : ::close(fd_);
  if (closed != 0 && error == 0) error = reasonOf(errno);
  stream_ = nullptr;
  fd_ = -1;
  if (error != 0) return failAt(Step::kFinish, error, path_);
  finished_ = true;
  return true;
}

bool OutputFile::commit() {
  if (!finished_ || failed() || !exists_) return false;
  if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
    return failAt(Step::kCommit, errno, temporaryPath_);
  }
  exists_ = false;
  finished_ = false;
  interrupt_cleanup::remove(slot_);
  slot_ = -1;
  return true;
}

void OutputFile::abandon() {
  if (stream_) {
    std::fclose(stream_);
  } else if (fd_ >= 0) {
    ::close(fd_);
  }
  stream_ = nullptr;
  fd_ = -1;
  if (exists_) ::unlink(temporaryPath_.c_str());
  exists_ = false;
  interrupt_cleanup::remove(slot_);
  slot_ = -1;
}

void reportOutputFailure(const OutputFile& file, Console& console) {
  const char* reason = std::strerror(file.error() != 0 ? file.error() : EIO);
  switch (file.failedStep()) {
    case OutputFile::Step::kCreate:
      console.out(kCreateFailed, file.failedPath().c_str(), reason);
      break;
    case OutputFile::Step::kCommit:
      console.out(kRenameFailed, file.temporaryPath().c_str(), file.path().c_str(), reason);
      break;
    case OutputFile::Step::kNone:
    case OutputFile::Step::kWrite:
    case OutputFile::Step::kFinish:
      console.out(kWriteFailed, file.path().c_str(), reason);
      break;
  }
}

void exitOnOutputFailure(const OutputFile& file, Console& console) {
  reportOutputFailure(file, console);
  exitRun(console, exit_status::kOutputFailed);
}
