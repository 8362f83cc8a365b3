#include "pass/output_pipeline.h"

#include <bit>
#include <cstring>

#include "common/bit_count.h"
#include "common/fatal_error.h"
#include "common/signal_free_thread.h"
#include "output/output_state.h"
#include "output/wav_writer.h"

namespace {

enum RecordKind : uint8_t { kPacketRecord = 1, kOutLine = 2, kErrLine = 3, kWavBlock = 4 };

// A WAV block's samples start at this alignment in the chunk (libsndfile
// takes them as an array of shorts).
constexpr uintptr_t kSampleAlignment = alignof(int64_t);

std::byte* alignedForSamples(std::byte* at) {
  const uintptr_t address = reinterpret_cast<uintptr_t>(at);
  return at + ((kSampleAlignment - address % kSampleAlignment) % kSampleAlignment);
}

const std::byte* alignedForSamples(const std::byte* at) {
  return alignedForSamples(const_cast<std::byte*>(at));
}

// A packet record's fixed part, laid out field by field in this order.
struct PacketHead {
  int32_t packetNumber = 0;
  int32_t hfLightGain = -1;
  int64_t huxTimeIndex = 0;
  int64_t tivTimeIndex = 0;
  uint32_t huxPresent = 0;
  uint32_t tivPresent = 0;
};
static_assert(sizeof(PacketHead) == 2 * sizeof(int32_t) + 2 * sizeof(int64_t) + 2 * sizeof(uint32_t),
              "the record holds the fields without padding");

// The bytes a board's channels take in a record: per channel in `present`
// its count and its first reading in both forms.
size_t samplesSize(uint32_t present) {
  return static_cast<size_t>(bitCount(present)) * (sizeof(int32_t) + sizeof(int16_t) + sizeof(double));
}

template <int N>
std::byte* putSamples(std::byte* at, const SampleBuffers<N>& samples, uint32_t present) {
  for (uint32_t set = present; set != 0; set &= set - 1) {
    const int c = std::countr_zero(set);
    at = putField(at, samples.counts[c]);
    at = putField(at, samples.values16[c][0]);
    at = putField(at, samples.values[c][0]);
  }
  return at;
}

template <int N>
const std::byte* takeSamples(const std::byte* at, SampleBuffers<N>& samples, uint32_t present) {
  samples.counts.fill(0);
  samples.present = present;
  for (uint32_t set = present; set != 0; set &= set - 1) {
    const int c = std::countr_zero(set);
    at = takeField(at, samples.counts[c]);
    at = takeField(at, samples.values16[c][0]);
    at = takeField(at, samples.values[c][0]);
  }
  return at;
}

}  // namespace

OutputPipeline::OutputPipeline(ParseState& state, Console& console)
    : state_(state), console_(console), readingsWanted_(state.dataOutEnabled || state.completeDataEnabled) {
  thread_ = startSignalFreeThread([this] { work(); });
}

OutputPipeline::~OutputPipeline() {
  if (thread_.joinable()) {
    queue_.stop();
    thread_.join();
  }
}

void OutputPipeline::packet(int32_t packetNumber, int64_t huxTimeIndex, const HuxSamples& hux,
                            const HuxCalibrationState& calibration, int64_t tivTimeIndex,
                            const TivSamples& tiv) {
  // The audio samples stay with the pass, which writes the WAV file itself;
  // a packet of audio alone gives the MAT-files nothing.
  const uint32_t huxPresent = hux.present & ~(uint32_t{1} << kHuxAudio);
  if (!readingsWanted_ || (huxPresent == 0 && tiv.present == 0)) return;
  const size_t size = 1 + sizeof(PacketHead) + samplesSize(huxPresent) + samplesSize(tiv.present);
  std::byte* at = queue_.reserve(size);
  // Field by field: a head gathered on the stack first and copied whole
  // costs a stall on every packet.
  at = putField(at, kPacketRecord);
  at = putField(at, packetNumber);
  at = putField(at, calibration.hfLightGain);
  at = putField(at, huxTimeIndex);
  at = putField(at, tivTimeIndex);
  at = putField(at, huxPresent);
  at = putField(at, tiv.present);
  at = putSamples(at, hux, huxPresent);
  putSamples(at, tiv, tiv.present);
}

void OutputPipeline::forwardLine(bool toErr, const char* format, const char* text, size_t length) {
  queueLine(queue_, toErr ? kErrLine : kOutLine, format, text, length);
}

void OutputPipeline::writeBlock(const int16_t* samples, int32_t count) {
  const size_t bytes = sizeof(int16_t) * static_cast<size_t>(count);
  // The kind, the count, then the samples from the next aligned byte.
  std::byte* at = queue_.reserve(1 + sizeof count + kSampleAlignment - 1 + bytes);
  at = putField(at, kWavBlock);
  at = putField(at, count);
  std::memcpy(alignedForSamples(at), samples, bytes);
}

void OutputPipeline::finish() {
  queue_.finish();
  thread_.join();
  if (failure_) std::rethrow_exception(failure_);
}

void OutputPipeline::play(const ChunkQueue::Chunk& chunk) {
  const std::byte* at = chunk.bytes;
  const std::byte* end = at + chunk.used;
  while (at < end) {
    RecordKind kind{};
    at = takeField(at, kind);
    if (kind == kPacketRecord) {
      PacketHead head;
      at = takeField(at, head.packetNumber);
      at = takeField(at, head.hfLightGain);
      at = takeField(at, head.huxTimeIndex);
      at = takeField(at, head.tivTimeIndex);
      at = takeField(at, head.huxPresent);
      at = takeField(at, head.tivPresent);
      at = takeSamples(at, hux_, head.huxPresent);
      at = takeSamples(at, tiv_, head.tivPresent);
      calibration_.hfLightGain = head.hfLightGain;
      writePacketReadings(state_, head.packetNumber, head.huxTimeIndex, hux_, calibration_, head.tivTimeIndex,
                          tiv_);
    } else if (kind == kWavBlock) {
      int32_t count = 0;
      at = takeField(at, count);
      const std::byte* samples = alignedForSamples(at);
      writeWavBlock(state_, reinterpret_cast<const int16_t*>(samples), count, console_);
      at += kSampleAlignment - 1 + sizeof(int16_t) * static_cast<size_t>(count);
    } else {
      at = printQueuedLine(at, kind == kErrLine, console_);
    }
  }
}

void OutputPipeline::work() {
  while (const ChunkQueue::Chunk* chunk = queue_.next()) {
    try {
      play(*chunk);
    } catch (...) {
      // The pass learns of the failure at its next hand-over.
      failure_ = std::current_exception();
      queue_.stop();
      return;
    }
    queue_.done(chunk);
  }
}
