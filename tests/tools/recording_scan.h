// Reads a PELG file back for the simulator's tests: frames the packets the way
// the converter does (stray bytes are stepped over one at a time), checks each
// board message's checksum, counts the readings per sensor and follows both
// boards' time and interrupt counters.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace simtest {

// Counter steps of one board between its consecutive good messages.
struct BoardSteps {
  int64_t messages = 0;
  int firstTimeCounter = -1, firstInterruptCounter = -1;
  int lastTimeCounter = -1, lastInterruptCounter = -1;
  int64_t span = 0;         // interrupts from the first to the last message, a roll-over counting 1
  int rollovers = 0;        // steps from (255, M - 1) to (0, 0)
  int backwardSteps = 0;    // any other step back in time
  int longSteps = 0;        // steps of more than one second (gaps)
  int64_t longestStep = 0;  // interrupts
};

struct RecordingScan {
  uint64_t startMs = 0;
  int32_t interruptRate = 0;
  int32_t tivInterruptRate = 0;
  bool hasTiv = false;
  int64_t packets = 0;
  int strayRuns = 0;
  int64_t strayBytes = 0;
  int badChecksums = 0;
  bool cutShort = false;  // the file ends inside a packet
  uint32_t firstTimestamp = 0;
  uint32_t lastTimestamp = 0;
  uint32_t largestTimestampStep = 0;
  bool timestampsMonotonic = true;
  int sirfPackets = 0;
  // Readings per sensor: "audio" (samples), "accel", "hf_light", "baro_temp",
  // "baro_press", "compass", "vis_light", "ir_light", "sht_temp", "humidity",
  // "gyro", "mag".
  std::map<std::string, int64_t> readings;
  BoardSteps hux, tiv;
};

RecordingScan scanRecording(const std::string& path);

}  // namespace simtest
