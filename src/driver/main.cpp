#include "driver/run_driver.h"

int main(int argc, char** argv) {
  Console console;
  return runPelgToMatlab(argc, argv, console);
}
