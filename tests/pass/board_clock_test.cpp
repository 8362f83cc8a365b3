#include "pass/board_clock.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

struct Counters {
  int32_t ts, ic;
};

// Feeds packets, numbered from 1, to a HUX (M 1000) or TIV (M 500) clock;
// returns the time index after each.
std::vector<int32_t> feed(BoardClock& clock, InputFileInfo& info, bool tiv, const std::vector<Counters>& packets,
                          bool checkRollover, Console& console) {
  std::vector<int32_t> indices;
  int32_t packetNumber = 0;
  for (const Counters& p : packets) {
    const BoardPacketContext context{tiv ? "TIV" : "HUX", tiv ? 500 : 1000, ++packetNumber, checkRollover};
    advanceBoardClock(clock, tiv ? tivFileTiming(info) : huxFileTiming(info), context, p.ts, p.ic, console);
    indices.push_back(clock.timeIndex);
  }
  return indices;
}

struct ClockCase {
  const char* name;
  bool tiv, checkRollover;
  std::vector<Counters> packets;
  std::vector<int32_t> indices;
  int32_t rolloverInterrupts, indexOffset;
  const char* warning;  // a line the output holds; "" for no output at all
};

// Within a file the index counts interrupts from the pass's first packet; a
// step back advances it by one interrupt and adds the previous counters to
// the roll-over sum.
const ClockCase kClockCases[] = {
    {"IndexCountsInterruptsFromTheFirstPacket", false, true, {{3, 17}, {3, 27}, {4, 7}}, {0, 10, 990}, 0,
     -(4 * 1000 + 17 + 1), ""},
    {"RolloverFrom255To0StepsTheIndexByOne", false, true, {{255, 980}, {255, 990}, {0, 5}, {0, 15}},
     {0, 10, 11, 21}, 255 * 1000 + 990 + 1, 10 - 1006 + 1,
     "# WARNING: HUX, PELG Packet      3, Break detected in timestamps, previous timeElapsed went from 0 to "
     "-255985\n"},
    // 254 -> 0, then a step back within one time-counter step (5/10 -> 5/4).
    {"WithoutTheRolloverCheckAnyBreakIsAWrapAround", false, false, {{254, 990}, {0, 5}, {5, 10}, {5, 4}, {5, 14}},
     {0, 1, 5006, 5007, 5017}, (254 * 1000 + 990 + 1) + (5 * 1000 + 10 + 1), 5006 - 6005 + 1,
     "previous timeElapsed went from 0 to -6\n"},
    {"TivBreaksNameTheirBoard", true, true, {{255, 400}, {0, 0}}, {0, 1}, 255 * 500 + 400 + 1, 0 - 501 + 1,
     "# WARNING: TIV, PELG Packet      2, Break detected in timestamps, previous timeElapsed went from 0 to "
     "-127900\n"},
};

TEST(BoardClock, Cases) {
  for (const ClockCase& c : kClockCases) {
    SCOPED_TRACE(c.name);
    testsupport::CapturedConsole captured;
    BoardClock clock;
    InputFileInfo info;
    EXPECT_EQ(feed(clock, info, c.tiv, c.packets, c.checkRollover, captured.console()), c.indices);
    EXPECT_EQ(clock.indexOffset, c.indexOffset);
    const BoardFileTiming board = c.tiv ? tivFileTiming(info) : huxFileTiming(info);
    const BoardFileTiming other = c.tiv ? huxFileTiming(info) : tivFileTiming(info);
    EXPECT_EQ(board.rolloverInterrupts, c.rolloverInterrupts);
    EXPECT_EQ(board.firstTimeCounter, c.packets[0].ts);
    EXPECT_EQ(board.firstInterruptCounter, c.packets[0].ic);
    EXPECT_EQ(board.referenceElapsed, 0);
    // The other board's fields stay untouched.
    EXPECT_EQ(other.rolloverInterrupts, 0);
    EXPECT_EQ(other.firstTimeCounter, -1);
    EXPECT_EQ(other.referenceElapsed, -1);
    if (*c.warning) {
      EXPECT_NE(captured.out().find(c.warning), std::string::npos) << captured.out();
    } else {
      EXPECT_EQ(captured.out(), "");
    }
  }
}

TEST(BoardClock, OffsetCarriesIntoTheNextFileWithoutTheStepBackRule) {
  testsupport::CapturedConsole captured;
  BoardClock clock;
  InputFileInfo first, second;
  feed(clock, first, false, {{10, 0}, {10, 500}}, true, captured.console());
  resetBoardClockForFile(clock);
  EXPECT_EQ(clock.prevTimeIndex, -1);
  EXPECT_EQ(clock.timeIndex, 0);
  // The next file starts at earlier counters: it is placed by its own counters
  // with the first file's offset, even below the first file's indices.
  EXPECT_EQ(feed(clock, second, false, {{9, 0}, {9, 100}}, true, captured.console()),
            (std::vector<int32_t>{-1000, -900}));
  EXPECT_EQ(second.huxFirstTimeCounter, 9);
  EXPECT_EQ(second.huxReferenceElapsed, 0);
  EXPECT_EQ(captured.out(), "");
}

}  // namespace
