#include "common/console.h"

#include <cstdarg>
#include <string>

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

// Formats a line and hands it to forward: in place when it is short, as
// nearly every line is, else through a string of its length.
void forwardFormatted(ConsoleForward* forward, bool toErr, const char* format, va_list args) {
  char text[1024];
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(text, sizeof text, format, copy);
  va_end(copy);
  if (length < 0) return;
  if (static_cast<size_t>(length) < sizeof text) {
    forward->forwardLine(toErr, format, text, static_cast<size_t>(length));
    return;
  }
  std::string whole(static_cast<size_t>(length) + 1, '\0');
  std::vsnprintf(whole.data(), whole.size(), format, args);
  forward->forwardLine(toErr, format, whole.c_str(), static_cast<size_t>(length));
}

}  // namespace

void Console::out(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (forward_) {
    forwardFormatted(forward_, false, format, args);
    va_end(args);
    return;
  }
  if (interruption_) interruption_->beforeConsoleLine();
  tell(listener_, format, args);
  std::vfprintf(out_, format, args);
  va_end(args);
}

void Console::err(const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (forward_) {
    forwardFormatted(forward_, true, format, args);
    va_end(args);
    return;
  }
  if (interruption_) interruption_->beforeConsoleLine();
  tell(listener_, format, args);
  std::vfprintf(err_, format, args);
  va_end(args);
}

void Console::print(bool toErr, const char* format, const char* text, size_t length) {
  if (interruption_) interruption_->beforeConsoleLine();
  // The listener sees what tell() would have given it: the text cut to its buffer.
  if (listener_) {
    char cut[1024];
    std::snprintf(cut, sizeof cut, "%s", text);
    listener_->consoleLine(format, cut);
  }
  std::fwrite(text, 1, length, toErr ? err_ : out_);
}
