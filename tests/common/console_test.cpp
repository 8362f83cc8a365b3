#include "common/console.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace {

// Keeps what a forwarding console hands over and prints it, in order,
// through another console, as the write pass's thread does.
class Relay : public ConsoleForward {
 public:
  void forwardLine(bool toErr, const char* format, const char* text, size_t length) override {
    lines_.push_back({toErr, format, std::string(text, length)});
  }
  void printTo(Console& console) const {
    for (const Line& line : lines_) console.print(line.toErr, line.format, line.text.c_str(), line.text.size());
  }

 private:
  struct Line {
    bool toErr;
    const char* format;
    std::string text;
  };
  std::vector<Line> lines_;
};

class Heard : public ConsoleListener {
 public:
  void consoleLine(const char* format, const char* text) override { lines.emplace_back(format, text); }
  std::vector<std::pair<std::string, std::string>> lines;
};

}  // namespace

// A line printed through a forwarding console reads, on either stream and to
// a listener, as the same line printed directly: however long it is.
TEST(Console, ForwardedLinesReadAsPrintedOnes) {
  const std::string longName(3000, 'n');
  const auto printAll = [&](Console& console) {
    console.out("# INFO:   File [%2d]\n", 3);
    console.err("ERROR: can't open file %s\n", "a.pelg");
    console.out("# ERROR: Unable to open file %s\n", longName.c_str());
    console.out("# WARNING: %d%% of %s\n", 50, "the packets");
  };

  testsupport::CapturedConsole direct;
  Heard heardDirect;
  direct.console().setListener(&heardDirect);
  printAll(direct.console());

  Relay relay;
  Console forwarding;
  forwarding.forwardTo(&relay);
  printAll(forwarding);
  testsupport::CapturedConsole printed;
  Heard heardPrinted;
  printed.console().setListener(&heardPrinted);
  relay.printTo(printed.console());

  EXPECT_EQ(printed.out(), direct.out());
  EXPECT_EQ(printed.err(), direct.err());
  EXPECT_EQ(heardPrinted.lines, heardDirect.lines);
  EXPECT_NE(direct.out().find(longName + "\n"), std::string::npos);
}
