// The run's two console streams. Every line the converter prints goes through
// a Console, so that a test can give the phases streams of its own and read
// back exactly what a user would see.
#pragma once

#include <cstddef>
#include <cstdio>

#include "common/console_interruption.h"

// Told of every line the console prints, on either stream, with the format
// it was printed from (which names its kind) and the text as printed.
class ConsoleListener {
 public:
  virtual ~ConsoleListener() = default;
  virtual void consoleLine(const char* format, const char* text) = 0;
};

// Takes the lines of a console that forwards them (Console::forwardTo),
// formatted, with the format they were printed from; another console prints
// them with Console::print.
class ConsoleForward {
 public:
  virtual ~ConsoleForward() = default;
  virtual void forwardLine(bool toErr, const char* format, const char* text, size_t length) = 0;
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
  // While set (not owned), every line goes to forward, formatted, instead of
  // to the streams, the interruption and the listener.
  void forwardTo(ConsoleForward* forward) { forward_ = forward; }
  // Prints a line that a forwarding console formatted, as out() (or err())
  // would have printed it.
  void print(bool toErr, const char* format, const char* text, size_t length);

 private:
  FILE* out_;
  FILE* err_;
  ConsoleInterruption* interruption_ = nullptr;
  ConsoleListener* listener_ = nullptr;
  ConsoleForward* forward_ = nullptr;
};
