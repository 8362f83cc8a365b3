// Packets per second through nextPacket: a recording of HUX2 audio and sensor
// packets and TIV sensor packets in a temporary file, read from the start in
// every iteration as the packet pass reads it (statuses and sample buffers
// cleared before each packet).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/console.h"
#include "input/console_damage_reporter.h"
#include "input/file_header.h"
#include "input/input_file.h"
#include "input/packet_reader.h"
#include "pelg_builder/pelg_builder.h"

namespace {

constexpr int kPacketCount = 200000;

// A temporary recording: per interrupt step two audio packets of 63 samples,
// and every fourth step a HUX2 sensor packet and a TIV sensor packet.
class BenchRecording {
 public:
  BenchRecording() {
    char pattern[] = "/tmp/pelg_bench_XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    path_ = pattern;

    pelgbuild::PelgBuilder builder(pelgbuild::standardHeader(1700000000000ULL, {}, pelgbuild::TivSchedule{}));
    std::vector<int16_t> audio(63);
    pelgbuild::HuxReadings sensor;
    sensor.accel = std::array<int16_t, 3>{100, -200, 1000};
    sensor.compass = 1234;
    sensor.visLight = 40;
    sensor.irLight = 20;
    pelgbuild::TivReadings tiv;
    tiv.gyro = std::array<int16_t, 6>{1, -2, 3, 400, 410, 420};
    tiv.magX = 5;
    tiv.magY = -6;
    tiv.magZ = 7;
    uint32_t timestamp = 0;
    uint16_t interrupt = 0;
    for (int i = 0; i < kPacketCount; ++i) {
      timestamp += 8;
      const uint8_t timeCounter = static_cast<uint8_t>(i);
      interrupt = static_cast<uint16_t>((interrupt + 1) % 5120);
      for (size_t s = 0; s < audio.size(); ++s) audio[s] = static_cast<int16_t>((i * 63 + s) * 37);
      switch (i % 5) {
        case 3: builder.packet(pelgbuild::kHuxId, timestamp, pelgbuild::huxSensor(timeCounter, interrupt, sensor)); break;
        case 4: builder.packet(pelgbuild::kTivId, timestamp, pelgbuild::tivSensor(timeCounter, interrupt, tiv)); break;
        default: builder.packet(pelgbuild::kHuxId, timestamp, pelgbuild::huxAudio(timeCounter, interrupt, audio));
      }
    }
    builder.writeTo(path_);
    bytes_ = builder.size();
  }
  ~BenchRecording() { std::remove(path_.c_str()); }

  const std::string& path() const { return path_; }
  size_t bytes() const { return bytes_; }

 private:
  std::string path_;
  size_t bytes_ = 0;
};

const BenchRecording& recording() {
  static const BenchRecording instance;
  return instance;
}

void BM_NextPacket(benchmark::State& state) {
  const BenchRecording& data = recording();
  FILE* sink = std::fopen("/dev/null", "w");
  Console console(sink, sink);
  InputFile file;
  auto reader = std::make_unique<PacketReader>();
  ConsoleDamageReporter damage(console);
  int64_t packets = 0;
  for (auto _ : state) {
    file.stream = std::fopen(data.path().c_str(), "rb");
    if (!file.stream || !readHeader(file.header, file.stream)) {
      state.SkipWithError("cannot read the recording");
      break;
    }
    extractHuxInfo(file.header);
    initPacketReader(*reader, console, damage);
    bindPacketReader(*reader, file, static_cast<int32_t>(state.range(0)));
    reader->huxEnabled.fill(true);
    reader->huxEnabled[kHuxMagAccel] = false;
    reader->tivEnabled.fill(true);
    const BaroCoefficients& baro = file.header.baro;
    reader->huxCalibration.C1 = baro.C1;
    reader->huxCalibration.C2 = baro.C2;
    reader->huxCalibration.C3 = baro.C3;
    reader->huxCalibration.C4 = baro.C4;
    reader->huxCalibration.C5 = baro.C5;
    reader->huxCalibration.C6 = baro.C6;
    reader->huxCalibration.interruptLimit = 5120;
    reader->tivInterruptLimit = 5120;
    while (reader->active) {
      reader->huxStatus.status = kDecodeNone;
      reader->tivStatus.status = kDecodeNone;
      reader->huxSamples.clear();
      reader->tivSamples.clear();
      if (nextPacket(*reader) == 1) ++packets;
    }
    benchmark::DoNotOptimize(reader->huxSamples.counts);
    closePacketReader(*reader);
    std::fclose(file.stream);
    file.stream = nullptr;
  }
  std::fclose(sink);
  state.SetItemsProcessed(packets);
  // Seconds per packet (the inverse of the packet rate), shown as ns.
  state.counters["per_packet"] =
      benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.bytes()));
}
BENCHMARK(BM_NextPacket)->Arg(204800)->Arg(4106)->Unit(benchmark::kMillisecond);

}  // namespace
