#include "common/console.h"

#include <cstdarg>

namespace {

// Tells the listener of a line, as it is printed.
void tell(ConsoleListener* listener, const char* format, va_list args) {
  if (!listener) return;
  va_list copy;
  va_copy(copy, args);
  char text[1024];
  std::vsnprintf(text, sizeof text, format, copy);
  va_end(copy);
  listener->consoleLine(format, text);
}

}  // namespace

void Console::out(const char* format, ...) {
  if (interruption_) interruption_->beforeConsoleLine();
  va_list args;
  va_start(args, format);
  tell(listener_, format, args);
  std::vfprintf(out_, format, args);
  va_end(args);
}

void Console::err(const char* format, ...) {
  if (interruption_) interruption_->beforeConsoleLine();
  va_list args;
  va_start(args, format);
  tell(listener_, format, args);
  std::vfprintf(err_, format, args);
  va_end(args);
}
