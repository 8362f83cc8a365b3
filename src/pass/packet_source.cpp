#include "pass/packet_source.h"

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "pass/blacklist.h"

namespace {

constexpr const char* kFileProgress = "# INFO:   File [%2d]\n";
constexpr const char* kPacketProgress = "# INFO: read %d packets\n";
constexpr const char* kUnableToOpenFile = "# ERROR: Unable to open file %s\n";
constexpr const char* kNoPelgHeader = "# ERROR: File %s, does not have a PELG v2 header\n";
constexpr const char* kNoInfoData = "# ERROR: File %s, no calibration/info data\n";
constexpr const char* kTivAfterNoTiv =
    "# ERROR: File %s, contains TIV data wheareas the previous files do not!\n";

}  // namespace

void applyFileReadout(InputFileInfo& info, const FileReadout& readout) {
  info.huxLastTimeCounter = readout.huxLastTimeCounter;
  info.huxLastInterruptCounter = readout.huxLastInterruptCounter;
  if (readout.tivRead) {
    info.tivLastTimeCounter = readout.tivLastTimeCounter;
    info.tivLastInterruptCounter = readout.tivLastInterruptCounter;
  }
  info.lastPacketMs = readout.lastPacketMs;
}

PacketSource::PacketSource(const std::vector<std::string>& names, const RunOptions& options,
                           InputOpener& opener, Console& console, DamageReporter& damage, OutputFile* gps,
                           PassObserver* observer, SourceMode mode)
    : names_(names),
      options_(options),
      opener_(opener),
      console_(console),
      damage_(damage),
      gps_(gps),
      observer_(observer),
      huxValuesKept_(mode.huxValuesKept),
      tivValuesKept_(mode.tivValuesKept),
      reader_(std::make_unique<PacketReader>()) {
  // A buffer larger than a prefetch's gap reads on its own.
  const int32_t capacity = readerCapacity(options.buffSize);
  if (mode.prefetch && capacity <= FilePrefetch::kMaxGap) prefetch_ = std::make_unique<FilePrefetch>(capacity);
}

const std::string& PacketSource::nameOf(const InputFileInfo& info) const {
  if (info.fileNumber < 0 || static_cast<size_t>(info.fileNumber) >= names_.size()) return noName_;
  return names_[static_cast<size_t>(info.fileNumber)];
}

void PacketSource::announce(const InputFileInfo& info) { console_.out(kFileProgress, info.fileNumber); }

void PacketSource::open(const InputFileInfo& info) {
  const std::string& name = nameOf(info);
  if (!opener_.open(file_, name)) {
    console_.out(kUnableToOpenFile, name.c_str());
    exitRun(console_, exit_status::kCannotReopen);
  }
  fileOpen_ = true;
  if (!readHeader(file_.header, file_.stream)) {
    console_.out(kNoPelgHeader, name.c_str());
    exitRun(console_, exit_status::kPassNoPelgHeader);
  }
  if (!extractHuxInfo(file_.header)) {
    console_.out(kNoInfoData, name.c_str());
    exitRun(console_, exit_status::kPassNoInfoData);
  }
  // A file without TIV information after files with it is fine; the other
  // way round is not.
  if (extractTivInfo(file_.header)) {
    if (tivFileTally_ == -1) {
      console_.out(kTivAfterNoTiv, name.c_str());
      exitRun(console_, exit_status::kTivAfterNoTiv);
    }
    ++tivFileTally_;
  } else {
    tivFileTally_ = -1;
  }
  prepareReader(info);
  packetNumber_ = 0;
  packetsRead_ = 0;
}

