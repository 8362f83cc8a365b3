// A duration in seconds shown as hours, minutes and seconds.
#pragma once

#include <cmath>

struct DurationSplit {
  double hours = 0;
  double mins = 0;
  double secs = 0;
};

// Whole hours, whole minutes of the rest, and the seconds that remain.
inline DurationSplit splitDuration(double seconds) {
  DurationSplit split;
  split.hours = std::floor(seconds / 60 / 60);
  split.mins = std::floor((seconds - split.hours * 60 * 60) / 60);
  split.secs = seconds - (split.mins * 60 + split.hours * 60 * 60);
  return split;
}
