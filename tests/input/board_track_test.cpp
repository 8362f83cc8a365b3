#include "input/board_track.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// "At or behind by at most one step", by its definition: the counters' step
// back from the track, counted forward around the cycle of 256 x M, is at
// most M. Swept over counters within the cycle and counters that damage put
// outside it (interrupt counters of M and more, far beyond a cycle).
TEST(BoardTrack, AtOrBehindIsTheStepBackAroundTheCycle) {
  constexpr int32_t m = 1000;
  constexpr int64_t cycle = 256 * m;
  const int32_t timeCounters[] = {0, 1, 127, 254, 255};
  const int32_t interruptCounters[] = {0, 1, 5, m - 1, m, 2 * m + 7, 65535};
  int64_t checked = 0;
  for (const int32_t trackTs : timeCounters) {
    for (const int32_t trackIc : interruptCounters) {
      BoardTrack track;
      resetBoardTrack(track, m);
      followBoardTrack(track, trackTs, trackIc, 0);
      for (const int32_t ts : timeCounters) {
        for (const int32_t ic : interruptCounters) {
          const int64_t back = ((track.counter - (int64_t{ts} * m + ic)) % cycle + cycle) % cycle;
          EXPECT_EQ(atOrBehindBoardTrack(track, ts, ic), back <= m)
              << "track " << trackTs << "/" << trackIc << ", packet " << ts << "/" << ic;
          ++checked;
        }
      }
    }
  }
  EXPECT_EQ(checked, 35 * 35);
  // Nothing to judge by before a packet was taken in.
  BoardTrack unknown;
  resetBoardTrack(unknown, m);
  EXPECT_FALSE(atOrBehindBoardTrack(unknown, 0, 0));
}

}  // namespace
