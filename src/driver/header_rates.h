// The rates a file header may give: what the platform's boards can be
// scheduled to produce. Every count the run sizes from a header (samples,
// rows, the WAV length) grows with these rates, so a damaged or hostile header
// claiming, say, a 16 MHz light sensor must be refused before anything is
// sized from it, whether or not the header comparisons are enabled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/console.h"
#include "input/file_header.h"

inline constexpr int32_t kMaxInterruptRate = 1000000;   // tenths of a hertz
inline constexpr int32_t kMaxMicrophoneRate = 192000;   // hertz
inline constexpr int32_t kMaxChannelRate = 1000000;     // tenths of a hertz

// One header rate outside its limits.
struct RateFault {
  const char* tag = "";  // the header tag that gives the rate, as in the file ("mic ", "dals")
  int32_t value = 0;
  int32_t low = 0;
  int32_t high = 0;
};

// The first rate of the header outside its limits, in the order interrupt
// rate, microphone, accelerometer, high-frequency light, barometer, compass,
// light, humidity, then (when the file carries TIV data) the TIV interrupt
// rate, gyroscopes and magnetometer. Validation reports a non-positive
// interrupt rate before asking, with a message of its own.
std::optional<RateFault> firstRateOutOfRange(const HuxInfo& hux, const TivInfo* tiv);

// Ends the run (status -12) when a rate of the file's header is out of range,
// with "# ERROR: File %s, %s rate %d is out of range (allowed %d to %d)\n".
void refuseImplausibleRates(const FileHeader& header, bool carriesTiv, const std::string& name,
                            Console& console);
