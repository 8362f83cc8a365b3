// The one-line progress display on the terminal while the passes read: the
// pass, the file (k of n), the share of the bytes read, the speed and the
// time left, redrawn a few times a second on the error stream and cleared at
// the end of each pass. The driver shows it only when the error stream is a
// terminal; it never writes on standard output. When standard output is the
// same terminal, the display takes itself off the screen before each console
// line (through the console's interruption hook) and comes back at the next
// redraw. A failed write switches the display off for the rest of the run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/console_interruption.h"
#include "common/pass_observer.h"

class ProgressDisplay : public PassObserver, public ConsoleInterruption {
 public:
  // Seconds on a steady clock.
  using Clock = std::function<double()>;
  static double steadySeconds();

  // fileSizes: the bytes of each file in pass order (0 when unknown).
  // sharesTerminal: standard output is the same terminal as `terminal`.
  ProgressDisplay(FILE* terminal, std::vector<int64_t> fileSizes, bool sharesTerminal,
                  Clock clock = steadySeconds);
  ~ProgressDisplay() override;
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  // Registers with the console for its lines; undone by the destructor, so the
  // console must outlive the display.
  void attach(Console& console);

  // A pass begins ("scan", 1 of 2) and ends; the end clears the line.
  void startPass(const char* name, int number, int count);
  void finishPass();

  void fileStarted(int index) override;
  void bytesRead(int64_t offset) override;
  void beforeConsoleLine() override;

  // The text of the line as it would be drawn at `now`, without control codes.
  std::string lineText(double now) const;

  // Shortest time between two redraws, in seconds.
  static constexpr double kRefreshSeconds = 0.25;

 private:
  void draw(double now);
  void erase();
  bool write(const std::string& text);

  // The write pass's lines are printed on the outputs' thread: the screen
  // (what is shown, and the terminal) is taken by one thread at a time.
  std::mutex screen_;
  FILE* terminal_;
  std::vector<int64_t> fileSizes_;
  int64_t totalBytes_ = 0;
  bool sharesTerminal_;
  Clock clock_;
  Console* console_ = nullptr;
  bool enabled_ = true;
  bool shown_ = false;

  std::string passName_;
  int passNumber_ = 0;
  int passCount_ = 0;
  double passStart_ = 0;
  double lastDraw_ = 0;
  int file_ = -1;
  int64_t bytesBefore_ = 0;  // bytes of the files before the current one
  int64_t offset_ = 0;       // read position in the current file
  uint32_t calls_ = 0;       // bytesRead calls since the last look at the clock
};
