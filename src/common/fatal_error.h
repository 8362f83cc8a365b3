// A condition that ends the run. The code that meets it prints its lines first
// and then throws; main catches the exception and returns its exit status, so
// every phase can also be run and checked inside a test.
#pragma once

#include <exception>

#include "common/console.h"

class FatalError : public std::exception {
 public:
  explicit FatalError(int status) : status_(status) {}
  int status() const { return status_; }
  const char* what() const noexcept override { return "pelgToMatlab run ended"; }

 private:
  int status_;
};

// Prints the closing line that nearly every fatal condition shares and ends the run.
[[noreturn]] inline void exitRun(Console& console, int status) {
  console.out("# ERROR: Exiting\n");
  throw FatalError(status);
}
