// libFuzzer target for the whole-file path: one input is one PELG file,
// converted in-process exactly as the program converts a file named on its
// command line: header and validation, packet framing, both decoders, the scan
// pass and the write pass with every output written into a temporary folder.
// Two bits of the input's length choose options, so that the fuzzer also
// reaches the paths behind them: bit 0 "-ignoreRollover" (the write pass goes
// on past a time-counter break), bit 1 "-integerOutput". A crash, a sanitizer
// report, a leak or a run beyond libFuzzer's time limit is a finding; the
// status a run ends with is not (every input may be refused).
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "common/console.h"
#include "driver/run_driver.h"

namespace {

// Each output file may grow to this size; past it writes fail (SIGXFSZ is
// ignored), so that no input can fill the disk of the machine that fuzzes.
constexpr rlim_t kOutputFileLimit = rlim_t{512} << 20;

// What every run shares: a scratch folder, the console's null streams.
struct Harness {
  Harness() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pelg-fuzz.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    folder = pattern;
    input = folder + "/input.pelg";
    outputs = folder + "/out/";
    std::filesystem::create_directory(outputs);
    nullStream = std::fopen("/dev/null", "w");
    if (nullStream == nullptr) std::abort();
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kOutputFileLimit, kOutputFileLimit};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~Harness() {
    std::fclose(nullStream);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }

  std::string folder;
  std::string input;
  std::string outputs;
  FILE* nullStream = nullptr;
};

Harness& harness() {
  static Harness instance;
  return instance;
}

bool writeInput(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  harness();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Harness& h = harness();
  if (!writeInput(h.input, data, size)) std::abort();

  std::vector<std::string> args{"pelgToMatlab", "-outputdir", h.outputs};
  if (size & 1) args.push_back("-ignoreRollover");
  if (size & 2) args.push_back("-integerOutput");
  args.push_back(h.input);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  Console console(h.nullStream, h.nullStream);
  runPelgToMatlab(static_cast<int>(args.size()), argv.data(), console);

  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(h.outputs, ignored)) {
    std::filesystem::remove_all(entry.path(), ignored);
  }
  return 0;
}
