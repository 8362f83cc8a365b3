// Writes the files of a planned recording. Each file gets a PELG header with
// its start time and the boards' schedules, then the packets of its
// interrupts in time order: TIV sensor messages, HUX2 sensor messages, HUX2
// audio messages and SiRF receiver packets.
//
// Sampling: a channel of rate r (tenths of a hertz) on a board of interrupt
// rate M has delivered floor(r * (t + 1) / M) readings by the end of interrupt
// t, so a reading is taken at each interrupt where that number steps up and
// the converter finds exactly the sample totals the schedule implies.
// Microphone samples are collected and sent once an interrupt more would
// overflow the 63 samples of an audio message. At the first interrupt of the
// recording and on both sides of each of its time-counter roll-overs each
// board sends a message (an empty sensor message when nothing else is due),
// so that the converter's time line starts at the recording's first interrupt
// and a roll-over while packets are written is seen as an exact step from
// (255, M - 1) to (0, 0). A roll-over in a gap or a pause is seen as a jump.
//
// Packet timestamps are the logger's milliseconds since the file's start, as
// its clock (LoggerClock) stamps them. Packets are
// encoded into one large buffer that is written out in blocks; the per-packet
// path allocates nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pelgsim/sim_options.h"
#include "pelgsim/timeline.h"

namespace pelgsim {

struct WriteSummary {
  std::vector<std::string> paths;
  uint64_t bytes = 0;
  uint64_t packets = 0;
  uint64_t audioSamples = 0;
  int rollovers = 0;
  int gaps = 0;
  int strayRuns = 0;
  int badChecksums = 0;
  bool cut = false;
};

// Writes every file of the plan; throws std::runtime_error when a file cannot
// be created or written.
WriteSummary writeRecording(const SimOptions& options, const Timeline& timeline);

}  // namespace pelgsim
