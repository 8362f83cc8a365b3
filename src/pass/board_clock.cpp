#include "pass/board_clock.h"

#include <cinttypes>
#include <cstdlib>

#include "common/board_counters.h"
#include "common/exit_status.h"
#include "common/fatal_error.h"

namespace {

constexpr const char* kBreakRule = "# WARNING: ---------------------\n";
constexpr const char* kBreakDetected =
    "# WARNING: %s, PELG Packet %6d, Break detected in timestamps, previous timeElapsed went from %" PRId64
    " to %" PRId64 "\n";
constexpr const char* kBreakCounters =
    "# WARNING: Interrupt max: %7d. Previous: %4d ts, %5d int, current: %4d ts, %5d int\n";
constexpr const char* kBreakTreatedAsWrap = "# WARNING: This will be treated as a wrap around event\n";
constexpr const char* kBridgedInGap =
    "# WARNING: %s, PELG Packet %6d, the packet timestamps advanced %.3f seconds: bridged as %" PRId64
    " roll-over(s) of the time counter inside a gap, %" PRId64 " interrupts on\n";
constexpr const char* kBridgedPause =
    "# WARNING: File %s, %s, the time counter rolled over %" PRId64
    " time(s) during the pause before this file: %" PRId64 " interrupts added to the time line\n";
constexpr const char* kRepeatsFileBefore =
    "# WARNING: File %s, %s, the file begins %" PRId64
    " interrupts behind the last packet of the file before: its packets up to there repeat that file and are "
    "dropped\n";
constexpr const char* kNotARollover =
    "# ERROR: This wrap around even was not a 255->0 roll over event\n";
constexpr const char* kExiting = "# ERROR: Exiting\n";
constexpr const char* kIgnoreRolloverHint =
    "# ERROR: If you want to ignore this use -ignoreRollover, this may result in corrupt files\n";

using board_counters::floorDiv;
using board_counters::floorMod;
using board_counters::interruptsOfMs;
// A 255 -> 0 step counts as a gap, not as the plain roll-over between two
// neighbouring packets, only when the packet timestamps moved on this far.
constexpr int64_t kGapEvidenceMs = 1000;

// Whole counter cycles to add to an advance of `counted` interrupts so that
// it comes nearest to the `wall` interrupts the timestamps give; never fewer
// than none.
int64_t cyclesToAdd(int64_t counted, int64_t wall, int64_t cycle) {
  const int64_t nearest = wall - counted + cycle / 2;
  // Nearly every step: both clocks agree within half a cycle, and the
  // division (a 64-bit one, on every packet) is not needed.
  if (nearest >= 0 && nearest < cycle) return 0;
  const int64_t cycles = floorDiv(nearest, cycle);
  return cycles > 0 ? cycles : 0;
}

// What a step back of the counters is: a gap the timestamps explain (with
// the roll-overs in it), the plain roll-over between neighbouring packets,
// or a break that neither clock explains.
enum class BreakKind { bridged, rollover, unexplained };

struct BreakJudgement {
  BreakKind kind = BreakKind::unexplained;
  int64_t forward = 0;  // the counters' forward distance
  int64_t extra = 0;    // whole cycles the timestamps add to it
  int64_t advance = 0;  // forward + extra cycles
};

BreakJudgement judgeBreak(const BoardClock& clock, int64_t timeElapsed, int64_t wallMs, int32_t ts, int64_t m) {
  const int64_t cycle = board_counters::cycle(m);
  const int64_t wallInterrupts = interruptsOfMs(wallMs, m);
  BreakJudgement j;
  // The counters' forward distance, one or more whole cycles on where the
  // timestamps call for it; explained when it agrees with them within a step.
  j.forward = floorMod(timeElapsed, cycle);
  j.extra = cyclesToAdd(j.forward, wallInterrupts, cycle);
  j.advance = j.forward + j.extra * cycle;
  const bool explained = std::llabs(j.advance - wallInterrupts) <= m;
  const bool isRollover = clock.prevTimeCounter == board_counters::kLastTimeCounter && ts == 0;
  if (explained && (!isRollover || wallMs >= kGapEvidenceMs))
    j.kind = BreakKind::bridged;
  else if (isRollover)
    j.kind = BreakKind::rollover;
  return j;
}

// The counters' advance since the board's previous packet in the file (0 for
// its first), in interrupts.
int64_t elapsedSincePrevious(const BoardClock& clock, const BoardFileTiming& timing, int32_t ts, int32_t ic,
                             int64_t m) {
  if (timing.firstTimeCounter == -1 && timing.firstInterruptCounter == -1) return 0;
  return (static_cast<int64_t>(ts) - clock.prevTimeCounter) * m - clock.prevInterruptCounter + ic;
}

void printBreak(const BoardClock& clock, const BoardPacketContext& packet, int64_t reference,
                int64_t timeElapsed, int32_t ts, int32_t ic, Console& console) {
  console.out(kBreakRule);
  console.out(kBreakDetected, packet.boardLabel, packet.packetNumber, reference, timeElapsed);
  console.out(kBreakCounters, packet.interruptsPerStep, clock.prevTimeCounter, clock.prevInterruptCounter,
              ts, ic);
  console.out(kBreakTreatedAsWrap);
}

}  // namespace

