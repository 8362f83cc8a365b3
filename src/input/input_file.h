// Opening PELG input files. An InputFile is one open file with its parsed
// header; one record is reused for each file in turn.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "common/console.h"
#include "input/file_header.h"
#include "input/file_identity.h"

struct InputFile {
  std::string name;      // the name given to open; "stdin" for standard input
  FILE* stream = nullptr;
  FileHeader header;     // filled by readHeader and the two extractors
};

// Opens input files by name. The names "-", "stdin" and "/dev/stdin" (any case)
// stand for standard input. A run opens every input several times, and a pipe
// can be read only once, so the first open of standard input, or of any named
// input that cannot be read twice (a FIFO, a terminal or another character
// device), copies it to an anonymous temporary file (see Spool), and every
// open reads that copy from its start, through a stream of its own.
class InputOpener {
 public:
  explicit InputOpener(Console& console, FILE* standardInput = stdin);
  ~InputOpener();
  InputOpener(const InputOpener&) = delete;
  InputOpener& operator=(const InputOpener&) = delete;

  // Closes any stream the record holds, then opens `name` in binary mode and
  // clears the header lists (not the information blocks). On failure prints
  // "ERROR: can't open file %s\n" on the error stream and returns false; a
  // copy that cannot be made is also reported, with the temporary folder and
  // the system's reason, on the output stream.
  bool open(InputFile& file, const std::string& name);

  // The file that `name` stands for, without opening it (opening a FIFO would
  // wait for a writer). Every standard-input name gives the one identity of
  // standard input. None when the name cannot be looked up.
  std::optional<FileIdentity> identify(const std::string& name) const;

  // The console the opener prints on from now on (a pass's own, while it
  // forwards its lines to another thread); returns the one before.
  Console& printOn(Console& console) {
    Console& before = *console_;
    console_ = &console;
    return before;
  }

 private:
  // The copy of an input read only once, made on the first open.
  FILE* copyOf(FILE* source, const std::string& name);

  Console* console_;
  FILE* standardInput_;
  std::optional<FileIdentity> standardInputIdentity_;
  std::string temporaryFolder_;
  FILE* standardInputCopy_ = nullptr;
  bool standardInputTaken_ = false;  // read once; a failed copy is not retried
  // Copies of named inputs read only once, by the file they stand for; null
  // where the copy failed (the input has been drained and cannot be reread).
  std::map<FileIdentity, FILE*> namedCopies_;
};

// Closes the record's stream, if any.
void closeInput(InputFile& file);
