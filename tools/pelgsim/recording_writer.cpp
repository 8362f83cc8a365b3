#include "pelgsim/recording_writer.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "common/board_counters.h"
#include "pelg_builder/pelg_builder.h"
#include "pelgsim/signals.h"

namespace pelgsim {
namespace {

using pelgbuild::Bytes;

constexpr size_t kFlushAt = 4u << 20;           // write the buffer out past 4 MiB
constexpr size_t kBufferCapacity = kFlushAt + (64u << 10);
constexpr size_t kMaxAudioPerMessage = 63;

// Readings of a channel of `rate` on a board of interrupt rate M: one at each
// interrupt where floor(rate * (t + 1) / M) steps up. Rates are at most M.
struct Cadence {
  int64_t rate = 0;
  int64_t accumulated = 0;

  bool tick(int64_t m) {
    accumulated += rate;
    if (accumulated < m) return false;
    accumulated -= m;
    return true;
  }
  void skip(int64_t interrupts, int64_t m) { accumulated = (accumulated + rate * interrupts) % m; }
};

// A board's clock: the 8-bit time counter and the interrupt counter below M.
struct BoardCounters {
  int64_t interrupt = 0;
  int64_t time = 0;

  void set(int64_t counter, int64_t m) {
    interrupt = board_counters::interruptCounterAt(counter, m);
    time = board_counters::timeCounterAt(counter, m);
  }
  void tick(int64_t m) {
    if (++interrupt < m) return;
    interrupt = 0;
    time = (time + 1) % board_counters::kTimeCounterSteps;
  }
  // On either side of a roll-over: (255, M - 1) or (0, 0).
  bool atRollover(int64_t m) const { return (time == board_counters::kLastTimeCounter && interrupt == m - 1) || (time == 0 && interrupt == 0); }
};

class Writer {
 public:
  Writer(const SimOptions& o, const Timeline& tl)
      : o_(o),
        tl_(tl),
        m_(tl.interruptRate),
        model_(o.seed, o.startMs, o.hux.mic_hz, o.toneHz, o.hux),
        strayRng_(mix64(o.seed ^ 0x5354'5241'59ull)) {
    buffer_.reserve(kBufferCapacity);
    message_.reserve(512);
    receiver_.reserve(256);
    gyro_.rate = o.tiv ? o.tivSchedule.gyro : 0;
    mag_.rate = o.tiv ? o.tivSchedule.magnetometer : 0;
    accel_.rate = o.hux.accelerometer_hz;
    hfLight_.rate = o.hux.amb_light_hz;
    baro_.rate = o.hux.barometer_hz;
    compass_.rate = o.hux.compass_hz;
    light_.rate = o.hux.dals_hz;
    humidity_.rate = o.hux.humidity_hz;
    sirf_.rate = o.sirf ? 10 : 0;  // 1 Hz
    micRate_ = static_cast<int64_t>(o.hux.mic_hz) * 10;
    maxAudioPerInterrupt_ = (micRate_ + m_ - 1) / m_;
  }

  WriteSummary run() {
    std::error_code ec;
    std::filesystem::create_directories(o_.outDir, ec);
    if (ec) throw std::runtime_error("cannot create folder " + o_.outDir + ": " + ec.message());
    int64_t t = 0;
    for (size_t k = 0; k < tl_.files.size(); ++k) {
      const FilePlan& f = tl_.files[k];
      skipInterrupts(f.begin - t);
      writeFile(k);
      t = f.end;
    }
    summary_.rollovers = tl_.rolloversInFiles();
    for (const FilePlan& f : tl_.files) summary_.gaps += static_cast<int>(f.gaps.size());
    if (o_.cutLast && !summary_.paths.empty() && lastPayloadLength_ >= 2) cutLastPacket();
    return summary_;
  }

 private:
  void writeFile(size_t k) {
    const FilePlan& f = tl_.files[k];
    char name[64];
    std::snprintf(name, sizeof name, "_%03zu.pelg", k + 1);
    const std::string path = (std::filesystem::path(o_.outDir) / (o_.stem + name)).string();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) throw std::runtime_error("cannot create " + path);
    summary_.paths.push_back(path);

