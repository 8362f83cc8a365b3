#include "common/interrupt_cleanup.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace interrupt_cleanup {
namespace {

struct Slot {
  volatile sig_atomic_t used;
  char path[PATH_MAX];
};

struct HandledSignal {
  int number;
  const char* line;
};

constexpr HandledSignal kHandled[] = {
    {SIGINT, "# ERROR: Stopped by SIGINT, unfinished outputs removed\n"},
    {SIGTERM, "# ERROR: Stopped by SIGTERM, unfinished outputs removed\n"},
    {SIGHUP, "# ERROR: Stopped by SIGHUP, unfinished outputs removed\n"},
    {SIGPIPE, "# ERROR: Stopped by SIGPIPE, unfinished outputs removed\n"},
    {SIGABRT, "# ERROR: Stopped by SIGABRT, unfinished outputs removed\n"},
};

// The registry itself: the temporaries being written, and whether the handler
// is in place. Written only by add and remove, with the signals blocked.
struct Registry {
  Slot slots[kMaxTemporaries];
  bool installed;
};
Registry registry;

void handleSignal(int number) {
  for (Slot& slot : registry.slots) {
    if (slot.used) unlink(slot.path);
  }
  for (const HandledSignal& handled : kHandled) {
    if (handled.number != number) continue;
    const ssize_t ignored = write(STDOUT_FILENO, handled.line, std::strlen(handled.line));
    (void)ignored;
  }
  // End by the same signal: default action, raised again; it is delivered as
  // soon as the handler returns and the signal is unblocked.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(number, &fallback, nullptr);
  raise(number);
}

sigset_t handledSet() {
  sigset_t set;
  sigemptyset(&set);
  for (const HandledSignal& handled : kHandled) sigaddset(&set, handled.number);
  return set;
}

void install() {
  struct sigaction action {};
  action.sa_handler = handleSignal;
  action.sa_mask = handledSet();
  action.sa_flags = SA_RESTART;
  for (const HandledSignal& handled : kHandled) {
    struct sigaction previous {};
    // A signal the process was started with ignored (nohup, a shell's
    // background job) stays ignored, and one that a host program handles
    // itself (a fuzzing engine, say) stays its own.
    if (sigaction(handled.number, nullptr, &previous) != 0) continue;
    if ((previous.sa_flags & SA_SIGINFO) != 0 || previous.sa_handler != SIG_DFL) continue;
    sigaction(handled.number, &action, nullptr);
  }
  signal(SIGXFSZ, SIG_IGN);
  registry.installed = true;
}

// Blocks the handled signals for the life of the object.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    const sigset_t set = handledSet();
    sigprocmask(SIG_BLOCK, &set, &previous_);
  }
  ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace

int add(const char* path) {
  const size_t length = std::strlen(path);
  if (length >= sizeof registry.slots[0].path) return -1;
  SignalsBlocked blocked;
  if (!registry.installed) install();
  for (int i = 0; i < kMaxTemporaries; ++i) {
    Slot& slot = registry.slots[i];
    if (slot.used) continue;
    std::memcpy(slot.path, path, length + 1);
    slot.used = 1;
    return i;
  }
  return -1;
}

void remove(int slot) {
  if (slot < 0 || slot >= kMaxTemporaries) return;
  SignalsBlocked blocked;
  registry.slots[slot].used = 0;
}

}  // namespace interrupt_cleanup
