#include "support/test_support.h"

#include "common/little_endian.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace testsupport {

std::string slurp(FILE* f) {
  std::fflush(f);
  std::string text;
  std::rewind(f);
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  return text;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pelgtest.XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

CapturedConsole::CapturedConsole() : out_(std::tmpfile()), err_(std::tmpfile()), console_(out_, err_) {
  if (!out_ || !err_) throw std::runtime_error("tmpfile failed");
}

CapturedConsole::~CapturedConsole() {
  std::fclose(out_);
  std::fclose(err_);
}

std::string CapturedConsole::out() const {
  std::string text = slurp(out_);
  std::fseek(out_, 0, SEEK_END);
  return text;
}

std::string CapturedConsole::err() const {
  std::string text = slurp(err_);
  std::fseek(err_, 0, SEEK_END);
  return text;
}

namespace {

// Starts argv with standard input from inPath and its output into outPath and
// errPath, in workdir, with TZ=UTC; with defaultSignals every signal has its
// default action in the child.
pid_t spawnProgram(const std::vector<std::string>& argv, const std::string& workdir,
                   const std::string& inPath, const std::string& outPath, const std::string& errPath,
                   bool defaultSignals) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!workdir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workdir.c_str());

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (defaultSignals) {
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  }

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("TZ=", 0) != 0) envStrings.emplace_back(*e);
  envStrings.emplace_back("TZ=UTC");
  std::vector<char*> env;
  for (std::string& e : envStrings) env.push_back(e.data());
  env.push_back(nullptr);

  pid_t pid;
  const int rc = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

int statusOf(int wstatus) {
  return WIFEXITED(wstatus) ? static_cast<int8_t>(WEXITSTATUS(wstatus)) : 1000 + WTERMSIG(wstatus);
}

}  // namespace

RunResult runProgram(const std::vector<std::string>& argv, const std::string& workdir,
                     const std::string& stdinData) {
  TempDir io;
  const std::string inPath = io.file("stdin"), outPath = io.file("stdout"), errPath = io.file("stderr");
  writeFile(inPath, stdinData);
  const pid_t pid = spawnProgram(argv, workdir, inPath, outPath, errPath, false);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);

  RunResult result;
  result.status = statusOf(wstatus);
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

BackgroundRun::BackgroundRun(const std::vector<std::string>& argv, const std::string& workdir) {
  writeFile(io_.file("stdin"), "");
  pid_ = spawnProgram(argv, workdir, io_.file("stdin"), io_.file("stdout"), io_.file("stderr"), true);
}

BackgroundRun::~BackgroundRun() { wait(); }

bool BackgroundRun::running() {
  if (collected_) return false;
  if (waitpid(pid_, &wstatus_, WNOHANG) != pid_) return true;
  collected_ = true;
  return false;
}

RunResult BackgroundRun::wait() {
  if (!collected_) {
    waitpid(pid_, &wstatus_, 0);
    collected_ = true;
  }
  RunResult result;
  result.status = statusOf(wstatus_);
  result.out = readFile(io_.file("stdout"));
  result.err = readFile(io_.file("stderr"));
  return result;
}

RunResult runPelgToMatlab(const std::vector<std::string>& args, const std::string& workdir,
                          const std::string& stdinData) {
  std::vector<std::string> argv{PELG_TO_MATLAB_BIN};
  argv.insert(argv.end(), args.begin(), args.end());
  return runProgram(argv, workdir, stdinData);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

nlohmann::json readJson(const std::string& path) {
  return nlohmann::json::parse(readFile(path), nullptr, false);
}

void writeFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

namespace {

// Offset and size of the data chunk of a WAV file's bytes; size -1 when it has none.
std::pair<size_t, int64_t> wavData(const std::string& bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  for (size_t pos = 12; pos + 8 <= bytes.size();) {
    const auto size = readLittleEndian<uint32_t>(p + pos + 4);
    if (bytes.compare(pos, 4, "data") == 0) return {pos + 8, size};
    pos += 8 + size + (size & 1);
  }
  return {0, -1};
}

}  // namespace

int64_t wavFrames(const std::string& path) {
  const int64_t size = wavData(readFile(path)).second;
  return size < 0 ? -1 : size / 2;
}

std::vector<int16_t> wavSamples(const std::string& path) {
  const std::string bytes = readFile(path);
  const auto [at, size] = wavData(bytes);
  std::vector<int16_t> samples;
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  for (int64_t i = 0; i + 1 < size && at + static_cast<size_t>(i) + 2 <= bytes.size(); i += 2)
    samples.push_back(static_cast<int16_t>(readLittleEndian<uint16_t>(p + at + static_cast<size_t>(i))));
  return samples;
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace testsupport
