// The sensor channels of the two boards. A channel's index is the same in the
// decoders, the packet pass, the counters, the summary and the outputs.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int kHuxChannelCount = 14;
inline constexpr int kTivChannelCount = 9;

enum HuxChannel : int {
  kHuxAudio = 0,
  kHuxBarPress = 1,
  kHuxCompass = 2,
  kHuxHfVisLight = 3,
  kHuxHumidity = 4,
  kHuxIrLight = 5,
  kHuxAmbLight = 6,
  kHuxTemp = 7,
  kHuxTempSensiron = 8,
  kHuxVisLight = 9,
  kHuxXAccel = 10,
  kHuxYAccel = 11,
  kHuxZAccel = 12,
  kHuxMagAccel = 13,
};

enum TivChannel : int {
  kTivXGyro = 0,
  kTivYGyro = 1,
  kTivZGyro = 2,
  kTivXGyroTemp = 3,
  kTivYGyroTemp = 4,
  kTivZGyroTemp = 5,
  kTivXMag = 6,
  kTivYMag = 7,
  kTivZMag = 8,
};

inline constexpr std::array<const char*, kHuxChannelCount> kHuxChannelLabels = {
    "hux/audio",      "hux/bar_press",     "hux/compass",  "hux/hf_vis_light", "hux/humidity",
    "hux/ir_light",   "hux/amb_light",     "hux/temp",     "hux/temp_sensiron", "hux/vis_light",
    "hux/x_accel",    "hux/y_accel",       "hux/z_accel",  "hux/mag_accel"};

inline constexpr std::array<const char*, kTivChannelCount> kTivChannelLabels = {
    "tiv/x_gyro",     "tiv/y_gyro",     "tiv/z_gyro", "tiv/x_gyroTemp", "tiv/y_gyroTemp",
    "tiv/z_gyroTemp", "tiv/x_mag",      "tiv/y_mag",  "tiv/z_mag"};

// Per-channel sample rates, in tenths of a hertz.
using HuxRates = std::array<int32_t, kHuxChannelCount>;
using TivRates = std::array<int32_t, kTivChannelCount>;

// Per-channel sample counts over a whole recording: a week of audio passes 2^31.
using HuxCounts = std::array<int64_t, kHuxChannelCount>;
using TivCounts = std::array<int64_t, kTivChannelCount>;
