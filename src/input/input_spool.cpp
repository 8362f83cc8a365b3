#include "input/input_spool.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/little_endian.h"
#include "input/pelg_format.h"

namespace {

constexpr char kDefaultTemporaryFolder[] = "/tmp";
constexpr char kNamedSpoolPattern[] = "/.pelgToMatlab-input-XXXXXX";
constexpr size_t kLeadSize = sizeof pelg::kMagic + sizeof(uint32_t);  // magic and version
constexpr size_t kChunkSize = 65536;

bool isPelgLead(const uint8_t* lead) {
  return std::memcmp(lead, pelg::kMagic, sizeof pelg::kMagic) == 0 &&
         readLittleEndian<uint32_t>(lead + sizeof pelg::kMagic) == pelg::kVersion;
}

// A descriptor of a new file in `folder` that has no name: unnamed from the
// start where the file system allows it, otherwise created under a unique
// name and unlinked at once. -1 with errno set on failure.
int anonymousFile(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  const int tmpfileError = errno;
  std::string path = folder + kNamedSpoolPattern;
  std::vector<char> name(path.begin(), path.end());
  name.push_back('\0');
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    // A folder that does not exist or cannot be written to fails both ways;
    // report the first reason, which names the folder's own problem.
    if (tmpfileError != EOPNOTSUPP && tmpfileError != EISDIR) errno = tmpfileError;
    return -1;
  }
  ::unlink(name.data());
  return fd;
}

}  // namespace

std::string temporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  if (folder != nullptr && folder[0] != '\0') return folder;
  return kDefaultTemporaryFolder;
}

SpoolResult copyStream(FILE* from, FILE* to, int& error) {
  error = 0;
  uint8_t chunk[kChunkSize];
  bool lead = true;
  for (;;) {
    // The header's first bytes are read on their own, so that a stream
    // which is no recording is recognised before more of it is taken.
    const size_t want = lead ? kLeadSize : sizeof chunk;
    errno = 0;
    const size_t got = std::fread(chunk, 1, want, from);
    if (got < want && std::ferror(from)) {
      error = errno != 0 ? errno : EIO;
      return SpoolResult::cannotRead;
    }
    errno = 0;
    if (got > 0 && std::fwrite(chunk, 1, got, to) != got) {
      error = errno != 0 ? errno : EIO;
      return SpoolResult::cannotWrite;
    }
    const bool notPelg = lead && (got < kLeadSize || !isPelgLead(chunk));
    lead = false;
    if (notPelg || got < want) {
      errno = 0;
      if (std::fflush(to) != 0) {
        error = errno != 0 ? errno : EIO;
        return SpoolResult::cannotWrite;
      }
      return notPelg ? SpoolResult::notPelg : SpoolResult::copied;
    }
  }
}

Spool spoolStream(FILE* from, const std::string& folder) {
  Spool spool;
  const int fd = anonymousFile(folder);
  FILE* copy = fd >= 0 ? ::fdopen(fd, "w+b") : nullptr;
  if (copy == nullptr) {
    spool.error = errno;
    if (fd >= 0) ::close(fd);
    spool.result = SpoolResult::cannotCreate;
    return spool;
  }
  spool.result = copyStream(from, copy, spool.error);
  if (spool.result == SpoolResult::copied || spool.result == SpoolResult::notPelg) {
    spool.copy = copy;
  } else {
    std::fclose(copy);
  }
  return spool;
}
