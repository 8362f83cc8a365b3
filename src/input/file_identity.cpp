#include "input/file_identity.h"

#include <sys/stat.h>

namespace {

FileIdentity identityOf(const struct stat& info) {
  return {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

}  // namespace

std::optional<FileIdentity> identityOfPath(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return identityOf(info);
}

std::optional<FileIdentity> identityOfStream(FILE* stream) {
  if (stream == nullptr) return std::nullopt;
  const int fd = ::fileno(stream);
  struct stat info;
  if (fd < 0 || ::fstat(fd, &info) != 0) return std::nullopt;
  return identityOf(info);
}
