#include "recording_groups.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>

#include "driver/header_checks.h"
#include "driver/start_order.h"

namespace {

// Whether the converter accepts `next` after the files of the recording, as
// the next file of its sequence; tally becomes the TIV tally with it.
bool continues(const Recording& recording, const std::vector<FileScan>& scans, const FileScan& next,
               int32_t maxGap_sec, int32_t& tally) {
  const FileScan& first = scans[recording.files.front()];
  const FileScan& last = scans[recording.files.back()];
  tally = recording.tivFileTally;
  if (!advanceTivTally(tally, next.carriesTiv)) return false;
  // The record as validation fills it at this position of the sequence.
  InputFileInfo record;
  fillInputFileInfo(record, next.header, 0, tally);
  if (firstDifference(next.header, referenceOf(first.header), record, first.record, tally) !=
      HeaderDifference::none)
    return false;
  return !startGapTooLarge(last.record.startTime, next.record.startTime, maxGap_sec);
}

}  // namespace

std::string recordingName(int32_t huxSerial, uint64_t startTimeMs) {
  const std::time_t seconds = static_cast<std::time_t>(startTimeMs / 1000);
  std::tm utc{};
  char when[32] = "unknown";
  if (gmtime_r(&seconds, &utc) != nullptr) std::strftime(when, sizeof when, "%Y%m%dT%H%M%SZ", &utc);
  char name[64];
  std::snprintf(name, sizeof name, "0x%04X_%s", static_cast<unsigned>(huxSerial), when);
  return name;
}

std::vector<Recording> groupIntoRecordings(const std::vector<FileScan>& scans, int32_t maxGap_sec) {
  std::vector<size_t> order;
  for (size_t i = 0; i < scans.size(); ++i)
    if (scans[i].usable()) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (scans[a].record.startTime != scans[b].record.startTime)
      return scans[a].record.startTime < scans[b].record.startTime;
    return scans[a].path < scans[b].path;
  });

  std::vector<Recording> recordings;
  for (size_t index : order) {
    const FileScan& scan = scans[index];
    bool placed = false;
    // The most recently started recordings first: a device's next file
    // continues its latest recording.
    for (size_t r = recordings.size(); r-- > 0 && !placed;) {
      int32_t tally = 0;
      if (continues(recordings[r], scans, scan, maxGap_sec, tally)) {
        recordings[r].files.push_back(index);
        recordings[r].tivFileTally = tally;
        placed = true;
      }
    }
    if (placed) continue;
    Recording recording;
    recording.files.push_back(index);
    advanceTivTally(recording.tivFileTally, scan.carriesTiv);
    recordings.push_back(recording);
  }

  std::map<std::string, int> seen;
  for (Recording& recording : recordings) {
    const FileScan& first = scans[recording.files.front()];
    std::string name = recordingName(first.record.huxBoardNumber, first.record.startTime);
    const int count = ++seen[name];
    if (count > 1) name += "_" + std::to_string(count);
    recording.name = name;
  }
  return recordings;
}
