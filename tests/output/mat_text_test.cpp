// MAT-file text: one UTF-16 unit per character, the Basic Multilingual Plane
// as written, anything else as U+FFFD.
#include "output/mat_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MatText, OneUnitPerCharacter) {
  const char16_t r = kReplacementCharacter;
  const struct {
    const char* name;
    std::string utf8;
    std::u16string units;
    int replaced;
  } cases[] = {
      {"ascii", "Source [ 0] a.pelg\n", u"Source [ 0] a.pelg\n", 0},
      {"empty", "", u"", 0},
      {"latin", "donn\xC3\xA9" "es_\xC3\xA9 Z\xC3\xBCrich", u"donn\u00E9es_\u00E9 Z\u00FCrich", 0},
      {"cyrillic and greek", "\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0 \xCE\xB1", u"\u041C\u043E\u0441\u043A\u0432\u0430 \u03B1", 0},
      {"cjk", "\xE6\x9D\xB1\xE4\xBA\xAC/\xED\x95\x9C", u"\u6771\u4EAC/\uD55C", 0},
      {"last of the plane", "\xEF\xBF\xBD\xEF\xBF\xBF", u"\uFFFD\uFFFF", 0},
      // Beyond the plane: an emoji, a musical symbol, the last code point.
      {"emoji", "a\xF0\x9F\x98\x80z", std::u16string{u'a', r, u'z'}, 1},
      {"g clef", "\xF0\x9D\x84\x9E", std::u16string{r}, 1},
      {"last code point", "\xF4\x8F\xBF\xBF", std::u16string{r}, 1},
      // Not UTF-8: one replacement per byte that cannot be decoded.
      {"latin-1 byte", "donn\xE9" "es", std::u16string{u'd', u'o', u'n', u'n', r, u'e', u's'}, 1},
      {"lone continuation", "\x80" "a", std::u16string{r, u'a'}, 1},
      {"cut sequence", "a\xE6\x9D", std::u16string{u'a', r, r}, 2},
      {"overlong slash", "\xC0\xAF", std::u16string{r, r}, 2},
      {"overlong three bytes", "\xE0\x80\xAF", std::u16string{r, r, r}, 3},
      {"encoded surrogate", "\xED\xA0\x80", std::u16string{r, r, r}, 3},
      {"beyond the last code point", "\xF4\x90\x80\x80", std::u16string{r, r, r, r}, 4},
  };
  for (const auto& c : cases) {
    const MatText text = matText(c.utf8);
    EXPECT_EQ(text.units, c.units) << c.name;
    EXPECT_EQ(text.replaced, c.replaced) << c.name;
  }
}

}  // namespace
