#include "input/input_file.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "input/input_spool.h"

namespace {

constexpr char kCannotOpen[] = "ERROR: can't open file %s\n";
constexpr char kIsDirectory[] = "ERROR: %s is a directory\n";
constexpr char kCannotCreateCopy[] =
    "# ERROR: Unable to create a temporary copy of %s in the folder %s: %s\n";
constexpr char kCannotWriteCopy[] = "# ERROR: Unable to copy %s into the temporary folder %s: %s\n";
constexpr char kCannotRead[] = "# ERROR: Unable to read %s: %s\n";
constexpr char kStandardInputName[] = "stdin";

// Standard input when fstat cannot describe it: still one input, whatever its name.
constexpr FileIdentity kUndescribedStandardInput{~uint64_t{0}, ~uint64_t{0}};

bool namesStandardInput(const std::string& name) {
  for (const char* alias : {"-", "stdin", "/dev/stdin"}) {
    if (strcasecmp(name.c_str(), alias) == 0) return true;
  }
  return false;
}

// Inputs that cannot be read twice from their start: FIFOs, sockets and
// character devices (terminals and the like). Regular files, block devices
// and folders are opened directly.
bool readOnlyOnce(const std::string& path, struct stat& info) {
  if (::stat(path.c_str(), &info) != 0) return false;
  return S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISCHR(info.st_mode);
}

// A read-only stream on the copy, positioned at its first byte. Reopening
// through /proc gives the stream a file position of its own, so two readers
// never move each other; where that is unavailable the descriptor is
// duplicated instead (its position is then shared, and each open rewinds it).
FILE* readerOnCopy(FILE* copy) {
  const int copyFd = fileno(copy);
  const std::string procPath = "/proc/self/fd/" + std::to_string(copyFd);
  int fd = ::open(procPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fd = ::dup(copyFd);
  if (fd < 0) return nullptr;
  FILE* stream = ::fdopen(fd, "rb");
  if (stream == nullptr) {
    ::close(fd);
    return nullptr;
  }
  if (std::fseek(stream, 0, SEEK_SET) != 0) {
    std::fclose(stream);
    return nullptr;
  }
  return stream;
}

}  // namespace

InputOpener::InputOpener(Console& console, FILE* standardInput)
    : console_(&console), standardInput_(standardInput), temporaryFolder_(temporaryFolder()) {
  if (standardInput_ != nullptr) {
    standardInputIdentity_ = identityOfStream(standardInput_);
    if (!standardInputIdentity_) standardInputIdentity_ = kUndescribedStandardInput;
  }
}

InputOpener::~InputOpener() {
  if (standardInputCopy_ != nullptr) std::fclose(standardInputCopy_);
  for (auto& [identity, copy] : namedCopies_) {
    if (copy != nullptr) std::fclose(copy);
  }
}

std::optional<FileIdentity> InputOpener::identify(const std::string& name) const {
  if (namesStandardInput(name)) return standardInputIdentity_;
  return identityOfPath(name);
}

FILE* InputOpener::copyOf(FILE* source, const std::string& name) {
  const Spool spool = spoolStream(source, temporaryFolder_);
  switch (spool.result) {
    case SpoolResult::copied:
    case SpoolResult::notPelg:
      break;
    case SpoolResult::cannotCreate:
      console_->out(kCannotCreateCopy, name.c_str(), temporaryFolder_.c_str(), std::strerror(spool.error));
      break;
    case SpoolResult::cannotWrite:
      console_->out(kCannotWriteCopy, name.c_str(), temporaryFolder_.c_str(), std::strerror(spool.error));
      break;
    case SpoolResult::cannotRead:
      console_->out(kCannotRead, name.c_str(), std::strerror(spool.error));
      break;
  }
  return spool.copy;
}

bool InputOpener::open(InputFile& file, const std::string& name) {
  closeInput(file);
  struct stat info;
  if (namesStandardInput(name)) {
    file.name = kStandardInputName;
    if (!standardInputTaken_ && standardInput_ != nullptr) {
      standardInputCopy_ = copyOf(standardInput_, file.name);
      standardInputTaken_ = true;
    }
    if (standardInputCopy_ != nullptr) file.stream = readerOnCopy(standardInputCopy_);
  } else if (readOnlyOnce(name, info)) {
    file.name = name;
    const FileIdentity identity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    auto copy = namedCopies_.find(identity);
    if (copy == namedCopies_.end()) {
      if (FILE* source = std::fopen(name.c_str(), "rb")) {
        copy = namedCopies_.emplace(identity, copyOf(source, name)).first;
        std::fclose(source);
      }
    }
    if (copy != namedCopies_.end() && copy->second != nullptr) file.stream = readerOnCopy(copy->second);
  } else {
    file.name = name;
    file.stream = std::fopen(name.c_str(), "rb");
  }
  // A directory opens like a file, then fails every read.
  struct stat opened {};
  const bool directory =
      file.stream != nullptr && fstat(fileno(file.stream), &opened) == 0 && S_ISDIR(opened.st_mode);
  if (directory) closeInput(file);
  if (file.stream == nullptr) {
    console_->err(kCannotOpen, name.c_str());
    if (directory) console_->err(kIsDirectory, name.c_str());
    return false;
  }
  clearHeaderLists(file.header);
  return true;
}

void closeInput(InputFile& file) {
  if (file.stream != nullptr) {
    std::fclose(file.stream);
    file.stream = nullptr;
  }
}
