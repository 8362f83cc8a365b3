// A run stopped by a signal removes the temporaries it was writing, says so,
// and ends by that signal. Each case runs in a child process.
#include "common/interrupt_cleanup.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "common/output_file.h"
#include "support/test_support.h"

namespace {

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

struct Stopped {
  int signal = 0;  // 0: the child exited
  std::string out;
};

// Forks a child whose standard output goes to a file, lets it write two
// outputs (one committed, one not) and raise the signal.
Stopped stopChild(const TempDir& dir, int number) {
  const std::string outPath = dir.file("stdout");
  const pid_t child = fork();
  if (child == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, STDOUT_FILENO);
    OutputFile done, pending;
    if (!done.create(dir.file("done.bin")) || !pending.create(dir.file("pending.bin"))) _exit(2);
    done.write("whole", 5);
    if (!done.finish() || !done.commit()) _exit(3);
    pending.write("half", 4);
    raise(number);
    _exit(4);  // not reached: the handler ends the process by the signal
  }
  int status = 0;
  waitpid(child, &status, 0);
  Stopped stopped;
  if (WIFSIGNALED(status)) stopped.signal = WTERMSIG(status);
  stopped.out = readFile(outPath);
  return stopped;
}

TEST(InterruptCleanup, SignalRemovesUnfinishedOutputsAndEndsByTheSignal) {
  const struct {
    int number;
    const char* line;
  } cases[] = {
      {SIGINT, "# ERROR: Stopped by SIGINT, unfinished outputs removed\n"},
      {SIGTERM, "# ERROR: Stopped by SIGTERM, unfinished outputs removed\n"},
      {SIGHUP, "# ERROR: Stopped by SIGHUP, unfinished outputs removed\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    // A signal the tests were started with ignored (a background job's
    // SIGINT) stays ignored by design; the program's own test covers it.
    struct sigaction current {};
    if (sigaction(c.number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    TempDir dir;
    writeFile(dir.file("pending.bin"), "earlier run");
    const Stopped stopped = stopChild(dir, c.number);
    EXPECT_EQ(stopped.signal, c.number);
    EXPECT_EQ(stopped.out, c.line);
    EXPECT_EQ(readFile(dir.file("done.bin")), "whole");
    EXPECT_EQ(readFile(dir.file("pending.bin")), "earlier run");
    EXPECT_FALSE(fileExists(dir.file(".pending.bin.partial")));
  }
}

TEST(InterruptCleanup, SlotsAreLimitedAndReused) {
  TempDir dir;
  int slots[interrupt_cleanup::kMaxTemporaries];
  for (int& slot : slots) {
    slot = interrupt_cleanup::add(dir.file("x").c_str());
    EXPECT_GE(slot, 0);
  }
  EXPECT_EQ(interrupt_cleanup::add(dir.file("one too many").c_str()), -1);
  interrupt_cleanup::remove(slots[3]);
  EXPECT_EQ(interrupt_cleanup::add(dir.file("y").c_str()), slots[3]);
  for (int slot : slots) interrupt_cleanup::remove(slot);
  // A path beyond what the system accepts is refused.
  EXPECT_EQ(interrupt_cleanup::add(std::string(5000, 'p').c_str()), -1);
}

}  // namespace
