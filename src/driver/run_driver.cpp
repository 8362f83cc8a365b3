#include "driver/run_driver.h"

#include <cstdint>
#include <string>
#include <vector>

#include "common/fatal_error.h"
#include "driver/command_line.h"
#include "driver/run_options.h"

int runPelgToMatlab(int argc, char** argv, Console& console) {
  RunOptions options;
  std::vector<std::string> args(argv, argv + argc);
  std::vector<int32_t> inputArgIndex;
  try {
    parseCommandLine(args, options, inputArgIndex, console);
    return 0;
  } catch (const FatalError& e) {
    return e.status();
  }
}
