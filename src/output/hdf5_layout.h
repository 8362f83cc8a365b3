// A check that a MAT v7.3 file (an HDF5 file behind a 512-byte user block)
// reaches the end that its HDF5 superblock records.
//
// libmatio goes on after a write that failed (a full disk, a file-size
// limit). HDF5 keeps in its superblock the end-of-file address, the first
// byte past all of its data, and refuses to open a file shorter than that
// (it reads as truncated); the check reads the superblock alone, as HDF5
// does: the signature at offset 0, 512, 1024, 2048, ..., then the address
// for the superblock's version (0 to 3). Data bytes are not read.
#pragma once

#include <sys/types.h>

// True when the file on fd (size bytes, read with pread) holds a superblock
// whose end-of-file address lies within size.
bool hdf5FileIsWhole(int fd, off_t size);
