#include "driver/option_value.h"

#include <cctype>
#include <limits>

int32_t parseOptionValue(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // Accumulate the magnitude, stopping once it is past every 32-bit value.
  constexpr int64_t kPastLimit = int64_t{std::numeric_limits<int32_t>::max()} + 2;
  int64_t magnitude = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    if (magnitude < kPastLimit) magnitude = magnitude * 10 + (text[i] - '0');
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}
