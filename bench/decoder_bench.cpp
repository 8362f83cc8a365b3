// Cost of decoding one board message, as the packet pass pays it for every
// packet: a full audio message, the largest HUX2 sensor message, the largest
// TIV sensor message, and a rejected message (bad checksum).
#include <benchmark/benchmark.h>

#include "decoders/hux2_decoder.h"
#include "decoders/tiv_decoder.h"
#include "pelg_builder/pelg_builder.h"

namespace {

HuxCalibrationState benchCalibration() {
  HuxCalibrationState c;
  c.C1 = 23673;
  c.C2 = 1574;
  c.C3 = 786;
  c.C4 = 756;
  c.C5 = 617;
  c.C6 = 11;
  c.interruptLimit = 5120;
  return c;
}

// One message per iteration: the time column is the cost per packet; the
// counters give bytes and decoded samples per second.
void reportRates(benchmark::State& state, uint32_t length, int64_t readings) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * length);
  state.counters["samples/s"] = benchmark::Counter(static_cast<double>(readings), benchmark::Counter::kIsRate);
}

void runHux(benchmark::State& state, const pelgbuild::Bytes& message) {
  HuxStatus status;
  HuxSamples samples;
  HuxCalibrationState calibration = benchCalibration();
  HuxEnables enabled;
  enabled.fill(true);
  const auto length = static_cast<uint32_t>(message.size());
  int64_t readings = 0;
  for (auto _ : state) {
    decodeHux2(status, message.data(), length, samples, calibration, enabled);
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(samples);
    for (const int32_t count : samples.counts) readings += count;
    samples.clear();
  }
  reportRates(state, length, readings);
}

void BM_Hux2Audio63(benchmark::State& state) {
  std::vector<int16_t> audio(63);
  for (size_t i = 0; i < audio.size(); ++i) audio[i] = static_cast<int16_t>(i * 517 - 16000);
  runHux(state, pelgbuild::huxAudio(1, 100, audio));
}
BENCHMARK(BM_Hux2Audio63);

void BM_Hux2SensorAllReadings(benchmark::State& state) {
  const pelgbuild::HuxReadings readings{std::array<int16_t, 3>{1000, -2000, 3000},
                                        std::pair<uint8_t, uint16_t>{128, 1000},
                                        26000,
                                        17000,
                                        123,
                                        0x23,
                                        0x15,
                                        7513,
                                        1500};
  runHux(state, pelgbuild::huxSensor(1, 100, readings));
}
BENCHMARK(BM_Hux2SensorAllReadings);

void BM_Hux2Rejected(benchmark::State& state) {
  std::vector<int16_t> audio(63);
  pelgbuild::Bytes message = pelgbuild::huxAudio(1, 100, audio);
  pelgbuild::corruptChecksum(message);
  runHux(state, message);
}
BENCHMARK(BM_Hux2Rejected);

void BM_TivSensorAllReadings(benchmark::State& state) {
  const pelgbuild::Bytes message = pelgbuild::tivSensor(
      1, 100, pelgbuild::TivReadings{std::array<int16_t, 6>{-5, 0, 32767, 0, 110, -1}, -300, 1234, -1});
  TivStatus status;
  TivSamples samples;
  TivEnables enabled;
  enabled.fill(true);
  const auto length = static_cast<uint32_t>(message.size());
  int64_t readings = 0;
  for (auto _ : state) {
    decodeTiv(status, message.data(), length, samples, 5120, enabled);
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(samples);
    for (const int32_t count : samples.counts) readings += count;
    samples.clear();
  }
  reportRates(state, length, readings);
}
BENCHMARK(BM_TivSensorAllReadings);

}  // namespace
