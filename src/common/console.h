// The run's two console streams. Every line the converter prints goes through
// a Console, so that a test can give the phases streams of its own and read
// back exactly what a user would see.
#pragma once

#include <cstdio>

#include "common/console_interruption.h"

// Told of every line the console prints, on either stream, with the format
// it was printed from (which names its kind) and the text as printed.
class ConsoleListener {
 public:
  virtual ~ConsoleListener() = default;
  virtual void consoleLine(const char* format, const char* text) = 0;
};

class Console {
 public:
  // out receives "# INFO"/"# WARNING"/"# ERROR" lines, err the few lines that
  // go to the error stream. Neither stream is owned.
  explicit Console(FILE* out = stdout, FILE* err = stderr) : out_(out), err_(err) {}

  void out(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void err(const char* format, ...) __attribute__((format(printf, 2, 3)));

  FILE* outStream() const { return out_; }
  FILE* errStream() const { return err_; }

  // While set (not owned), told before every line this console prints.
  void setInterruption(ConsoleInterruption* interruption) { interruption_ = interruption; }
  // While set (not owned), told of every line out() and err() print.
  void setListener(ConsoleListener* listener) { listener_ = listener; }

 private:
  FILE* out_;
  FILE* err_;
  ConsoleInterruption* interruption_ = nullptr;
  ConsoleListener* listener_ = nullptr;
};