bool breaksTimeLine(const BoardClock& clock, const BoardFileTiming& timing, const BoardPacketContext& packet,
                    int32_t ts, int32_t ic) {
  const int64_t m = packet.interruptsPerStep;
  const int64_t timeElapsed = elapsedSincePrevious(clock, timing, ts, ic, m);
  const int64_t reference = timing.referenceElapsed == -1 ? timeElapsed : timing.referenceElapsed;
  if (timeElapsed >= reference) return false;
  const int64_t wallMs = clock.started ? packet.wallMs - clock.lastWallMs : 0;
  return judgeBreak(clock, timeElapsed, wallMs, ts, m).kind == BreakKind::unexplained;
}

bool repeatsFileBefore(BoardClock& clock, const BoardFileTiming& timing, const BoardPacketContext& packet,
                       int32_t ts, int32_t ic, Console& console) {
  if (!clock.started || timing.firstTimeCounter != -1 || timing.firstInterruptCounter != -1) return false;
  const int64_t m = packet.interruptsPerStep;
  const int64_t cycle = board_counters::cycle(m);
  const int64_t position = (static_cast<int64_t>(ts) + 1) * m + ic + 1;
  const int64_t counted = position + clock.indexOffset - clock.lastTimeIndex;
  const int64_t wallInterrupts = interruptsOfMs(packet.wallMs - clock.lastWallMs, m);
  // Once the file began behind, a packet at the last one's very interrupt
  // repeats it as well.
  const bool behind = counted < 0 || (counted == 0 && clock.repeatReported);
  if (!behind || counted < -m || cyclesToAdd(counted, wallInterrupts, cycle) != 0) return false;
  if (!clock.repeatReported) console.out(kRepeatsFileBefore, packet.fileName, packet.boardLabel, -counted);
  clock.repeatReported = true;
  return true;
}

void resetBoardClockForFile(BoardClock& clock) {
  clock.repeatReported = false;
  clock.prevTimeCounter = -1;
  clock.prevInterruptCounter = -1;
  clock.timeIndex = 0;
  clock.prevTimeIndex = -1;
}