    const Bytes header = pelgbuild::encodeHeader(pelgbuild::standardHeader(
        f.startMs, o_.hux, o_.tiv ? std::optional<pelgbuild::TivSchedule>(o_.tivSchedule) : std::nullopt));
    buffer_.insert(buffer_.end(), header.begin(), header.end());

    fileBegin_ = f.begin;
    size_t gap = 0;
    setClock(f.begin);
    for (int64_t t = f.begin; t < f.end;) {
      if (gap < f.gaps.size() && t == f.gaps[gap].begin) {
        skipInterrupts(f.gaps[gap].end - t);
        t = f.gaps[gap].end;
        ++gap;
        setClock(t);
        continue;
      }
      const int64_t nextBreak = gap < f.gaps.size() ? f.gaps[gap].begin : f.end;
      interrupt(t, t + 1 == nextBreak);
      ++t;
      hux_.tick(m_);
      tiv_.tick(m_);
      if (buffer_.size() >= kFlushAt) flush();
    }
    flush();
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!closed) throw std::runtime_error("cannot write " + path);
  }

  void setClock(int64_t t) {
    hux_.set(tl_.counterStart + t, m_);
    tiv_.set(tl_.tivCounterStart + t, m_);
  }

  // Everything the boards read during interrupt t.
  void interrupt(int64_t t, bool lastBeforeBreak) {
    const auto ts = static_cast<uint8_t>(hux_.time);
    const auto ic = static_cast<uint16_t>(hux_.interrupt);
    const bool edge = t == 0 || hux_.atRollover(m_);
    const double seconds = tl_.secondsAt(t);

    if (o_.tiv) {
      const bool gyro = gyro_.tick(m_), mag = mag_.tick(m_);
      if (gyro || mag || t == 0 || tiv_.atRollover(m_)) {
        pelgbuild::TivReadings r;
        if (gyro) r.gyro = model_.gyro(seconds);
        if (mag) {
          const auto v = model_.mag(seconds);
          r.magX = v[0];
          r.magY = v[1];
          r.magZ = v[2];
        }
        message_.clear();
        pelgbuild::appendTivSensor(message_, static_cast<uint8_t>(tiv_.time), static_cast<uint16_t>(tiv_.interrupt), r);
        emit(pelgbuild::kTivId, t);
      }
    }

    const bool accel = accel_.tick(m_), hf = hfLight_.tick(m_), baro = baro_.tick(m_),
               compass = compass_.tick(m_), light = light_.tick(m_), humidity = humidity_.tick(m_);
    audioAccumulated_ += micRate_;
    const int64_t fresh = audioAccumulated_ / m_;
    audioAccumulated_ -= fresh * m_;
    pendingAudio_ += static_cast<size_t>(fresh);
    const bool flushAudio =
        pendingAudio_ > 0 &&
        (pendingAudio_ + static_cast<size_t>(maxAudioPerInterrupt_) > kMaxAudioPerMessage || edge || lastBeforeBreak);

    if (accel || hf || baro || compass || light || humidity || (edge && !flushAudio)) {
      pelgbuild::HuxReadings r;
      if (accel) r.accel = model_.accel(seconds);
      if (hf) r.hfLight = model_.hfLight(seconds);
      if (baro) {
        r.baroTemp = model_.baroTemperatureWord(seconds);
        r.baroPressure = model_.baroPressureWord(seconds);
      }
      if (compass) r.compass = model_.compass(seconds);
      if (light) {
        r.visLight = model_.visLight(seconds);
        r.irLight = model_.irLight(seconds);
      }
      if (humidity) {
        r.shtTemp = model_.humidityTemperatureWord(seconds);
        r.humidity = model_.humidityWord(seconds);
      }
      message_.clear();
      pelgbuild::appendHuxSensor(message_, ts, ic, r);
      if (micRate_ == 0 && !edge) maybeCorrupt(t);
      emit(pelgbuild::kHuxId, t);
    }

    if (flushAudio) {
      model_.audio(samples_, pendingAudio_, seconds);
      message_.clear();
      pelgbuild::appendHuxAudio(message_, ts, ic, samples_, pendingAudio_);
      if (!edge && !lastBeforeBreak) maybeCorrupt(t);
      emit(pelgbuild::kHuxId, t);
      summary_.audioSamples += pendingAudio_;
      pendingAudio_ = 0;
    }

    if (sirf_.tick(m_)) {
      receiver_.clear();
      model_.sirfFrame(receiver_, seconds);
      message_.clear();
      pelgbuild::appendSirf(message_, receiver_);
      emit(pelgbuild::kSirfId, t);
    }
  }

