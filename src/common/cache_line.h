// The cache line of the processors the converter runs on. Data that one
// thread writes often and another thread reads goes on lines of its own:
// on a shared line, every write takes the line away from the other core.
#pragma once

#include <cstddef>

inline constexpr size_t kCacheLine = 64;
