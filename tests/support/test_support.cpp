#include "support/test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

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

RunResult runProgram(const std::vector<std::string>& argv, const std::string& workdir,
                     const std::string& stdinData) {
  TempDir io;
  const std::string inPath = io.file("stdin"), outPath = io.file("stdout"), errPath = io.file("stderr");
  writeFile(inPath, stdinData);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!workdir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workdir.c_str());

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
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);

  RunResult result;
  result.status = WIFEXITED(wstatus) ? static_cast<int8_t>(WEXITSTATUS(wstatus)) : 1000 + WTERMSIG(wstatus);
  result.out = readFile(outPath);
  result.err = readFile(errPath);
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

void writeFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary);
  out << contents;
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace testsupport