  // Interrupts without packets (a gap, or the pause between files): the
  // boards go on sampling, nothing is recorded.
  void skipInterrupts(int64_t n) {
    if (n <= 0) return;
    for (Cadence* c : {&gyro_, &mag_, &accel_, &hfLight_, &baro_, &compass_, &light_, &humidity_, &sirf_})
      c->skip(n, m_);
    const int64_t total = audioAccumulated_ + micRate_ * n;
    model_.skipAudio(static_cast<uint64_t>(total / m_) + pendingAudio_);
    audioAccumulated_ = total % m_;
    pendingAudio_ = 0;
  }

  void maybeCorrupt(int64_t t) {
    if (corruptNext_ < tl_.corruptTargets.size() && t >= tl_.corruptTargets[corruptNext_]) {
      pelgbuild::corruptChecksum(message_);
      ++corruptNext_;
      ++summary_.badChecksums;
    }
  }

  void emit(uint16_t id, int64_t t) {
    if (strayNext_ < tl_.strayTargets.size() && t >= tl_.strayTargets[strayNext_]) {
      // Bytes of 10 and above: no packet header can start inside the run
      // (the two id bytes would name a device of 10 or more).
      const size_t length = 1 + strayRng_.below(24);
      for (size_t i = 0; i < length; ++i) buffer_.push_back(static_cast<uint8_t>(10 + strayRng_.below(246)));
      ++strayNext_;
      ++summary_.strayRuns;
    }
    const auto stamp =
        static_cast<uint32_t>(tl_.logger.stamp(tl_.millisAt(t)) - tl_.logger.at(tl_.millisAt(fileBegin_)));
    pelgbuild::appendPacket(buffer_, id, stamp, message_.data(), static_cast<uint32_t>(message_.size()));
    lastPayloadLength_ = message_.size();
    ++summary_.packets;
  }

  void flush() {
    if (buffer_.empty()) return;
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
      throw std::runtime_error("cannot write " + summary_.paths.back());
    summary_.bytes += buffer_.size();
    buffer_.clear();
  }

  // The platform stopped in the middle of its last packet: half its payload
  // is missing.
  void cutLastPacket() {
    const size_t cut = lastPayloadLength_ / 2;
    const std::string& path = summary_.paths.back();
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec) std::filesystem::resize_file(path, size - cut, ec);
    if (ec) throw std::runtime_error("cannot cut " + path + ": " + ec.message());
    summary_.bytes -= cut;
    summary_.cut = true;
  }

  const SimOptions& o_;
  const Timeline& tl_;
  const int64_t m_;
  SignalModel model_;
  Rng strayRng_;
  Bytes buffer_, message_, receiver_;
  int16_t samples_[kMaxAudioPerMessage + 64] = {};
  Cadence gyro_, mag_, accel_, hfLight_, baro_, compass_, light_, humidity_, sirf_;
  int64_t micRate_ = 0;
  int64_t maxAudioPerInterrupt_ = 0;
  int64_t audioAccumulated_ = 0;
  size_t pendingAudio_ = 0;
  BoardCounters hux_, tiv_;
  int64_t fileBegin_ = 0;
  size_t strayNext_ = 0;
  size_t corruptNext_ = 0;
  size_t lastPayloadLength_ = 0;
  FILE* file_ = nullptr;
  WriteSummary summary_;
};

}  // namespace

WriteSummary writeRecording(const SimOptions& options, const Timeline& timeline) {
  Writer writer(options, timeline);
  return writer.run();
}

}  // namespace pelgsim
