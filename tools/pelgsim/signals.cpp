#include "pelgsim/signals.h"

#include <algorithm>
#include <cmath>

namespace pelgsim {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kOneG = 16383.0;  // accelerometer counts per g

int16_t clamp16(double v) {
  return static_cast<int16_t>(std::lround(std::clamp(v, -32768.0, 32767.0)));
}
uint16_t clampU16(double v) {
  return static_cast<uint16_t>(std::lround(std::clamp(v, 0.0, 65535.0)));
}
void putBigEndian(pelgbuild::Bytes& out, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}

}  // namespace

BaroCalibration baroCalibration(const pelgbuild::HuxSchedule& s) {
  const auto w1 = static_cast<uint32_t>(s.word1) & 0xFFFF, w2 = static_cast<uint32_t>(s.word2) & 0xFFFF,
             w3 = static_cast<uint32_t>(s.word3) & 0xFFFF, w4 = static_cast<uint32_t>(s.word4) & 0xFFFF;
  BaroCalibration c;
  c.c1 = static_cast<int32_t>(w1 >> 1);
  c.c2 = static_cast<int32_t>(((w3 & 0x3F) << 6) | (w4 & 0x3F));
  c.c3 = static_cast<int32_t>(w4 >> 6);
  c.c4 = static_cast<int32_t>(w3 >> 6);
  c.c5 = static_cast<int32_t>(((w1 & 1) << 10) | (w2 >> 6));
  c.c6 = static_cast<int32_t>(w2 & 0x3F);
  return c;
}

uint8_t lightCode(double value) {
  uint8_t best = 0;
  double bestError = 1e300;
  for (int e = 0; e < 8; ++e)
    for (int s = 0; s < 16; ++s) {
      const double v = 16.5 * ((1 << e) - 1) + 10.0 * s * (1 << e);
      const double error = std::fabs(v - value);
      if (error < bestError) {
        bestError = error;
        best = static_cast<uint8_t>((e << 4) | s);
      }
    }
  return best;
}

SignalModel::SignalModel(uint64_t seed, uint64_t startMs, int32_t micHz, double toneHz,
                         const pelgbuild::HuxSchedule& hux)
    : startMs_(startMs),
      baro_(baroCalibration(hux)),
      rng_(mix64(seed ^ 0x5349'474E'414Cull)),
      activity_(mix64(seed + 1), 47.0),
      pitch_(mix64(seed + 2), 310.0),
      roll_(mix64(seed + 3), 430.0),
      heading_(mix64(seed + 4), 95.0),
      weather_(mix64(seed + 5), 4 * 3600.0),
      pressureDrift_(mix64(seed + 6), 900.0),
      warmth_(mix64(seed + 7), 2400.0),
      humidity_(mix64(seed + 8), 1800.0),
      outdoors_(mix64(seed + 9), 600.0),
      walkPhase_(mix64(seed + 10), 13.0),
      loudness_(mix64(seed + 11), 75.0),
      position_(mix64(seed + 12), 300.0) {
  for (size_t i = 0; i < sine_.size(); ++i)
    sine_[i] = static_cast<int16_t>(std::lround(32767.0 * std::sin(2.0 * kPi * static_cast<double>(i) / 4096.0)));
  if (micHz > 0) phaseStep_ = static_cast<uint32_t>(std::llround(toneHz / micHz * 4294967296.0) & 0xFFFFFFFF);
}

double SignalModel::activity(double t) const {
  return std::clamp(activity_.at(t) * 1.6 - 0.1, 0.0, 1.0);
}

double SignalModel::headingRadians(double t) const {
  return kPi * (1.0 + 0.9 * heading_.at(t)) + 0.3 * pitch_.at(t * 3.0);
}

double SignalModel::airTemperature(double t) const {
  const double hourOfDay = std::fmod(static_cast<double>(startMs_) / 3.6e6 + t / 3600.0, 24.0);
  return 21.5 + 1.5 * std::sin(2.0 * kPi * (hourOfDay - 9.0) / 24.0) + 1.2 * warmth_.at(t);
}

double SignalModel::skinTemperature(double t) const {
  return 0.4 * airTemperature(t) + 0.6 * 32.5 + 0.5 * activity(t);
}

double SignalModel::pressureMbar(double t) const {
  // Weather over hours, drift over minutes, a little height change while walking.
  return 1013.0 + 6.0 * weather_.at(t) + 0.6 * pressureDrift_.at(t) - 0.25 * activity(t) * walkPhase_.at(t);
}

double SignalModel::relativeHumidity(double t) const { return 42.0 + 9.0 * humidity_.at(t); }

