#include "pass/scan_read_ahead.h"

#include <bit>

#include "common/bit_count.h"
#include "common/signal_free_thread.h"

namespace {

enum RecordKind : uint8_t {
  kOutLine = 1,
  kErrLine,
  kDamage,
  kFileStart,
  kFileOpened,
  kPacket,
  kFileEnd,
};

// A packet record's fixed part, laid out field by field in this order; the
// sample counts of both boards' present channels follow.
struct PacketHead {
  int64_t packetsRead = 0;
  int32_t packetNumber = 0;
  uint32_t lastTimestamp = 0;
  int32_t repeatCheckLeft = 0;
  int32_t huxStatus = 0;
  int32_t huxTimeCounter = 0;
  int32_t huxInterruptCounter = 0;
  int32_t huxAudioCount = 0;  // the audio channel's count in the HUX2 status
  int32_t tivStatus = 0;
  int32_t tivTimeCounter = 0;
  int32_t tivInterruptCounter = 0;
  uint32_t huxPresent = 0;
  uint32_t tivPresent = 0;
};
static_assert(sizeof(PacketHead) == sizeof(int64_t) + 12 * sizeof(int32_t),
              "the record holds the fields without padding");

template <int N>
std::byte* putCounts(std::byte* at, const SampleBuffers<N>& samples) {
  for (uint32_t set = samples.present; set != 0; set &= set - 1) at = putField(at, samples.counts[std::countr_zero(set)]);
  return at;
}

template <int N>
const std::byte* takeCounts(const std::byte* at, SampleBuffers<N>& samples, uint32_t present) {
  samples.counts.fill(0);
  samples.present = present;
  for (uint32_t set = present; set != 0; set &= set - 1) at = takeField(at, samples.counts[std::countr_zero(set)]);
  return at;
}

// The timing side empties a board's samples once it has handled its
// accepted message; the reading side does the same, as the serial pass's
// reader would see it, after handing the message over.
template <typename Status, int N>
void emptyAccepted(Status& status, SampleBuffers<N>& samples) {
  if (status.status != kDecodeAccepted) return;
  samples.clear();
  status.channelCounts.fill(0);
}

}  // namespace

ScanReadAhead::ScanReadAhead(const InputFileInfo* files, int fileCount, const std::vector<std::string>& names,
                             const RunOptions& options, InputOpener& opener, Console& console,
                             PassObserver* observer)
    : files_(files),
      fileCount_(fileCount),
      names_(names),
      options_(options),
      opener_(opener),
      console_(console),
      observer_(observer),
      forwarding_(console.outStream(), console.errStream()),
      openerBefore_(opener.printOn(forwarding_)),
      mirror_(std::make_unique<PacketReader>()) {
  forwarding_.forwardTo(this);
  thread_ = startSignalFreeThread([this] { read(); });
}

ScanReadAhead::~ScanReadAhead() {
  if (thread_.joinable()) {
    queue_.stop();
    thread_.join();
  }
  opener_.printOn(openerBefore_);
}

void ScanReadAhead::forwardLine(bool toErr, const char* format, const char* text, size_t length) {
  queueLine(queue_, toErr ? kErrLine : kOutLine, format, text, length);
}

void ScanReadAhead::damage(const DamageEvent& event) {
  std::byte* at = queue_.reserve(1 + sizeof event);
  at = putField(at, kDamage);
  putField(at, event);
}

void ScanReadAhead::putPacket(const PacketReader& reader, int32_t packetNumber, int64_t packetsRead) {
  const size_t size = 1 + sizeof(PacketHead) +
                      sizeof(int32_t) * static_cast<size_t>(bitCount(reader.huxSamples.present) +
                                                            bitCount(reader.tivSamples.present));
  std::byte* at = queue_.reserve(size);
  at = putField(at, kPacket);
  at = putField(at, packetsRead);
  at = putField(at, packetNumber);
  at = putField(at, reader.lastTimestamp);
  at = putField(at, reader.repeatCheckLeft);
  at = putField(at, static_cast<int32_t>(reader.huxStatus.status));
  at = putField(at, reader.huxStatus.timeCounter);
  at = putField(at, reader.huxStatus.interruptCounter);
  at = putField(at, reader.huxStatus.channelCounts[kHuxAudio]);
  at = putField(at, static_cast<int32_t>(reader.tivStatus.status));
  at = putField(at, reader.tivStatus.timeCounter);
  at = putField(at, reader.tivStatus.interruptCounter);
  at = putField(at, reader.huxSamples.present);
  at = putField(at, reader.tivSamples.present);
  at = putCounts(at, reader.huxSamples);
  putCounts(at, reader.tivSamples);
}

