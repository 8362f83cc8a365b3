// The 128-byte header that opens every MAT-file, as MATLAB writes it: the
// text "MATLAB 5.0 MAT-file, Platform: GLNXA64, Created on: Wed Dec  9
// 13:31:45 2026" (7.3 and " HDF5 schema 1.00 ." for a v7.3 file) padded with
// spaces to 116 bytes, 8 bytes of subsystem data offset (none: zeros), the
// version (0x0100, or 0x0200 for v7.3) and the endian mark "IM". A v7.3 file
// carries it at the start of its 512-byte HDF5 user block.
#pragma once

#include <string>

#include "output/mat_file.h"

inline constexpr size_t kMatHeaderBytes = 128;

std::string matFileHeader(MatVersion version);
