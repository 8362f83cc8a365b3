#include "pass/blacklist.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <string>

#include "common/exit_status.h"
#include "common/fatal_error.h"

namespace {

constexpr const char* kReading = "# INFO: Reading blacklist data from file: %s\n";
constexpr const char* kCannotOpen = "# ERROR: Unable to open blacklist file: %s\n";
constexpr const char* kNotAnInteger = "# ERROR: Blacklist file %s holds a token that is not an integer: %s\n";
constexpr const char* kExiting = "# ERROR: Exiting\n";
constexpr const char* kListed = "# INFO: Blacklisted pelg packets: [%3d]  %7d\n";
constexpr const char* kSkipping = "# INFO: Skipping blacklisted pelg packet %7d\n";


// Every line of the reader goes to the error stream, including its last one.
[[noreturn]] void failReading(Console& console) {
  console.err(kExiting);
  throw FatalError(exit_status::kBlacklistFailed);
}

// A whole decimal integer (optional sign, then digits only) within 32 bits.
bool parseInteger(const std::string& token, int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (token[i] == '+' || token[i] == '-') negative = token[i++] == '-';
  if (i == token.size()) return false;
  int64_t magnitude = 0;
  for (; i < token.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(token[i]))) return false;
    magnitude = magnitude * 10 + (token[i] - '0');
    if (magnitude > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  const int64_t signedValue = negative ? -magnitude : magnitude;
  if (signedValue > std::numeric_limits<int32_t>::max()) return false;
  value = static_cast<int32_t>(signedValue);
  return true;
}

// Reads the next white-space separated token; false at the end of the file.
bool nextToken(FILE* stream, std::string& token) {
  token.clear();
  int c;
  while ((c = std::fgetc(stream)) != EOF && std::isspace(c)) {
  }
  while (c != EOF && !std::isspace(c)) {
    token.push_back(static_cast<char>(c));
    c = std::fgetc(stream);
  }
  return !token.empty();
}

}  // namespace

void readBlacklist(RunOptions& options, Console& console) {
  const std::string& path = options.blacklistPath;
  FILE* stream = std::fopen(path.c_str(), "rb");
  console.err(kReading, path.c_str());
  if (stream == nullptr) {
    console.err(kCannotOpen, path.c_str());
    failReading(console);
  }

  std::vector<int32_t> read;
  std::string token;
  while (nextToken(stream, token)) {
    int32_t value = 0;
    if (!parseInteger(token, value)) {
      std::fclose(stream);
      console.err(kNotAnInteger, path.c_str(), token.c_str());
      failReading(console);
    }
    read.push_back(value);
  }
  std::fclose(stream);

  for (size_t i = 0; i < read.size(); ++i) console.err(kListed, static_cast<int>(i), read[i]);
  options.blacklist.insert(options.blacklist.end(), read.begin(), read.end());
  std::sort(options.blacklist.begin(), options.blacklist.end());
}

int isBlacklisted(const std::vector<int32_t>& blacklist, int32_t packetNumber, Console& console) {
  if (blacklist.empty()) return 1;
  if (packetNumber > blacklist.back() || packetNumber < blacklist.front()) return 1;
  for (int32_t entry : blacklist) {
    if (entry == packetNumber) {
      console.out(kSkipping, packetNumber);
      return -1;
    }
  }
  return 1;
}
