// Plausible sensor signals of a person wearing the platform: a tone with noise
// on the microphone whose loudness drifts, gravity plus walking bouts on the
// accelerometer, slowly varying weather (pressure, temperature, humidity), a
// heading that wanders, daylight and room light, and a GPS fix near a fixed
// place. Each reading is produced in the raw form the boards send (barometer
// D1/D2 words that compensate to the wanted pressure and temperature with the
// header's calibration words, humidity-sensor ticks, light-sensor codes).
//
// Slow quantities are functions of time alone; sample noise comes from one
// sequential generator, so the readings depend on the seed and on the order of
// the calls, which the recording writer keeps fixed.
#pragma once

#include <array>
#include <cstdint>
#include <utility>

#include "pelg_builder/pelg_builder.h"
#include "pelgsim/random.h"

namespace pelgsim {

// The barometer coefficients C1..C6 that the converter derives from the four
// calibration words of the HUX2 header.
struct BaroCalibration {
  int32_t c1 = 0, c2 = 0, c3 = 0, c4 = 0, c5 = 0, c6 = 0;
};
BaroCalibration baroCalibration(const pelgbuild::HuxSchedule& schedule);

// The light-sensor byte (exponent in bits 4-6, step in bits 0-3) whose value
// 16.5 * (2^E - 1) + 10 * S * 2^E comes nearest to `value`.
uint8_t lightCode(double value);

class SignalModel {
 public:
  SignalModel(uint64_t seed, uint64_t startMs, int32_t micHz, double toneHz,
              const pelgbuild::HuxSchedule& hux);

  // Microphone: the next n samples of the stream, heard around time `seconds`.
  void audio(int16_t* out, size_t n, double seconds);
  // Microphone samples that fall into a gap: the tone runs on unheard.
  void skipAudio(uint64_t n);

  // HUX2 readings at `seconds` after the start of the recording.
  std::array<int16_t, 3> accel(double seconds);
  uint16_t baroTemperatureWord(double seconds);  // D2
  uint16_t baroPressureWord(double seconds);     // D1, compensated with the D2 of the same time
  uint16_t compass(double seconds);
  std::pair<uint8_t, uint16_t> hfLight(double seconds);  // gain, count
  uint8_t visLight(double seconds);
  uint8_t irLight(double seconds);
  uint16_t humidityTemperatureWord(double seconds);
  uint16_t humidityWord(double seconds);

  // TIV readings: gyroscope X, Y, Z then their temperatures; magnetometer.
  std::array<int16_t, 6> gyro(double seconds);
  std::array<int16_t, 3> mag(double seconds);

  // One SiRF binary frame (navigation data, message 2) as the receiver sends it.
  void sirfFrame(pelgbuild::Bytes& out, double seconds);

 private:
  double activity(double seconds) const;  // 0 sitting still .. 1 walking briskly
  double headingRadians(double seconds) const;
  double airTemperature(double seconds) const;  // degrees Celsius
  double skinTemperature(double seconds) const;
  double pressureMbar(double seconds) const;
  double relativeHumidity(double seconds) const;
  double lux(double seconds) const;
  int32_t baroDeltaT(double seconds) const;

  uint64_t startMs_;
  BaroCalibration baro_;
  Rng rng_;
  SmoothNoise activity_, pitch_, roll_, heading_, weather_, pressureDrift_, warmth_, humidity_,
      outdoors_, walkPhase_, loudness_, position_;
  // Microphone tone: a phase accumulator over a sine table.
  uint32_t phase_ = 0;
  uint32_t phaseStep_ = 0;
  std::array<int16_t, 4096> sine_{};
};

}  // namespace pelgsim
