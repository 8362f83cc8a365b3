// Removal of unfinished outputs when the run is stopped by a signal.
//
// Contract: this registry is the converter's one piece of process-wide
// mutable state, because a signal handler can reach nothing else. It holds,
// in a fixed table, the paths of the temporary files being written (at most
// kMaxTemporaries at once). Entries change only while the handled signals are
// blocked, so the handler always sees whole entries, and the handler calls
// only async-signal-safe functions (unlink, write, sigaction, raise).
//
// The first registration installs the handler for those of SIGINT, SIGTERM,
// SIGHUP, SIGPIPE and SIGABRT that still have their default action (one
// started ignored, or handled by a host program, is left alone), and ignores
// SIGXFSZ (so that a file-size limit shows as
// a failed write, which the writers report, rather than ending the process
// unannounced). On one of those signals the handler removes every registered
// temporary, prints "# ERROR: Stopped by <signal>, unfinished outputs
// removed" on standard output and ends the process by the same signal, so
// that whoever started the run sees how it ended.
#pragma once

namespace interrupt_cleanup {

inline constexpr int kMaxTemporaries = 16;

// Registers path for removal on a signal. Returns its slot, or -1 when every
// slot is taken or the path is too long for the system.
int add(const char* path);

// Forgets a slot (the file was renamed into place or removed).
void remove(int slot);

}  // namespace interrupt_cleanup
