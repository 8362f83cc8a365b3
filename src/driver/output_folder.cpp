#include "driver/output_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "common/output_file.h"

namespace {

constexpr const char* kCreated = "# INFO: Created output folder %s\n";
constexpr const char* kCannotCreate = "# ERROR: Unable to create output folder %s: %s\n";
constexpr const char* kCannotWrite = "# ERROR: Unable to write to output folder %s: %s\n";
constexpr const char* kCurrentFolder = "./";
constexpr mode_t kFolderMode = 0777;  // narrowed by the user's umask

// mkdir -p: every missing folder along path. 0, or the error that stopped it.
int createFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (mkdir(prefix.c_str(), kFolderMode) != 0 && errno != EEXIST) return errno;
  }
  if (mkdir(path.c_str(), kFolderMode) != 0 && errno != EEXIST) return errno;
  return 0;
}

[[noreturn]] void fail(const char* format, const std::string& folder, int error, Console& console) {
  console.out(format, folder.c_str(), std::strerror(error));
  exitRun(console, exit_status::kOutputFailed);
}

}  // namespace

std::string outputFolderOf(const std::string& outputDir) {
  const size_t slash = outputDir.rfind('/');
  if (slash == std::string::npos) return kCurrentFolder;
  return outputDir.substr(0, slash + 1);
}

void prepareOutputFolder(const std::string& outputDir, Console& console) {
  const std::string folder = outputFolderOf(outputDir);
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) {
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (errno == ENOTDIR) {
      // The name itself is a file (it cannot take the outputs), or a folder
      // above it is one (the folder cannot be created under it).
      struct stat named {};
      if (stat(path.c_str(), &named) == 0) fail(kCannotWrite, folder, ENOTDIR, console);
      fail(kCannotCreate, folder, ENOTDIR, console);
    }
    if (errno != ENOENT) fail(kCannotWrite, folder, errno, console);
    const int error = createFolders(path);
    if (error != 0) fail(kCannotCreate, folder, error, console);
    console.out(kCreated, folder.c_str());
    if (stat(folder.c_str(), &info) != 0) fail(kCannotWrite, folder, errno, console);
  }
  if (!S_ISDIR(info.st_mode)) fail(kCannotWrite, folder, ENOTDIR, console);
  // Creating a file needs write and search permission on the folder, and a
  // file system mounted for writing.
  if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    fail(kCannotWrite, folder, errno, console);
  }
}