void advanceBoardClock(BoardClock& clock, const BoardFileTiming& timing, const BoardPacketContext& packet,
                       int32_t ts, int32_t ic, Console& console) {
  const int64_t m = packet.interruptsPerStep;
  const int64_t cycle = board_counters::cycle(m);

  // The file's first timed packet of the board is its own predecessor.
  const bool firstOfFile = timing.firstTimeCounter == -1 && timing.firstInterruptCounter == -1;
  if (firstOfFile) {
    timing.firstTimeCounter = ts;
    timing.firstInterruptCounter = ic;
    clock.prevTimeCounter = ts;
    clock.prevInterruptCounter = ic;
  }

  // How far the counters moved since the previous packet, and how far the
  // packet timestamps say time moved, both in interrupts.
  const int64_t timeElapsed = elapsedSincePrevious(clock, timing, ts, ic, m);
  if (timing.referenceElapsed == -1) timing.referenceElapsed = timeElapsed;
  const int64_t wallMs = clock.started ? packet.wallMs - clock.lastWallMs : 0;
  const int64_t wallInterrupts = interruptsOfMs(wallMs, m);

  // A bridged gap moves the index on by `bridge` interrupts from the previous packet.
  int64_t bridge = -1;
  const auto bridgeGap = [&](int64_t advance, int64_t rollovers) {
    bridge = advance;
    timing.rolloverInterrupts += rollovers * cycle;
    clock.bridgedRollovers += rollovers;
    console.out(kBridgedInGap, packet.boardLabel, packet.packetNumber, static_cast<double>(wallMs) / 1000.0,
                rollovers, advance);
  };

  if (timeElapsed < timing.referenceElapsed) {
    printBreak(clock, packet, timing.referenceElapsed, timeElapsed, ts, ic, console);
    const BreakJudgement j = judgeBreak(clock, timeElapsed, wallMs, ts, m);
    if (j.kind == BreakKind::bridged) {
      bridgeGap(j.advance, j.extra + 1);
    } else if (j.kind == BreakKind::rollover) {
      // The roll-over between neighbouring packets moves the index on by the
      // counters' forward distance: one interrupt where the messages on both
      // sides of it arrived, more where damage took some of them.
      bridge = j.forward;
      timing.rolloverInterrupts += cycle;
      ++clock.plainRollovers;
    } else {
      if (packet.checkRollover) {
        console.out(kNotARollover);
        console.out(kExiting);
        console.out(kIgnoreRolloverHint);
        throw FatalError(exit_status::kRolloverBreak);
      }
      timing.rolloverInterrupts += clock.prevTimeCounter * m + clock.prevInterruptCounter + 1;
      ++clock.plainRollovers;
    }
  } else if (!firstOfFile) {
    // Counters that moved forward by less than a whole cycle behind the
    // timestamps (a gap of more than 2560 s) are given the cycles they lost.
    const int64_t extra = cyclesToAdd(timeElapsed, wallInterrupts, cycle);
    if (extra > 0 && std::llabs(timeElapsed + extra * cycle - wallInterrupts) <= m)
      bridgeGap(timeElapsed + extra * cycle, extra);
  }

  clock.prevTimeCounter = ts;
  clock.prevInterruptCounter = ic;

  const int64_t position = (static_cast<int64_t>(ts) + 1) * m + ic + 1;
  if (!clock.started) clock.indexOffset = -position;  // first packet of the pass: index 0
  clock.timeIndex = position + clock.indexOffset;

  if (bridge >= 0) {
    clock.indexOffset = clock.prevTimeIndex + bridge - position;
  } else if (clock.prevTimeIndex != -1 && clock.prevTimeIndex > clock.timeIndex) {
    // A step back in time moves the index on by exactly one interrupt, and
    // later packets count on from there.
    clock.indexOffset = clock.prevTimeIndex - position + 1;
  } else if (firstOfFile && clock.started) {
    // The first packet of a later file: as many whole roll-overs on as the
    // pause since the board's last packet calls for, and never behind it.
    const int64_t counted = clock.timeIndex - clock.lastTimeIndex;
    int64_t extra = cyclesToAdd(counted, wallInterrupts, cycle);
    if (counted + extra * cycle < 0) extra = floorDiv(-counted + cycle - 1, cycle);
    if (extra > 0) {
      clock.indexOffset += extra * cycle;
      clock.bridgedRollovers += extra;
      console.out(kBridgedPause, packet.fileName, packet.boardLabel, extra, extra * cycle);
    }
  }
  clock.timeIndex = position + clock.indexOffset;
  clock.prevTimeIndex = clock.timeIndex;
  clock.started = true;
  clock.lastTimeIndex = clock.timeIndex;
  clock.lastWallMs = packet.wallMs;
}
