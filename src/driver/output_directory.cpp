#include "driver/output_directory.h"

namespace {

constexpr const char* kCurrentDirectory = "./";

}  // namespace

std::string inferredOutputDirectory(const std::string& fileName) {
  const size_t separator = fileName.find_last_of("/\\");
  if (separator == std::string::npos) return kCurrentDirectory;
  return fileName.substr(0, separator + 1);
}

std::string baseName(const std::string& fileName) {
  const size_t separator = fileName.find_last_of("/\\");
  if (separator == std::string::npos) return fileName;
  return fileName.substr(separator + 1);
}
