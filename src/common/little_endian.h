// Every integer of the PELG format is little-endian with no padding; all of
// them are read through readLittleEndian.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

template <typename T>
inline T readLittleEndian(const uint8_t* bytes) {
  static_assert(std::is_integral_v<T>);
  T value;
  std::memcpy(&value, bytes, sizeof value);
  if constexpr (std::endian::native == std::endian::big && sizeof(T) > 1) {
    using U = std::make_unsigned_t<T>;
    U u = static_cast<U>(value), swapped = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
      swapped = static_cast<U>((swapped << 8) | (u & 0xFF));
      u = static_cast<U>(u >> 8);
    }
    value = static_cast<T>(swapped);
  }
  return value;
}

template <typename T>
inline void writeLittleEndian(uint8_t* bytes, T value) {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  U u = static_cast<U>(value);
  for (size_t i = 0; i < sizeof(T); ++i) {
    bytes[i] = static_cast<uint8_t>(u & 0xFF);
    if constexpr (sizeof(T) > 1) u = static_cast<U>(u >> 8);
  }
}
