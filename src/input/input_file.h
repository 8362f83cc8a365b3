// Opening PELG input files. An InputFile is one open file with its parsed
// header; one record is reused for each file in turn.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "common/console.h"
#include "input/file_header.h"

struct InputFile {
  std::string name;      // the name given to open; "stdin" for standard input
  FILE* stream = nullptr;
  FileHeader header;     // filled by readHeader and the two extractors
};

// Opens input files by name. The names "-", "stdin" and "/dev/stdin" (any case)
// stand for standard input. A run opens every input several times, and a pipe
// can be read only once, so the first such open copies standard input to a
// temporary file (removed when the process ends) and every open reads that copy
// from its start, through a stream of its own.
class InputOpener {
 public:
  explicit InputOpener(Console& console, FILE* standardInput = stdin);
  ~InputOpener();
  InputOpener(const InputOpener&) = delete;
  InputOpener& operator=(const InputOpener&) = delete;

  // Closes any stream the record holds, then opens `name` in binary mode and
  // clears the header lists (not the information blocks). On failure prints
  // "ERROR: can't open file %s\n" on the error stream and returns false.
  bool open(InputFile& file, const std::string& name);

 private:
  Console& console_;
  FILE* standardInput_;
  FILE* spool_ = nullptr;  // copy of standard input, made on first use
};

// Closes the record's stream, if any.
void closeInput(InputFile& file);
