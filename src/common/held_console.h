// Console lines held back: a Console whose two streams are kept in memory
// until they are passed on to another Console, in the order they were
// printed on each stream. Work that runs while another output is still being
// written prints here, so that its lines reach the user only after that
// output's own, as when the two run in turn.
//
// Contract: console() stays valid for the object's life; release() passes
// the held text on once (later calls pass nothing); what is never released
// is dropped with the object. Without memory for the streams, lines go
// straight to the target given at construction instead.
#pragma once

#include <cstdio>

#include "common/console.h"

class HeldConsole {
 public:
  explicit HeldConsole(Console& target);
  ~HeldConsole();
  HeldConsole(const HeldConsole&) = delete;
  HeldConsole& operator=(const HeldConsole&) = delete;

  Console& console() { return held_; }
  void release();

 private:
  Console& target_;
  char* outText_ = nullptr;
  size_t outSize_ = 0;
  char* errText_ = nullptr;
  size_t errSize_ = 0;
  FILE* out_ = nullptr;
  FILE* err_ = nullptr;
  Console held_;
};
