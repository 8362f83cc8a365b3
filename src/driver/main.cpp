#include <cstdio>

#include "driver/run_driver.h"

int main(int argc, char** argv) {
  // Whole lines reach the output as they are printed, also through a pipe: a
  // run stopped by a signal has shown everything up to its last line.
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  Console console;
  return runPelgToMatlab(argc, argv, console);
}
