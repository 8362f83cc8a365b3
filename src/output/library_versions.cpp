#include "output/library_versions.h"

#include <hdf5.h>
#include <sndfile.h>

std::string hdf5Version() {
  unsigned major = 0, minor = 0, release = 0;
  H5get_libversion(&major, &minor, &release);
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(release);
}

std::string sndfileVersion() {
  const char* text = sf_version_string();
  return text != nullptr ? text : "unknown";
}
