// The reader's own view of one board's clock: the counters and the packet
// timestamp of the board's last packet that the reader took in. Every packet
// carries two clocks, the logger's millisecond timestamp and the board's
// counters; a real gap moves both together. A later packet of the board is on
// the time line when its counters advanced as far as the timestamps did
// (modulo the counters' 2560 s cycle), within a tolerance of two seconds plus
// one percent of the advance. A stale block of another recording left on the
// card carries counters that are not.
#pragma once

#include <cstdint>

struct BoardTrack {
  int32_t interruptsPerStep = 0;  // M: interrupts per step of the time counter
  bool known = false;             // a packet has been taken in since the file began
  int64_t counter = 0;            // its time counter x M + interrupt counter
  uint32_t timestamp = 0;         // its packet timestamp, ms
};

// What a board's counters say about a packet's timestamp: it agrees with
// them, it does not, or they cannot tell (no packet of the board taken in
// yet, or an advance so long that the tolerance spans much of the cycle, so
// that almost any counters would agree).
enum class TrackVerdict { cannotTell, on, off };

// Forgets the last packet; the board's M stays.
void resetBoardTrack(BoardTrack& track, int32_t interruptsPerStep);

// True when a packet of the board with these counters and timestamp lies on
// the time line of the board's last packet, or when there is none to judge by.
bool onBoardTrack(const BoardTrack& track, int32_t timeCounter, int32_t interruptCounter, uint32_t timestamp);

// The same judgement, saying when the counters cannot tell.
TrackVerdict judgeByBoardTrack(const BoardTrack& track, int32_t timeCounter, int32_t interruptCounter,
                               uint32_t timestamp);

// True when counters lie at the board's last packet's or behind them by at
// most one step of the time counter (a roll-over from 255 to 0 lies ahead).
bool atOrBehindBoardTrack(const BoardTrack& track, int32_t timeCounter, int32_t interruptCounter);

// Carries the board's last packet of the file before (`before`, whose file
// started `startShiftMs` earlier than this one) into the track of a new
// file, on the new file's timestamp axis, so that damage at the new file's
// start is judged by the time line too. A track of another M, or from a
// file started more than 24 days apart, is not carried.
void carryBoardTrack(BoardTrack& track, const BoardTrack& before, int64_t startShiftMs);

// Takes the packet in as the board's last one.
void followBoardTrack(BoardTrack& track, int32_t timeCounter, int32_t interruptCounter, uint32_t timestamp);