double SignalModel::lux(double t) const {
  const double hourOfDay = std::fmod(static_cast<double>(startMs_) / 3.6e6 + t / 3600.0, 24.0);
  const double daylight = std::max(0.0, std::sin(kPi * (hourOfDay - 6.0) / 12.0));
  const bool awake = hourOfDay >= 7.0 && hourOfDay < 23.0;
  const double room = awake ? 320.0 + 60.0 * warmth_.at(t * 7.0) : 2.0;
  const bool outside = outdoors_.at(t) > 0.45 && daylight > 0.05;
  return outside ? 2500.0 + 9000.0 * daylight * (0.8 + 0.2 * pressureDrift_.at(t * 5.0)) : room;
}

void SignalModel::audio(int16_t* out, size_t n, double t) {
  // Loudness drifts between a murmur and talking; louder while walking.
  const double amplitude = 900.0 + 2600.0 * (0.5 + 0.5 * loudness_.at(t)) + 1500.0 * activity(t);
  const double noise = 180.0 + 350.0 * activity(t);
  const auto gain = static_cast<int32_t>(amplitude);
  for (size_t i = 0; i < n; ++i) {
    const int32_t tone = (static_cast<int32_t>(sine_[phase_ >> 20]) * gain) >> 15;
    phase_ += phaseStep_;
    const int32_t v = tone + static_cast<int32_t>(noise * rng_.gauss());
    out[i] = static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767));
  }
}

void SignalModel::skipAudio(uint64_t n) { phase_ += static_cast<uint32_t>(n * phaseStep_); }

std::array<int16_t, 3> SignalModel::accel(double t) {
  const double a = activity(t);
  const double pitch = 0.35 * pitch_.at(t), roll = 0.25 * roll_.at(t);
  double x = std::sin(pitch), y = -std::sin(roll) * std::cos(pitch), z = std::cos(roll) * std::cos(pitch);
  const double step = 2.0 * kPi * (1.85 + 0.15 * walkPhase_.at(t)) * t;
  z += a * (0.32 * std::sin(step) + 0.09 * std::sin(2.0 * step + 0.7));
  x += a * 0.14 * std::sin(step + 1.1);
  y += a * 0.08 * std::sin(0.5 * step);
  const double noise = 0.008 + 0.02 * a;
  return {clamp16(kOneG * (x + noise * rng_.gauss())), clamp16(kOneG * (y + noise * rng_.gauss())),
          clamp16(kOneG * (z + noise * rng_.gauss()))};
}

int32_t SignalModel::baroDeltaT(double t) const {
  // Temperature in degrees = 20 + dT * (C6 + 50) / 10240.
  return static_cast<int32_t>(std::lround((airTemperature(t) - 20.0) * 10240.0 / (baro_.c6 + 50)));
}

uint16_t SignalModel::baroTemperatureWord(double t) {
  return clampU16(8 * baro_.c5 + 20224 + baroDeltaT(t) + std::lround(0.6 * rng_.gauss()));
}

uint16_t SignalModel::baroPressureWord(double t) {
  // Inverse of the compensation: pressure = X / 32 + 250 mbar with
  // X = (D1 - 7168) * SENS / 16384 - OFF.
  const int32_t dT = baroDeltaT(t);
  const double sens = static_cast<double>(baro_.c3 * dT) / 1024.0 + baro_.c1 + 24576.0;
  const double off = static_cast<double>((baro_.c4 - 512) * dT) / 4096.0 + 4.0 * baro_.c2;
  const double x = (pressureMbar(t) + 0.04 * rng_.gauss() - 250.0) * 32.0;
  return clampU16(7168.0 + (x + off) * 16384.0 / sens);
}

uint16_t SignalModel::compass(double t) {
  const double degrees = headingRadians(t) * 180.0 / kPi + 1.5 * rng_.gauss();
  double tenths = std::fmod(degrees * 10.0, 3600.0);
  if (tenths < 0) tenths += 3600.0;
  return static_cast<uint16_t>(static_cast<int>(tenths) % 3600);
}

std::pair<uint8_t, uint16_t> SignalModel::hfLight(double t) {
  // Value = count * (gain / 256 * 100100 / 499) / 65536; gain 128 gives about
  // 100 at full scale. Scaled so that bright daylight nears full scale.
  const double level = std::min(1.0, std::log10(1.0 + lux(t)) / 4.2);
  return {128, clampU16(level * 60000.0 * (1.0 + 0.01 * rng_.gauss()))};
}

uint8_t SignalModel::visLight(double t) { return lightCode(lux(t) * 1.6 * (1.0 + 0.02 * rng_.gauss())); }

uint8_t SignalModel::irLight(double t) { return lightCode(lux(t) * 0.35 * (1.0 + 0.02 * rng_.gauss())); }

uint16_t SignalModel::humidityTemperatureWord(double t) {
  // Degrees = 0.01 * ticks - 39.634.
  return clampU16((skinTemperature(t) + 39.634) * 100.0 + 3.0 * rng_.gauss());
}

