// The run's two console streams. Every line the converter prints goes through
// a Console, so that a test can give the phases streams of its own and read
// back exactly what a user would see.
#pragma once

#include <cstdio>

#include "common/console_interruption.h"

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

 private:
  FILE* out_;
  FILE* err_;
  ConsoleInterruption* interruption_ = nullptr;
};
