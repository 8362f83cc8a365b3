// Exit statuses that the run driver itself ends a run with. The packet pass
// and the output writers end runs with statuses of their own.
#pragma once

namespace driver_status {

inline constexpr int kSuccess = 0;
inline constexpr int kUsage = -1;           // no input file named
inline constexpr int kBadArgument = -3;     // unrecognised option or unusable value
inline constexpr int kTooManyFiles = -4;    // more than kMaxInputFiles names
inline constexpr int kCannotOpen = -10;     // an input cannot be opened
inline constexpr int kTivAfterNoTiv = -10;  // TIV data after a file without it
inline constexpr int kNoPelgHeader = -11;
inline constexpr int kNoInfoData = -12;
inline constexpr int kBadInterruptRate = -12;
inline constexpr int kRateOutOfRange = -12;   // a header rate the platform cannot produce
inline constexpr int kCalibrationDiffers = -13;
inline constexpr int kScheduleDiffers = -14;
inline constexpr int kSerialDiffers = -15;
inline constexpr int kGapTooLarge = -16;
inline constexpr int kSameFile = -17;         // one file named twice
inline constexpr int kClockRunsAhead = -17;  // the board clocks claim far more time than the files cover

}  // namespace driver_status
