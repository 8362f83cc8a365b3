// A thread of the converter's own. Signals (an interrupt, a terminal that
// goes away) stay with the main thread, whose handler removes the outputs'
// temporaries before the process ends: the thread starts with them all
// blocked, and the caller's mask is as it was afterwards.
#pragma once

#include <signal.h>

#include <thread>
#include <utility>

template <typename Body>
std::thread startSignalFreeThread(Body&& body) {
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  std::thread thread(std::forward<Body>(body));
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return thread;
}
