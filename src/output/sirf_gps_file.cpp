#include "output/sirf_gps_file.h"

#include "common/output_file.h"

namespace {

constexpr const char* kFileName = "sirfGPSOutput.bin";
constexpr const char* kUnableToOpen = "# ERROR: Unable to open SIRF GPS output file: %s\n";

}  // namespace

void createSirfGpsFile(ParseState& state, const std::string& outputDir) {
  state.sirfPath = outputDir + kFileName;
  if (!state.sirfOutput.create(state.sirfPath)) {
    state.console->out(kUnableToOpen, state.sirfPath.c_str());
    exitOnOutputFailure(state.sirfOutput, *state.console);
  }
}

void closeSirfGpsFile(ParseState& state) {
  if (!state.sirfOutput.isOpen() && !state.sirfOutput.failed()) return;
  if (!state.sirfOutput.finish()) exitOnOutputFailure(state.sirfOutput, *state.console);
}
