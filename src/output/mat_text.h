// Text for MAT-file character arrays. MATLAB keeps a character as one UTF-16
// code unit, and a character array's dimension counts them; GNU Octave reads
// such arrays the same way. scipy.io.loadmat decodes the units and needs as
// many characters as the dimension says, so a surrogate pair (a character
// beyond the Basic Multilingual Plane: an emoji, a historic script) makes it
// refuse the whole file. Text is therefore stored as one UTF-16 unit per
// character, every character of the Basic Multilingual Plane exactly as
// written; a character beyond it, and a byte that is not valid UTF-8, becomes
// U+FFFD, the replacement character, so that every reader loads the file.
#pragma once

#include <string>

inline constexpr char16_t kReplacementCharacter = 0xFFFD;

struct MatText {
  std::u16string units;  // one per character
  int replaced = 0;      // characters stored as kReplacementCharacter
};

// Converts UTF-8 text (as file names arrive) to MAT-file text.
MatText matText(const std::string& utf8);
