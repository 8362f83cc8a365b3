// Something drawn on the terminal between console lines (the progress
// display). The console lets it take itself off the screen before it prints
// a line, so that no line runs into it.
#pragma once

class ConsoleInterruption {
 public:
  virtual ~ConsoleInterruption() = default;
  virtual void beforeConsoleLine() = 0;
};
