// Grouping PELG files into recordings by the converter's validation rules:
// the files of a recording have the first file's calibration, schedules and
// board serial numbers, no TIV data after a file without it, and consecutive
// start times at most maxGap_sec apart. Every group is a sequence that
// pelgToMatlab accepts as named, in start order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_scan.h"

struct Recording {
  std::vector<size_t> files;  // indexes into the scans, in start order
  std::string name;           // board serial and start, e.g. 0x1234_20240314T090000Z
  int32_t tivFileTally = 0;   // as validation would leave it after the group's files
};

// Groups the usable scans (files that belong to no recording are left out).
// Each file, in start order (ties by path), joins the latest recording that
// the converter would let it continue, or starts one. Names are unique: a
// repeated name gets "_2", "_3", ...
std::vector<Recording> groupIntoRecordings(const std::vector<FileScan>& scans, int32_t maxGap_sec);

// "0x%04X_YYYYMMDDTHHMMSSZ" of a board serial and a start time (ms, UTC).
std::string recordingName(int32_t huxSerial, uint64_t startTimeMs);
