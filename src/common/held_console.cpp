#include "common/held_console.h"

#include <cstdlib>

HeldConsole::HeldConsole(Console& target) : target_(target), held_(target) {
  out_ = open_memstream(&outText_, &outSize_);
  err_ = open_memstream(&errText_, &errSize_);
  if (out_ && err_) held_ = Console(out_, err_);
}

HeldConsole::~HeldConsole() {
  if (out_) std::fclose(out_);
  if (err_) std::fclose(err_);
  std::free(outText_);
  std::free(errText_);
}

void HeldConsole::release() {
  if (!out_ || !err_) return;
  std::fflush(out_);
  std::fflush(err_);
  // Each stream's lines go over in one piece; a line held is a line printed.
  if (outSize_ > 0) target_.out("%.*s", static_cast<int>(outSize_), outText_);
  if (errSize_ > 0) target_.err("%.*s", static_cast<int>(errSize_), errText_);
  std::rewind(out_);
  std::rewind(err_);
  outSize_ = errSize_ = 0;
}
