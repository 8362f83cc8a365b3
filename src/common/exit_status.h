// The exit statuses of a run, by name. Every FatalError carries one of these;
// main returns it, and scripts read it (the README lists them). Several
// causes share a number: the names keep the causes apart in the code.
#pragma once

namespace exit_status {

inline constexpr int kSuccess = 0;
inline constexpr int kUsage = -1;               // no input file named
inline constexpr int kTimestampRunEnd = -1;     // a timestamp-mode run ends, or timestamps.txt cannot be created
inline constexpr int kTooManyRows = -1;         // a channel would need more rows than an array holds
inline constexpr int kBlacklistFailed = -2;     // the blacklist cannot be opened
inline constexpr int kBadArgument = -3;         // unrecognised option or unusable value
inline constexpr int kTooManyFiles = -4;        // more than kMaxInputFiles names
inline constexpr int kOutputFailed = -8;        // an output cannot be created, written, closed or renamed
inline constexpr int kCannotReopen = -8;        // an input cannot be opened again for a pass
inline constexpr int kPassNoPelgHeader = -9;    // the packet pass finds no PELG v2 header
inline constexpr int kCannotOpen = -10;         // an input cannot be opened
inline constexpr int kTivAfterNoTiv = -10;      // TIV data after a file without it
inline constexpr int kPassNoInfoData = -10;     // the packet pass finds no calibration/info data
inline constexpr int kNoPelgHeader = -11;
inline constexpr int kRolloverBreak = -11;      // a time-counter break that is no 255 -> 0 roll-over
inline constexpr int kNoInfoData = -12;
inline constexpr int kBadInterruptRate = -12;
inline constexpr int kRateOutOfRange = -12;     // a header rate the platform cannot produce
inline constexpr int kCalibrationDiffers = -13;
inline constexpr int kScheduleDiffers = -14;
inline constexpr int kSerialDiffers = -15;
inline constexpr int kGapTooLarge = -16;
inline constexpr int kSameFile = -17;           // one file named twice
inline constexpr int kClockRunsAhead = -17;     // the board clocks claim far more time than the files cover

}  // namespace exit_status
