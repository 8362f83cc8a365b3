// The progress display on a stream of its own with a clock the test sets:
// what each line says, when it is redrawn, that it is cleared at the end of a
// pass and before console lines on a shared terminal, and never otherwise.
#include "driver/progress_display.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

constexpr int64_t kMB = 1000000;

// Closes the display's stream after the display is gone: the display clears
// its line when destroyed, so the stream must outlive it.
struct OwnedStream {
  FILE* stream = std::tmpfile();
  ~OwnedStream() { std::fclose(stream); }
};

// A display writing into a temporary file, with a settable clock.
struct Harness {
  explicit Harness(std::vector<int64_t> sizes, bool shares = false)
      : stream(owned.stream), display(stream, std::move(sizes), shares, [this] { return now; }) {}

  // Everything written so far.
  std::string written() {
    std::string text = testsupport::slurp(stream);
    std::fseek(stream, 0, SEEK_END);
    return text;
  }
  // Enough bytesRead calls at the current time for the display to look at its clock.
  void read(int64_t offset) {
    for (int i = 0; i < 64; ++i) display.bytesRead(offset);
  }

  double now = 100.0;
  OwnedStream owned;
  FILE* stream;
  ProgressDisplay display;
};

const std::string kClear = "\r\x1b[K";
std::string frame(const std::string& text) { return "\r" + text + "\x1b[K"; }

TEST(ProgressDisplay, LinesSayPassFileShareSpeedAndTimeLeft) {
  const struct {
    std::vector<int64_t> sizes;
    int file;
    int64_t offset;
    double elapsed;
    const char* expected;
  } cases[] = {
      {{100 * kMB, 300 * kMB}, 0, 0, 0.0,
       "pelgToMatlab: scan pass 1 of 2, file 1 of 2, 0.0%, -- MB/s, --:-- left"},
      {{100 * kMB, 300 * kMB}, 0, 50 * kMB, 1.0,
       "pelgToMatlab: scan pass 1 of 2, file 1 of 2, 12.5%, 50.0 MB/s, 0:07 left"},
      {{100 * kMB, 300 * kMB}, 1, 100 * kMB, 4.0,
       "pelgToMatlab: scan pass 1 of 2, file 2 of 2, 50.0%, 50.0 MB/s, 0:04 left"},
      // Speed and time left wait until the pass has run half a second.
      {{100 * kMB}, 0, 10 * kMB, 0.4, "pelgToMatlab: scan pass 1 of 2, file 1 of 1, 10.0%, -- MB/s, --:-- left"},
      {{10000 * kMB}, 0, 1 * kMB, 1.0,
       "pelgToMatlab: scan pass 1 of 2, file 1 of 1, 0.0%, 1.0 MB/s, 2:46:39 left"},
      // Sizes unknown (standard input): the bytes read instead of a share.
      {{0}, 0, 25 * kMB, 2.0, "pelgToMatlab: scan pass 1 of 2, file 1 of 1, 25.0 MB, 12.5 MB/s, --:-- left"},
      // Never past 100 %.
      {{10 * kMB}, 0, 12 * kMB, 1.0, "pelgToMatlab: scan pass 1 of 2, file 1 of 1, 100.0%, 12.0 MB/s, 0:00 left"},
  };
  for (const auto& c : cases) {
    Harness h(c.sizes);
    h.display.startPass("scan", 1, 2);
    h.display.fileStarted(c.file);
    h.display.bytesRead(c.offset);
    EXPECT_EQ(h.display.lineText(h.now + c.elapsed), c.expected);
  }
}

TEST(ProgressDisplay, DrawsAtEachFileAndAFewTimesASecondAndClearsAtTheEnd) {
  Harness h({100 * kMB, 100 * kMB});
  h.display.startPass("write", 2, 2);
  EXPECT_EQ(h.written(), "");  // nothing before the first file
  h.display.fileStarted(0);
  const std::string first = frame("pelgToMatlab: write pass 2 of 2, file 1 of 2, 0.0%, -- MB/s, --:-- left");
  EXPECT_EQ(h.written(), first);
  h.now += 0.1;  // too soon for a redraw
  h.read(10 * kMB);
  EXPECT_EQ(h.written(), first);
  h.now += 0.5;
  h.read(30 * kMB);
  const std::string second =
      frame("pelgToMatlab: write pass 2 of 2, file 1 of 2, 15.0%, 50.0 MB/s, 0:03 left");
  EXPECT_EQ(h.written(), first + second);
  // A new file is drawn at once.
  h.now += 0.01;
  h.display.fileStarted(1);
  const std::string third =
      frame("pelgToMatlab: write pass 2 of 2, file 2 of 2, 50.0%, 163.9 MB/s, 0:01 left");
  EXPECT_EQ(h.written(), first + second + third);
  h.display.finishPass();
  EXPECT_EQ(h.written(), first + second + third + kClear);
  // Cleared once only; nothing more after the pass.
  h.display.finishPass();
  h.now += 1;
  h.read(60 * kMB);
  EXPECT_EQ(h.written(), first + second + third + kClear);
}

TEST(ProgressDisplay, TakesItselfOffASharedTerminalBeforeConsoleLines) {
  for (const bool shares : {true, false}) {
    testsupport::CapturedConsole captured;  // outlives the display attached to it
    Harness h({100 * kMB}, shares);
    h.display.attach(captured.console());
    h.display.startPass("scan", 1, 1);
    h.display.fileStarted(0);
    const std::string drawn = h.written();
    captured.console().out("# INFO: a line\n");
    EXPECT_EQ(h.written(), shares ? drawn + kClear : drawn) << shares;
    captured.console().out("# INFO: another line\n");  // already off the screen
    EXPECT_EQ(h.written(), shares ? drawn + kClear : drawn) << shares;
    EXPECT_EQ(captured.out(), "# INFO: a line\n# INFO: another line\n");
  }
}

TEST(ProgressDisplay, ClearsWhenDestroyedAndLeavesTheConsole) {
  testsupport::CapturedConsole captured;
  FILE* stream = std::tmpfile();
  {
    ProgressDisplay display(stream, {kMB}, true, [] { return 0.0; });
    display.attach(captured.console());
    display.startPass("scan", 1, 2);
    display.fileStarted(0);
  }
  captured.console().out("# INFO: after\n");  // the display is gone: no call into it
  const std::string written = testsupport::slurp(stream);
  EXPECT_EQ(written.substr(written.size() - kClear.size()), kClear);
  std::fclose(stream);
}

}  // namespace
