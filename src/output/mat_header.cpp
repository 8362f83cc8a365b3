#include "output/mat_header.h"

#include <sys/utsname.h>

#include <cstring>
#include <ctime>

namespace {

constexpr size_t kTextBytes = 116;
constexpr size_t kSubsystemBytes = 8;

// The platform as MATLAB names it (computer('arch')); other systems by the
// machine the kernel reports.
std::string platformName() {
#if defined(__linux__) && defined(__x86_64__)
  return "GLNXA64";
#else
  struct utsname name {};
  return uname(&name) == 0 ? std::string(name.sysname) + "-" + name.machine : "unknown";
#endif
}

}  // namespace

std::string matFileHeader(MatVersion version) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char created[64] = {};
  std::strftime(created, sizeof created, "%a %b %e %H:%M:%S %Y", &local);
  std::string text = (version == MatVersion::kMat73 ? "MATLAB 7.3 MAT-file, Platform: "
                                                    : "MATLAB 5.0 MAT-file, Platform: ") +
                     platformName() + ", Created on: " + created;
  if (version == MatVersion::kMat73) text += " HDF5 schema 1.00 .";
  text.resize(kTextBytes, ' ');
  text.append(kSubsystemBytes, '\0');
  text += version == MatVersion::kMat73 ? std::string("\0\2IM", 4) : std::string("\0\1IM", 4);
  return text;
}
