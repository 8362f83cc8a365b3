// The constants of the version 5 MAT-file format (uncompressed): the header,
// the element tags, the element types and the array classes, shared by the
// writer (mat5_writer) and the check of written files (mat5_layout).
#pragma once

#include <cstdint>

namespace mat5 {

inline constexpr int64_t kHeaderBytes = 128;  // text, subsystem offset, version, endian mark
inline constexpr int64_t kTagBytes = 8;       // type and byte count, each 32 bits
// A tag whose first word has a byte count in its upper half holds up to 4
// data bytes itself (the short form).
inline constexpr uint32_t kShortFormLimit = 4;

// Element types.
inline constexpr uint32_t kInt8 = 1;
inline constexpr uint32_t kUint8 = 2;
inline constexpr uint32_t kInt32 = 5;
inline constexpr uint32_t kUint32 = 6;
inline constexpr uint32_t kDouble = 9;
inline constexpr uint32_t kMatrix = 14;
inline constexpr uint32_t kUtf16 = 17;

// Array classes (the low byte of the array flags) and the logical flag (in
// the second byte).
inline constexpr uint32_t kStructClass = 2;
inline constexpr uint32_t kCharClass = 4;
inline constexpr uint32_t kSparseClass = 5;
inline constexpr uint32_t kDoubleClass = 6;
inline constexpr uint32_t kLogicalFlag = 0x02;

}  // namespace mat5