void PacketSource::prepareReader(const InputFileInfo& info) {
  PacketReader& reader = *reader_;
  // The boards' clocks as the file before left them judge the packets after
  // damage at this file's start.
  const BoardTrack hux = reader.huxTrack;
  const BoardTrack tiv = reader.tivTrack;
  initPacketReader(reader, console_, damage_);
  bindPacketReader(reader, file_, options_.buffSize);
  if (prefetch_) prefetchReader(reader.buffer, *prefetch_);
  if (startTimeBefore_ >= 0) {
    const int64_t shift = static_cast<int64_t>(file_.header.startTime) - startTimeBefore_;
    carryBoardTracks(reader, hux, tiv, shift);
  }
  startTimeBefore_ = static_cast<int64_t>(file_.header.startTime);

  // The write pass appends GPS bytes to the side file of the outputs.
  if (gps_) {
    reader.sirfEnabled = true;
    reader.sirfOutput = gps_;
  }

  // Every channel is stored except the acceleration magnitude, which the
  // outputs do not carry.
  reader.huxSamples.clear();
  reader.tivSamples.clear();
  reader.huxEnabled.fill(true);
  reader.huxEnabled[kHuxMagAccel] = false;
  reader.tivEnabled.fill(true);
  reader.huxSamples.valuesKept = huxValuesKept_;
  reader.tivSamples.valuesKept = tivValuesKept_;

  const BaroCoefficients& baro = file_.header.baro;
  reader.huxCalibration.C1 = baro.C1;
  reader.huxCalibration.C2 = baro.C2;
  reader.huxCalibration.C3 = baro.C3;
  reader.huxCalibration.C4 = baro.C4;
  reader.huxCalibration.C5 = baro.C5;
  reader.huxCalibration.C6 = baro.C6;
  reader.huxCalibration.interruptLimit = info.huxInterruptRate;
  reader.tivInterruptLimit = info.tivInterruptRate;
}

// A blacklisted packet is read past but leaves nothing behind on either board:
// no samples, no timing, no change to the decoders' running state. Other kinds
// of packets (a GPS packet's bytes, for one) are handled by the reader as usual.
int PacketSource::consumeBlacklistedPacket() {
  PacketReader& reader = *reader_;
  const HuxStatus huxStatus = reader.huxStatus;
  const TivStatus tivStatus = reader.tivStatus;
  const HuxEnables huxEnabled = reader.huxEnabled;
  const TivEnables tivEnabled = reader.tivEnabled;
  const HuxCalibrationState huxCalibration = reader.huxCalibration;
  const auto huxCounts = reader.huxSamples.counts;
  const auto tivCounts = reader.tivSamples.counts;
  const uint32_t huxPresent = reader.huxSamples.present;
  const uint32_t tivPresent = reader.tivSamples.present;

  reader.huxEnabled.fill(false);
  reader.tivEnabled.fill(false);
  const int result = nextPacket(reader);

  reader.huxStatus = huxStatus;
  reader.tivStatus = tivStatus;
  reader.huxEnabled = huxEnabled;
  reader.tivEnabled = tivEnabled;
  reader.huxCalibration = huxCalibration;
  reader.huxSamples.counts = huxCounts;
  reader.tivSamples.counts = tivCounts;
  reader.huxSamples.present = huxPresent;
  reader.tivSamples.present = tivPresent;
  return result;
}

bool PacketSource::step() {
  PacketReader& reader = *reader_;
  if (!reader.active) return false;
  ++packetNumber_;
  if (options_.printProgress && options_.printProgressMax > 0 && packetNumber_ % options_.printProgressMax == 0)
    console_.out(kPacketProgress, packetNumber_);

  // A blacklisted packet leaves both statuses as they were set here: no
  // board message accepted.
  reader.huxStatus.status = kDecodeNone;
  reader.tivStatus.status = kDecodeNone;
  if (options_.useBlacklist && isBlacklisted(options_.blacklist, packetNumber_, console_) == -1) {
    if (consumeBlacklistedPacket() == 1) ++packetsRead_;
    return true;
  }
  if (nextPacket(reader) == 1) ++packetsRead_;
  if (observer_) observer_->bytesRead(reader.buffer.position());
  return true;
}

FileReadout PacketSource::finish() {
  const PacketReader& reader = *reader_;
  FileReadout readout;
  readout.huxLastTimeCounter = reader.huxStatus.timeCounter;
  readout.huxLastInterruptCounter = reader.huxStatus.interruptCounter;
  readout.tivRead = tivFileTally_ > 0;
  readout.tivLastTimeCounter = reader.tivStatus.timeCounter;
  readout.tivLastInterruptCounter = reader.tivStatus.interruptCounter;
  readout.lastPacketMs = reader.lastTimestamp;
  if (options_.printProgress) console_.out(kPacketProgress, packetNumber_);
  close();
  return readout;
}

void PacketSource::close() {
  if (!fileOpen_) return;
  // The prefetch stops reading the file before it is closed.
  closePacketReader(*reader_);
  closeInput(file_);
  fileOpen_ = false;
}
