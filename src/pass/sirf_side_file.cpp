#include "pass/sirf_side_file.h"

#include <cstdio>

namespace {

constexpr const char* kFileName = "sirfGPSOutput.bin";
constexpr const char* kUnableToOpen = "# ERROR: Unable to open SIRF GPS output file: %s\n";

}  // namespace

std::string sirfSideFilePath(const std::string& outputDir) { return outputDir + "/" + kFileName; }

void truncateSirfSideFile(const std::string& path, Console& console) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    console.out(kUnableToOpen, path.c_str());
    return;
  }
  std::fclose(file);
}
