#include "output/mat_text.h"

#include <cstdint>

namespace {

// The length of the UTF-8 sequence that lead starts, 0 for a byte that
// cannot start one.
int sequenceLength(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The smallest code point each length may carry (shorter forms are invalid).
constexpr uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};

}  // namespace

MatText matText(const std::string& utf8) {
  MatText text;
  text.units.reserve(utf8.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
  const size_t size = utf8.size();
  size_t i = 0;
  while (i < size) {
    const int length = sequenceLength(bytes[i]);
    uint32_t code = length == 1 ? bytes[i] : bytes[i] & (0x7F >> length);
    bool valid = length > 0 && i + static_cast<size_t>(length) <= size;
    for (int k = 1; valid && k < length; ++k) {
      const uint8_t next = bytes[i + static_cast<size_t>(k)];
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    valid = valid && code >= kSmallest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    if (!valid) {
      // One replacement for the offending byte; decoding resumes after it.
      text.units.push_back(kReplacementCharacter);
      ++text.replaced;
      ++i;
      continue;
    }
    if (code > 0xFFFF) {
      text.units.push_back(kReplacementCharacter);
      ++text.replaced;
    } else {
      text.units.push_back(static_cast<char16_t>(code));
    }
    i += static_cast<size_t>(length);
  }
  return text;
}
