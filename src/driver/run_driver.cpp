#include "driver/run_driver.h"

#include "common/fatal_error.h"

int runPelgToMatlab(int /*argc*/, char** /*argv*/, Console& /*console*/) {
  try {
    return 0;
  } catch (const FatalError& e) {
    return e.status();
  }
}
