// A copy of an input that can be read only once (standard input, a FIFO, a
// terminal), kept in an anonymous temporary file that the system removes when
// it is closed or the process ends, so that the run can read the input as
// often as it needs. The copy checks the PELG header as the first bytes
// arrive: when the first 8 bytes are not the magic and version 2, copying
// stops there, so a stream that is no recording (/dev/zero, a wrong pipe)
// costs those bytes only, and reading the copy's header then fails like that
// of any other file without one.
#pragma once

#include <cstdio>
#include <string>

enum class SpoolResult {
  copied,        // the whole stream is in the copy
  notPelg,       // the copy holds the first bytes only: they are no PELG v2 header
  cannotCreate,  // no temporary file could be made in the folder
  cannotRead,    // reading the stream failed
  cannotWrite,   // writing the copy failed (typically a full disk)
};

struct Spool {
  SpoolResult result = SpoolResult::copied;
  FILE* copy = nullptr;  // the copy, for reading and writing; owned by the caller;
                         // null unless result is copied or notPelg
  int error = 0;         // the system's error number of a failure
};

// The folder for temporary files: TMPDIR when it is set and not empty, else /tmp.
std::string temporaryFolder();

// Copies `from` from its current position into a new anonymous file in `folder`.
Spool spoolStream(FILE* from, const std::string& folder);

// The copying step of spoolStream, into an open stream `to`, which is flushed
// at the end. `error` receives the system's error number of a failure.
SpoolResult copyStream(FILE* from, FILE* to, int& error);
