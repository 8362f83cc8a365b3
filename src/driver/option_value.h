// Conversion of a command-line option value to a number.
#pragma once

#include <cstdint>
#include <string>

// Reads text the way atoi does (leading white space, an optional sign, the
// digits up to the first non-digit; no digits gives 0) but clamps a value
// beyond the 32-bit range to the nearest limit instead of wrapping.
int32_t parseOptionValue(const std::string& text);