void ScanReadAhead::read() {
  int64_t packetsRead = 0;
  try {
    // The GPS side file is the write pass's: the scan passes none. The
    // files' bytes are read ahead on a third thread: the system's copying of
    // them would otherwise load this thread, the busier of the scan's two.
    // (The write pass's two threads are about equally busy; a third one
    // there gains nothing measurable.)
    PacketSource source(names_, options_, opener_, forwarding_, *this, nullptr, observer_,
                        {.huxValuesKept = 0, .tivValuesKept = 0, .prefetch = true});
    PacketReader& reader = source.reader();
    for (int i = 0; i < fileCount_; ++i) {
      if (observer_) observer_->fileStarted(i);
      const InputFileInfo& info = files_[i];
      source.announce(info);
      putField(putField(queue_.reserve(1 + sizeof i), kFileStart), i);
      packetsRead = 0;
      source.open(info);
      std::byte* at = queue_.reserve(1 + 2 * sizeof(int32_t));
      putField(putField(putField(at, kFileOpened), source.huxInterruptCount()), source.tivInterruptCount());
      while (source.step()) {
        packetsRead = source.packetsRead();
        // A timing side that failed stops the queue: the next hand-over
        // throws, which ends the reading.
        if (reader.huxStatus.status != kDecodeAccepted && reader.tivStatus.status != kDecodeAccepted) continue;
        putPacket(reader, source.packetNumber(), packetsRead);
        emptyAccepted(reader.tivStatus, reader.tivSamples);
        emptyAccepted(reader.huxStatus, reader.huxSamples);
      }
      const FileReadout readout = source.finish();
      at = queue_.reserve(1 + sizeof packetsRead + sizeof readout);
      putField(putField(putField(at, kFileEnd), packetsRead), readout);
    }
  } catch (...) {
    failure_ = std::current_exception();
    failedAfter_ = packetsRead;
  }
  queue_.finish();
}

void ScanReadAhead::playChunk(const ChunkQueue::Chunk& chunk, TimingSide& side) {
  const std::byte* at = chunk.bytes;
  const std::byte* end = at + chunk.used;
  PacketReader& mirror = *mirror_;
  while (at < end) {
    RecordKind kind{};
    at = takeField(at, kind);
    switch (kind) {
      case kOutLine:
      case kErrLine:
        at = printQueuedLine(at, kind == kErrLine, console_);
        break;
      case kDamage: {
        DamageEvent event;
        at = takeField(at, event);
        side.damage(event);
        break;
      }
      case kFileStart: {
        int index = 0;
        at = takeField(at, index);
        side.fileStarted(index);
        break;
      }
      case kFileOpened: {
        int32_t hux = 0;
        int32_t tiv = 0;
        at = takeField(takeField(at, hux), tiv);
        side.fileOpened(hux, tiv);
        break;
      }
      case kPacket: {
        PacketHead head;
        at = takeField(at, head.packetsRead);
        at = takeField(at, head.packetNumber);
        at = takeField(at, head.lastTimestamp);
        at = takeField(at, head.repeatCheckLeft);
        at = takeField(at, head.huxStatus);
        at = takeField(at, head.huxTimeCounter);
        at = takeField(at, head.huxInterruptCounter);
        at = takeField(at, head.huxAudioCount);
        at = takeField(at, head.tivStatus);
        at = takeField(at, head.tivTimeCounter);
        at = takeField(at, head.tivInterruptCounter);
        at = takeField(at, head.huxPresent);
        at = takeField(at, head.tivPresent);
        at = takeCounts(at, mirror.huxSamples, head.huxPresent);
        at = takeCounts(at, mirror.tivSamples, head.tivPresent);
        mirror.lastTimestamp = head.lastTimestamp;
        mirror.repeatCheckLeft = head.repeatCheckLeft;
        mirror.huxStatus.status = static_cast<decltype(mirror.huxStatus.status)>(head.huxStatus);
        mirror.huxStatus.timeCounter = head.huxTimeCounter;
        mirror.huxStatus.interruptCounter = head.huxInterruptCounter;
        mirror.huxStatus.channelCounts[kHuxAudio] = head.huxAudioCount;
        mirror.tivStatus.status = static_cast<decltype(mirror.tivStatus.status)>(head.tivStatus);
        mirror.tivStatus.timeCounter = head.tivTimeCounter;
        mirror.tivStatus.interruptCounter = head.tivInterruptCounter;
        packetsRead_ = head.packetsRead;
        side.packet(mirror, head.packetNumber);
        break;
      }
      case kFileEnd: {
        int64_t packetsRead = 0;
        FileReadout readout;
        at = takeField(takeField(at, packetsRead), readout);
        side.readSoFar(packetsRead);
        side.fileEnded(readout);
        break;
      }
    }
  }
}

void ScanReadAhead::play(TimingSide& side) {
  try {
    while (const ChunkQueue::Chunk* chunk = queue_.next()) {
      playChunk(*chunk, side);
      queue_.done(chunk);
    }
  } catch (...) {
    // The timing side failed at a packet: the record counts the packets read
    // up to it.
    side.readSoFar(packetsRead_);
    throw;
  }
  thread_.join();
  if (failure_) {
    side.readSoFar(failedAfter_);
    std::rethrow_exception(failure_);
  }
}