uint16_t SignalModel::humidityWord(double t) {
  // Solves 0.0405 h - 4 - 0.0000028 h^2 = RH for the ticks h.
  const double rh = relativeHumidity(t) + 0.15 * rng_.gauss();
  const double disc = 0.0405 * 0.0405 - 4.0 * 0.0000028 * (4.0 + rh);
  return clampU16((0.0405 - std::sqrt(std::max(0.0, disc))) / (2.0 * 0.0000028));
}

std::array<int16_t, 6> SignalModel::gyro(double t) {
  const double a = activity(t);
  const double step = 2.0 * kPi * (1.85 + 0.15 * walkPhase_.at(t)) * t;
  // Board temperature: reading r means 298 + r / 110 kelvin.
  const double kelvin = skinTemperature(t) - 2.0 + 273.15;
  const double r = (kelvin - 298.0) * 110.0;
  return {clamp16(a * 1400.0 * std::sin(step + 0.4) + 12.0 * rng_.gauss()),
          clamp16(a * 900.0 * std::sin(0.5 * step) + 12.0 * rng_.gauss()),
          clamp16(a * 600.0 * std::sin(step + 2.0) + 180.0 * heading_.at(t * 4.0) + 12.0 * rng_.gauss()),
          clamp16(r + 4.0 * rng_.gauss()), clamp16(r + 25.0 + 4.0 * rng_.gauss()),
          clamp16(r - 18.0 + 4.0 * rng_.gauss())};
}

std::array<int16_t, 3> SignalModel::mag(double t) {
  const double h = headingRadians(t);
  return {clamp16(420.0 * std::cos(h) + 3.0 * rng_.gauss()), clamp16(-420.0 * std::sin(h) + 3.0 * rng_.gauss()),
          clamp16(-390.0 + 3.0 * rng_.gauss())};
}

void SignalModel::sirfFrame(pelgbuild::Bytes& out, double t) {
  // Near 47.3769 N, 8.5417 E, 410 m, wandering a few hundred metres.
  const double lat = (47.3769 + 0.002 * position_.at(t)) * kPi / 180.0;
  const double lon = (8.5417 + 0.003 * position_.at(t + 7777.0)) * kPi / 180.0;
  const double height = 410.0 + 3.0 * position_.at(t + 333.0);
  const double a = 6378137.0, e2 = 6.69437999014e-3;
  const double n = a / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
  const auto x = static_cast<int32_t>(std::lround((n + height) * std::cos(lat) * std::cos(lon)));
  const auto y = static_cast<int32_t>(std::lround((n + height) * std::cos(lat) * std::sin(lon)));
  const auto z = static_cast<int32_t>(std::lround((n * (1.0 - e2) + height) * std::sin(lat)));
  const double unixSeconds = static_cast<double>(startMs_) / 1000.0 + t;
  const double gpsSeconds = unixSeconds - 315964800.0 + 18.0;
  const auto week = static_cast<uint16_t>(static_cast<int64_t>(gpsSeconds / 604800.0) & 0x3FF);
  const auto tow = static_cast<uint32_t>(std::llround(std::fmod(gpsSeconds, 604800.0) * 100.0));

  pelgbuild::Bytes& p = out;
  p.push_back(0xA0);
  p.push_back(0xA2);
  putBigEndian(p, 41, 2);
  const size_t payload = p.size();
  p.push_back(0x02);  // measure navigation data
  putBigEndian(p, static_cast<uint32_t>(x), 4);
  putBigEndian(p, static_cast<uint32_t>(y), 4);
  putBigEndian(p, static_cast<uint32_t>(z), 4);
  const double speed = 1.4 * activity(t);
  putBigEndian(p, static_cast<uint16_t>(clamp16(8.0 * speed * std::cos(headingRadians(t)))), 2);
  putBigEndian(p, static_cast<uint16_t>(clamp16(8.0 * speed * std::sin(headingRadians(t)))), 2);
  putBigEndian(p, 0, 2);
  p.push_back(0x04);  // mode 1: 3-D fix
  p.push_back(static_cast<uint8_t>(5.0 * (1.1 + 0.3 * position_.at(t * 2.0))));  // HDOP * 5
  p.push_back(0x00);  // mode 2
  putBigEndian(p, week, 2);
  putBigEndian(p, tow, 4);
  const uint8_t satellites[12] = {3, 6, 9, 12, 17, 19, 22, 25, 28, 31, 0, 0};
  p.push_back(10);
  p.insert(p.end(), satellites, satellites + 12);
  uint32_t sum = 0;
  for (size_t i = payload; i < p.size(); ++i) sum += p[i];
  putBigEndian(p, sum & 0x7FFF, 2);
  p.push_back(0xB0);
  p.push_back(0xB3);
}

}  // namespace pelgsim
