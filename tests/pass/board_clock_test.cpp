#include "pass/board_clock.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "common/fatal_error.h"
#include "support/test_support.h"

namespace {

struct Counters {
  int32_t ts, ic;
  int64_t wallMs = 0;  // the logger's time of the packet
};

// Feeds packets, numbered from 1, to a HUX (M 1000) or TIV (M 500) clock;
// returns the time index after each.
std::vector<int64_t> feed(BoardClock& clock, InputFileInfo& info, bool tiv, const std::vector<Counters>& packets,
                          bool checkRollover, Console& console) {
  std::vector<int64_t> indices;
  int32_t packetNumber = 0;
  for (const Counters& p : packets) {
    const BoardPacketContext context{tiv ? "TIV" : "HUX", tiv ? 500 : 1000, ++packetNumber, checkRollover,
                                     p.wallMs, "next.pelg"};
    const BoardFileTiming timing = tiv ? tivFileTiming(info) : huxFileTiming(info);
    if (repeatsFileBefore(clock, timing, context, p.ts, p.ic, console)) {
      indices.push_back(-1);
      continue;
    }
    advanceBoardClock(clock, timing, context, p.ts, p.ic, console);
    indices.push_back(clock.timeIndex);
  }
  return indices;
}

struct ClockCase {
  const char* name;
  bool tiv, checkRollover;
  std::vector<Counters> packets;
  std::vector<int64_t> indices;
  int64_t rolloverInterrupts, indexOffset;
  const char* warning;  // a line the output holds; "" for no output at all
};

// Within a file the index counts interrupts from the pass's first packet; a
// 255 -> 0 roll-over advances it by the counters' forward distance (damage
// may have taken the messages on either side of it) and adds a cycle to the
// roll-over sum; any other step back (without the roll-over check) advances
// it by one interrupt and adds the previous counters.
const ClockCase kClockCases[] = {
    {"IndexCountsInterruptsFromTheFirstPacket", false, true, {{3, 17}, {3, 27}, {4, 7}}, {0, 10, 990}, 0,
     -(4 * 1000 + 17 + 1), ""},
    {"RolloverFrom255To0StepsTheIndexByTheForwardDistance", false, true, {{255, 980}, {255, 990}, {0, 5}, {0, 15}},
     {0, 10, 25, 35}, 256000, 25 - 1006,
     "# WARNING: HUX, PELG Packet      3, Break detected in timestamps, previous timeElapsed went from 0 to "
     "-255985\n"},
    // 254 -> 0, then a step back within one time-counter step (5/10 -> 5/4).
    {"WithoutTheRolloverCheckAnyBreakIsAWrapAround", false, false, {{254, 990}, {0, 5}, {5, 10}, {5, 4}, {5, 14}},
     {0, 1, 5006, 5007, 5017}, (254 * 1000 + 990 + 1) + (5 * 1000 + 10 + 1), 5006 - 6005 + 1,
     "previous timeElapsed went from 0 to -6\n"},
    {"TivBreaksNameTheirBoard", true, true, {{255, 400}, {0, 0}}, {0, 100}, 256 * 500, 100 - 501,
     "# WARNING: TIV, PELG Packet      2, Break detected in timestamps, previous timeElapsed went from 0 to "
     "-127900\n"},
    // The packets' timestamps vote. M 1000 interrupts are 10 s, so 100 interrupts per second.
    // 250/0 -> 3/0 after 90 s: nine steps forward across the roll-over, bridged with the check on.
    {"BreakThatTheTimestampsExplainIsBridgedAsARolloverInsideAGap", false, true,
     {{250, 0, 1000}, {3, 0, 91000}, {3, 10, 91100}}, {0, 9000, 9010}, 256000, 9000 - 4001,
     "# WARNING: HUX, PELG Packet      2, the packet timestamps advanced 90.000 seconds: bridged as 1 "
     "roll-over(s) of the time counter inside a gap, 9000 interrupts on\n"},
    // 255/990 -> 0/5: 150 ms apart it is the roll-over between neighbouring packets, 1150 ms apart
    // a gap across the roll-over (with the bridge warning); both move on by the forward distance.
    {"RolloverStepBetweenNeighbouringPacketsStepsByTheForwardDistance", false, true, {{255, 990, 0}, {0, 5, 150}},
     {0, 15}, 256000, 15 - 1006,
     "This will be treated as a wrap around event\n"},
    {"RolloverStepAcrossAGapOfSecondsIsBridged", false, true, {{255, 990, 0}, {0, 5, 1150}},
     {0, 15}, 256000, 15 - 1006, "inside a gap, 15 interrupts on\n"},
    // A gap of 3000 s: the counters moved 440 s on; the timestamps add a whole cycle (2560 s).
    {"GapLongerThanACycleGetsTheCyclesTheCountersLost", false, true, {{10, 0, 0}, {54, 0, 3000000}},
     {0, 300000}, 256000, 300000 - 55001, "bridged as 1 roll-over(s) of the time counter inside a gap, "
     "300000 interrupts on\n"},
    // 250 -> 3 with the timestamps 1 s apart: neither clock explains it.
    {"BreakThatTheTimestampsContradictStaysFatal", false, true, {{250, 0, 1000}, {3, 0, 2000}}, {0}, 0,
     -251001, "# ERROR: This wrap around even was not a 255->0 roll over event\n"},
};

TEST(BoardClock, Cases) {
  for (const ClockCase& c : kClockCases) {
    SCOPED_TRACE(c.name);
    testsupport::CapturedConsole captured;
    BoardClock clock;
    InputFileInfo info;
    std::vector<int64_t> indices;
    try {
      indices = feed(clock, info, c.tiv, c.packets, c.checkRollover, captured.console());
    } catch (const FatalError& e) {
      EXPECT_EQ(e.status(), -11);
      indices = {clock.timeIndex};
    }
    EXPECT_EQ(indices, c.indices);
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

struct FileCase {
  const char* name;
  std::vector<Counters> first, second;
  std::vector<int64_t> secondIndices;
  const char* out;  // the whole console output
};

// The first packet of a later file is placed by its own counters with the
// offset of the file before, plus as many whole cycles (256 x 1000
// interrupts) as the pause since the board's last packet calls for, and
// never behind that packet. Leading packets less than a step behind it while
// the wall clock calls for no roll-over repeat the file before: left out
// (index -1), and the next is placed by its counters.
const FileCase kFileCases[] = {
    {"PauseWithoutRolloverKeepsTheCounters", {{10, 0, 0}, {10, 500, 5000}}, {{20, 0, 100000}, {20, 100, 101000}},
     {10000, 10100}, ""},
    {"PauseAcrossARolloverAddsACycle", {{250, 0, 0}, {251, 0, 10000}}, {{4, 0, 100000}, {4, 100, 101000}},
     {10000, 10100},
     "# WARNING: File next.pelg, HUX, the time counter rolled over 1 time(s) during the pause before this "
     "file: 256000 interrupts added to the time line\n"},
    {"PauseOfTwoCyclesAddsTwo", {{10, 0, 0}}, {{20, 0, 5220000}}, {522000},
     "# WARNING: File next.pelg, HUX, the time counter rolled over 2 time(s) during the pause before this "
     "file: 512000 interrupts added to the time line\n"},
    // Start times that say nothing (equal): earlier counters still never go behind.
    {"EarlierCountersWithoutAPauseAreNeverBehind", {{10, 0, 0}, {10, 500, 0}}, {{9, 0, 0}, {9, 100, 0}},
     {255000, 255100}, "rolled over 1 time(s)"},
    // The next file repeats the last 5 interrupts while its start time says 0.9 s later.
    {"RepeatOfTheFileBeforeIsLeftOut", {{10, 0, 0}, {10, 500, 5000}},
     {{10, 495, 5900}, {10, 500, 5900}, {10, 502, 5900}, {10, 600, 7000}}, {-1, -1, 502, 600},
     "# WARNING: File next.pelg, HUX, the file begins 5 interrupts behind the last packet of the file before: "
     "its packets up to there repeat that file and are dropped\n"},
};

TEST(BoardClock, LaterFiles) {
  for (const FileCase& c : kFileCases) {
    SCOPED_TRACE(c.name);
    testsupport::CapturedConsole captured;
    BoardClock clock;
    InputFileInfo first, second;
    feed(clock, first, false, c.first, true, captured.console());
    resetBoardClockForFile(clock);
    EXPECT_EQ(clock.prevTimeIndex, -1);
    EXPECT_EQ(clock.timeIndex, 0);
    EXPECT_EQ(feed(clock, second, false, c.second, true, captured.console()), c.secondIndices);
    EXPECT_EQ(second.huxFirstTimeCounter, c.second[0].ts);
    EXPECT_EQ(second.huxReferenceElapsed, 0);
    EXPECT_EQ(second.huxRolloverInterrupts, 0);  // a file's own span does not hold the pause
    if (std::string(c.out).find('\n') != std::string::npos || !*c.out) {
      EXPECT_EQ(captured.out(), c.out);
    } else {
      EXPECT_NE(captured.out().find(c.out), std::string::npos) << captured.out();
    }
  }
}

// The pass places a packet by the steady step where it applies and by the
// full rules otherwise; the placement, the record's fields, failures and the
// console must be those of the full rules alone. Random walks over both
// boards: mostly small steps with timestamps that agree, now and then a step
// back, a roll-over, a gap, a timestamp off by seconds, a later file.
TEST(BoardClock, SteadyStepAgreesWithTheFullRules) {
  std::mt19937_64 random(11);
  const auto draw = [&](int64_t below) { return static_cast<int64_t>(random() % static_cast<uint64_t>(below)); };
  struct Side {
    testsupport::CapturedConsole console;
    BoardClock clock;
    InputFileInfo info;
  };
  int64_t steady = 0;
  for (int walk = 0; walk < 400; ++walk) {
    SCOPED_TRACE(walk);
    const bool tiv = walk % 2 == 1;
    const int64_t m = tiv ? 500 : 1000;
    const int64_t cycle = board_counters::cycle(m);
    Side sides[2];  // the full rules alone; the pass's way
    int64_t counter = draw(cycle);  // the board's endless count of interrupts
    int64_t wallMs = draw(100000);
    bool failed = false;
    for (int32_t packetNumber = 1; packetNumber <= 300 && !failed; ++packetNumber) {
      const int64_t kind = draw(100);
      int64_t step = 1 + draw(60);
      if (kind < 4) step = -draw(2 * m);
      if (kind >= 4 && kind < 8) step = cycle - 1 - board_counters::floorMod(counter, cycle) + draw(3);
      if (kind >= 8 && kind < 11) step = draw(3 * cycle);
      counter += step;
      wallMs += step * board_counters::kMillisPerStep / m;
      if (kind >= 11 && kind < 15) wallMs += (draw(2) ? 1 : -1) * draw(3000000);
      const int32_t ts = board_counters::timeCounterAt(counter, m);
      const int32_t ic = board_counters::interruptCounterAt(counter, m);
      const BoardPacketContext packet{tiv ? "TIV" : "HUX", static_cast<int32_t>(m), packetNumber, walk % 4 < 2,
                                      wallMs, "next.pelg"};
      bool fails[2] = {false, false};
      for (int s = 0; s < 2; ++s) {
        Side& side = sides[s];
        if (kind == 15) {  // a later file
          resetBoardClockForFile(side.clock);
          side.info = InputFileInfo{};
        }
        const BoardFileTiming timing = tiv ? tivFileTiming(side.info) : huxFileTiming(side.info);
        try {
          if (s == 1 && advanceBoardClockSteadily(side.clock, timing, m, ts, ic, wallMs))
            ++steady;
          else if (!repeatsFileBefore(side.clock, timing, packet, ts, ic, side.console.console()))
            advanceBoardClock(side.clock, timing, packet, ts, ic, side.console.console());
        } catch (const FatalError&) {
          fails[s] = true;
        }
      }
      ASSERT_EQ(fails[1], fails[0]) << packetNumber;
      failed = fails[0];
      const auto state = [tiv](Side& side) {
        const BoardClock& c = side.clock;
        const BoardFileTiming t = tiv ? tivFileTiming(side.info) : huxFileTiming(side.info);
        return std::tuple(c.timeIndex, c.prevTimeIndex, c.indexOffset, c.prevTimeCounter, c.prevInterruptCounter,
                          c.lastTimeIndex, c.lastWallMs, c.started, c.repeatReported, c.plainRollovers,
                          c.bridgedRollovers, t.referenceElapsed, t.rolloverInterrupts, t.firstTimeCounter,
                          t.firstInterruptCounter);
      };
      ASSERT_EQ(state(sides[1]), state(sides[0])) << packetNumber;
    }
    ASSERT_EQ(sides[1].console.out(), sides[0].console.out());
  }
  // Most packets take the steady step, and the walks reach the others too.
  EXPECT_GT(steady, 400 * 300 / 3);
  EXPECT_LT(steady, 400 * 300 * 95 / 100);
}

}  // namespace
