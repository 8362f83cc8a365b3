#include "output/provenance.h"

#include <cstdio>

namespace {

#if defined(_WIN32)
constexpr const char* kPlatform = "Win32";
#elif defined(__linux__)
constexpr const char* kPlatform = "Linux";
#else
constexpr const char* kPlatform = "Unix";
#endif

constexpr const char* kCreatedBy = "Created by pelgToMatlab (%s), compiled on %s at %s\n";
constexpr const char* kSourceLine = "Source [%2d] %s\n";

// printf into a string of exactly the length the text needs.
template <typename... Args>
void appendFormatted(std::string& text, const char* format, Args... args) {
  const int length = std::snprintf(nullptr, 0, format, args...);
  if (length <= 0) return;
  const size_t start = text.size();
  text.resize(start + static_cast<size_t>(length) + 1);
  std::snprintf(text.data() + start, static_cast<size_t>(length) + 1, format, args...);
  text.resize(start + static_cast<size_t>(length));
}

}  // namespace

std::string createdByText() {
  std::string text;
  appendFormatted(text, kCreatedBy, kPlatform, __DATE__, __TIME__);
  return text;
}

std::string sourceFilesText(const InputFileInfo* files, int fileCount,
                            const std::vector<std::string>& args) {
  std::string text;
  for (int i = 0; i < fileCount; ++i) {
    const int32_t argument = files[i].fileNumber;
    const bool named = argument >= 0 && static_cast<size_t>(argument) < args.size();
    appendFormatted(text, kSourceLine, i, named ? args[argument].c_str() : "");
  }
  return text;
}
