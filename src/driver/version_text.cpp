#include "driver/version_text.h"

#include "output/library_versions.h"
#include "output/provenance.h"

#ifndef PELG_TO_MATLAB_VERSION
#define PELG_TO_MATLAB_VERSION "unknown"
#endif

namespace {

constexpr const char* kVersionLine = "pelgToMatlab %s\n";
constexpr const char* kHdf5Line = "libhdf5 %s\n";
constexpr const char* kSndfileLine = "libsndfile %s\n";

}  // namespace

const char* converterVersion() { return PELG_TO_MATLAB_VERSION; }

void printVersion(Console& console) {
  console.out(kVersionLine, converterVersion());
  // The same build line as the outputs' "createdBy".
  console.out("%s", createdByText().c_str());
  console.out(kHdf5Line, hdf5Version().c_str());
  console.out(kSndfileLine, sndfileVersion().c_str());
}
