// The output channels of the two MAT-files: which sensor source feeds each
// channel, its field name, and whether it has a time field of its own. The
// record order is the order of the fields in the file.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int kDataOutHuxChannels = 13;
inline constexpr int kDataOutChannels = 22;  // with TIV data
inline constexpr int kCompleteDataHuxChannels = 12;
inline constexpr int kCompleteDataChannels = 21;  // with TIV data

enum class Board { kHux, kTiv };

// dataOut: one double column per channel, each value with its packet's time.
struct DataOutEntry {
  const char* name;
  Board board;
  int32_t source;      // sample source on board; -1 when fed outside the per-source loop
  int32_t rowsSource;  // source whose sample total gives the rows
  bool ownTime;        // has a time array "%sTime"
};

inline constexpr int32_t kVisFreqLightGainRecord = 4;

extern const std::array<DataOutEntry, kDataOutChannels> kDataOutCatalogue;

// completeData: an owner channel has its arrays, mask, time and sample-rate
// fields; a column view writes column 2 or 3 of its owner's array.
struct CompleteDataEntry {
  const char* name;
  Board board;
  int32_t source;
  int32_t owner;   // record of the owner for a view, -1 for an owner
  int32_t column;  // 0-based column within the owner's array
  int32_t columns;  // owner: 1 or 3
};

extern const std::array<CompleteDataEntry, kCompleteDataChannels> kCompleteDataCatalogue;

// Records in creation order: each owner is followed by its views.
extern const std::array<int32_t, kCompleteDataHuxChannels> kCompleteDataHuxCreation;
extern const std::array<int32_t, kCompleteDataChannels - kCompleteDataHuxChannels>
    kCompleteDataTivCreation;

// The magnetometer records, which drop values beyond their rows.
inline constexpr int32_t kMagRecord = 14;
inline bool isMagnetometerRecord(int32_t record) {
  return record == kMagRecord || record == 19 || record == 20;
}
