#include "output/library_versions.h"

#include <matio.h>
#include <sndfile.h>

std::string matioVersion() {
  int major = 0, minor = 0, release = 0;
  Mat_GetLibraryVersion(&major, &minor, &release);
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(release);
}

std::string sndfileVersion() {
  const char* text = sf_version_string();
  return text != nullptr ? text : "unknown";
}
