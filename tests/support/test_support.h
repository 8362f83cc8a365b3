// Helpers shared by the test suites: scratch directories, in-process console
// capture, and running the real pelgToMatlab binary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/console.h"

namespace testsupport {

// A fresh directory, removed with its contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A Console whose two streams are captured in memory-backed temporary files.
class CapturedConsole {
 public:
  CapturedConsole();
  ~CapturedConsole();
  CapturedConsole(const CapturedConsole&) = delete;
  CapturedConsole& operator=(const CapturedConsole&) = delete;
  Console& console() { return console_; }
  std::string out() const;
  std::string err() const;

 private:
  FILE* out_;
  FILE* err_;
  Console console_;
};

struct RunResult {
  int status = 0;  // the process's exit status as the signed value main returned
  std::string out;
  std::string err;
};

// A JSON file read back by a parser of its own (null when it cannot be read).
nlohmann::json readJson(const std::string& path);

// Runs the pelgToMatlab binary with args (not including the program name) in
// workdir (the current directory when empty), with TZ=UTC, standard input fed
// from stdinData.
RunResult runPelgToMatlab(const std::vector<std::string>& args, const std::string& workdir = "",
                          const std::string& stdinData = "");

// Runs any program (argv[0] is its path) the same way.
RunResult runProgram(const std::vector<std::string>& argv, const std::string& workdir = "",
                     const std::string& stdinData = "");

// A program started like runProgram but not waited for, with the default
// action for every signal (whatever the test itself was started with), so
// that a test can stop it. wait() collects it; the destructor waits too.
class BackgroundRun {
 public:
  BackgroundRun(const std::vector<std::string>& argv, const std::string& workdir = "");
  ~BackgroundRun();
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;

  int pid() const { return pid_; }
  // Whether it is still running (collecting it when it has ended).
  bool running();
  RunResult wait();

 private:
  TempDir io_;
  int pid_ = -1;
  bool collected_ = false;
  int wstatus_ = 0;
};

std::string readFile(const std::string& path);

// Everything written to a seekable stream so far (it is flushed and rewound;
// the position is left at its end).
std::string slurp(FILE* stream);
void writeFile(const std::string& path, const std::string& contents);
bool fileExists(const std::string& path);
// The names of the entries of folder, sorted.
std::vector<std::string> namesIn(const std::string& folder);

// Frames in the data chunk of a 16-bit mono WAV file; -1 when it has none.
int64_t wavFrames(const std::string& path);

// The frames of the data chunk of a 16-bit mono WAV file (none when it has none).
std::vector<int16_t> wavSamples(const std::string& path);


}  // namespace testsupport
