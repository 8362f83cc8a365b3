#include "input/input_file.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

constexpr char kCannotOpen[] = "ERROR: can't open file %s\n";
constexpr char kIsDirectory[] = "ERROR: %s is a directory\n";
constexpr char kStandardInputName[] = "stdin";

bool namesStandardInput(const std::string& name) {
  for (const char* alias : {"-", "stdin", "/dev/stdin"}) {
    if (strcasecmp(name.c_str(), alias) == 0) return true;
  }
  return false;
}

// Copies the whole of `from` into a fresh anonymous temporary file, which the
// system removes when it is closed or the process ends. Null on any failure.
FILE* spoolToTemporaryFile(FILE* from) {
  if (from == nullptr) return nullptr;
  FILE* spool = std::tmpfile();
  if (spool == nullptr) return nullptr;
  char chunk[65536];
  bool ok = true;
  for (;;) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, from);
    if (got > 0 && std::fwrite(chunk, 1, got, spool) != got) {
      ok = false;
      break;
    }
    if (got < sizeof chunk) {
      ok = !std::ferror(from);
      break;
    }
  }
  if (ok) ok = std::fflush(spool) == 0;
  if (!ok) {
    std::fclose(spool);
    return nullptr;
  }
  return spool;
}

// A read-only stream on the spool, positioned at its first byte. Reopening
// through /proc gives the stream a file position of its own, so two readers
// never move each other; where that is unavailable the descriptor is
// duplicated instead (its position is then shared, and each open rewinds it).
FILE* readerOnSpool(FILE* spool) {
  const int spoolFd = fileno(spool);
  const std::string procPath = "/proc/self/fd/" + std::to_string(spoolFd);
  int fd = ::open(procPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fd = ::dup(spoolFd);
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
    : console_(console), standardInput_(standardInput) {}

InputOpener::~InputOpener() {
  if (spool_ != nullptr) std::fclose(spool_);
}

bool InputOpener::open(InputFile& file, const std::string& name) {
  closeInput(file);
  if (namesStandardInput(name)) {
    file.name = kStandardInputName;
    if (spool_ == nullptr && standardInput_ != nullptr) {
      spool_ = spoolToTemporaryFile(standardInput_);
      // Standard input has been read to its end (or to an error): a failed
      // copy cannot be retried, so every later open of it fails too.
      standardInput_ = nullptr;
    }
    if (spool_ != nullptr) file.stream = readerOnSpool(spool_);
  } else {
    file.name = name;
    file.stream = std::fopen(name.c_str(), "rb");
  }
  // A directory opens like a file, then fails every read.
  struct stat info {};
  const bool directory = file.stream != nullptr && fstat(fileno(file.stream), &info) == 0 && S_ISDIR(info.st_mode);
  if (directory) closeInput(file);
  if (file.stream == nullptr) {
    console_.err(kCannotOpen, name.c_str());
    if (directory) console_.err(kIsDirectory, name.c_str());
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
