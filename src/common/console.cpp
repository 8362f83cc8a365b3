#include "common/console.h"

#include <cstdarg>

void Console::out(const char* format, ...) {
  if (interruption_) interruption_->beforeConsoleLine();
  va_list args;
  va_start(args, format);
  if (listener_) {
    va_list copy;
    va_copy(copy, args);
    char text[1024];
    std::vsnprintf(text, sizeof text, format, copy);
    va_end(copy);
    listener_->consoleLine(format, text);
  }
  std::vfprintf(out_, format, args);
  va_end(args);
}

void Console::err(const char* format, ...) {
  if (interruption_) interruption_->beforeConsoleLine();
  va_list args;
  va_start(args, format);
  std::vfprintf(err_, format, args);
  va_end(args);
}
