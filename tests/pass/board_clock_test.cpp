#include "pass/board_clock.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

struct Counters {
  int32_t ts, ic;
};

// Feeds packets to a HUX clock with M 1000; returns the time index after each.
std::vector<int32_t> feed(BoardClock& clock, InputFileInfo& info, const std::vector<Counters>& packets,
                          bool checkRollover, Console& console) {
  std::vector<int32_t> indices;
  int32_t packetNumber = 0;
  for (const Counters& p : packets) {
    const BoardPacketContext context{"HUX", 1000, ++packetNumber, checkRollover};
    advanceBoardClock(clock, huxFileTiming(info), context, p.ts, p.ic, console);
    indices.push_back(clock.timeIndex);
  }
  return indices;
}

TEST(BoardClock, FirstPacketOfThePassIsIndexZeroAndLaterOnesCountInterrupts) {
  testsupport::CapturedConsole captured;
  BoardClock clock;
  InputFileInfo info;
  EXPECT_EQ(feed(clock, info, {{3, 17}, {3, 27}, {4, 7}}, true, captured.console()),
            (std::vector<int32_t>{0, 10, 990}));
  EXPECT_EQ(info.huxFirstTimeCounter, 3);
  EXPECT_EQ(info.huxFirstInterruptCounter, 17);
  EXPECT_EQ(info.huxReferenceElapsed, 0);
  EXPECT_EQ(info.huxRolloverInterrupts, 0);
  EXPECT_EQ(clock.indexOffset, -(4 * 1000 + 17 + 1));
  EXPECT_EQ(captured.out(), "");
}

TEST(BoardClock, RolloverFrom255To0WarnsAndStepsTheIndexByOne) {
  testsupport::CapturedConsole captured;
  BoardClock clock;
  InputFileInfo info;
  EXPECT_EQ(feed(clock, info, {{255, 980}, {255, 990}, {0, 5}, {0, 15}}, true, captured.console()),
            (std::vector<int32_t>{0, 10, 11, 21}));
  EXPECT_EQ(info.huxRolloverInterrupts, 255991);
  EXPECT_EQ(captured.out(),
            "# WARNING: ---------------------\n"
            "# WARNING: HUX, PELG Packet      3, Break detected in timestamps, previous timeElapsed "
            "went from 0 to -255985\n"
            "# WARNING: Interrupt max:    1000. Previous:  255 ts,   990 int, current:    0 ts,     5 "
            "int\n"
            "# WARNING: This will be treated as a wrap around event\n");
}

TEST(BoardClock, WithoutTheRolloverCheckAnyBreakIsAWrapAround) {
  testsupport::CapturedConsole captured;
  BoardClock clock;
  InputFileInfo info;
  // 254 -> 0, then a step back within one time-counter step (5/10 -> 5/4).
  EXPECT_EQ(feed(clock, info, {{254, 990}, {0, 5}, {5, 10}, {5, 4}, {5, 14}}, false,
                 captured.console()),
            (std::vector<int32_t>{0, 1, 5006, 5007, 5017}));
  EXPECT_EQ(info.huxRolloverInterrupts, (254 * 1000 + 990 + 1) + (5 * 1000 + 10 + 1));
  EXPECT_NE(captured.out().find("previous timeElapsed went from 0 to -6\n"), std::string::npos);
}

TEST(BoardClock, OffsetCarriesIntoTheNextFileWithoutTheStepBackRule) {
  testsupport::CapturedConsole captured;
  BoardClock clock;
  InputFileInfo first, second;
  feed(clock, first, {{10, 0}, {10, 500}}, true, captured.console());
  resetBoardClockForFile(clock);
  EXPECT_EQ(clock.prevTimeIndex, -1);
  EXPECT_EQ(clock.timeIndex, 0);
  // The next file starts at earlier counters: it is placed by its own counters
  // with the first file's offset, even below the first file's indices.
  EXPECT_EQ(feed(clock, second, {{9, 0}, {9, 100}}, true, captured.console()),
            (std::vector<int32_t>{-1000, -900}));
  EXPECT_EQ(second.huxFirstTimeCounter, 9);
  EXPECT_EQ(second.huxReferenceElapsed, 0);
  EXPECT_EQ(captured.out(), "");
}

TEST(BoardClock, TivBreaksNameTheirBoard) {
  testsupport::CapturedConsole captured;
  BoardClock clock;
  InputFileInfo info;
  for (Counters p : {Counters{255, 400}, Counters{0, 0}}) {
    const BoardPacketContext context{"TIV", 500, 7, true};
    advanceBoardClock(clock, tivFileTiming(info), context, p.ts, p.ic, captured.console());
  }
  EXPECT_EQ(info.tivRolloverInterrupts, 255 * 500 + 400 + 1);
  EXPECT_EQ(info.huxRolloverInterrupts, 0);
  EXPECT_EQ(info.tivFirstTimeCounter, 255);
  EXPECT_EQ(clock.timeIndex, 1);
  EXPECT_NE(captured.out().find("# WARNING: TIV, PELG Packet      7, Break detected in timestamps, "
                                "previous timeElapsed went from 0 to -127900\n"),
            std::string::npos);
}

}  // namespace
