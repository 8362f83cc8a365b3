// A check that a version 5 MAT-file holds all that its elements announce.
//
// libmatio goes on writing after a write failed (a full disk, a file-size
// limit), and it fixes the size of each top-level variable from the position
// it reached, so a file cut short can still look whole from its first tag.
// The check walks the element tree instead, reading only the 8-byte tags:
// every element must lie within the one that holds it, the elements inside a
// matrix must fill it exactly, and a numeric or character matrix must carry
// as many bytes as its dimensions call for. Data bytes are not read.
#pragma once

#include <sys/types.h>

// True when the file on fd (size bytes, read with pread) is whole.
bool mat5FileIsWhole(int fd, off_t size);
