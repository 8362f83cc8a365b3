#include "common/console.h"

#include <cstdarg>

void Console::out(const char* format, ...) {
  if (interruption_) interruption_->beforeConsoleLine();
  va_list args;
  va_start(args, format);
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
