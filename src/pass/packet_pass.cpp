#include "pass/packet_pass.h"

#include <array>
#include <bit>
#include <memory>

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "input/console_damage_reporter.h"
#include "input/packet_reader.h"
#include "output/complete_data_plan.h"
#include "output/output_state.h"
#include "output/parse_state.h"
#include "pass/blacklist.h"
#include "pass/board_clock.h"
#include "pass/missing_samples.h"
#include "pass/output_pipeline.h"
#include "pass/timestamp_file.h"

namespace {

constexpr const char* kFileProgress = "# INFO:   File [%2d]\n";
constexpr const char* kPacketProgress = "# INFO: read %d packets\n";
constexpr const char* kUnableToOpenFile = "# ERROR: Unable to open file %s\n";
constexpr const char* kNoPelgHeader = "# ERROR: File %s, does not have a PELG v2 header\n";
constexpr const char* kNoInfoData = "# ERROR: File %s, no calibration/info data\n";
constexpr const char* kTivAfterNoTiv =
    "# ERROR: File %s, contains TIV data wheareas the previous files do not!\n";

constexpr const char* kBreakAfterDamage =
    "# WARNING: %s, PELG Packet %6d, its board counters break the time line right after damage: its readings "
    "are dropped\n";

constexpr char kHuxTimestampLetter = 'M';
constexpr char kTivTimestampLetter = 'L';

// Adds one timed packet's samples to the pass's counters, brings every
// channel's aligned count up to date and empties the packet's buffers.
template <int N>
void accountPacket(SampleBuffers<N>& samples, DecodeStatus<N>& status,
                   std::array<int64_t, static_cast<size_t>(N)>& totals,
                   std::array<int64_t, static_cast<size_t>(N)>& aligned,
                   const std::array<int32_t, static_cast<size_t>(N)>& rates,
                   const std::array<RateForm, static_cast<size_t>(N)>& forms, int32_t interruptRate,
                   int64_t timeIndex, Console& console) {
  // Most packets carry samples of one or a few channels only; a channel
  // without samples changes nothing.
  for (uint32_t channels = samples.present; channels != 0; channels &= channels - 1) {
    const int c = std::countr_zero(channels);
    totals[c] += samples.counts[c];
    accountSamples(forms[c], rates[c], interruptRate, samples.counts[c], aligned[c], timeIndex, console);
  }
  status.channelCounts.fill(0);
  samples.clear();
}

// One run of the packet pass over the ordered files. Owns the input file
// record, the packet reader (re-initialised for every file; its sample
// buffers are the pass's sample storage) and both board clocks. Whatever ends
// the pass, the current file's streams are closed when the object goes.
class PacketPass {
 public:
  PacketPass(const std::vector<std::string>& names, const RunOptions& options, PassCounters& counters,
             ParseState* output, CompleteDataPlan* plan, OutputFile* timestamps,
             const InputFileInfo* reference, InputOpener& opener, Console& console, PassObserver* observer,
             OutputPipeline* pipeline)
      : observer_(observer),
        pipeline_(pipeline),
        timestamps_(timestamps),
        plan_(plan),
        reference_(reference),
        names_(names),
        options_(options),
        counters_(counters),
        output_(output),
        opener_(opener),
        console_(console),
        damage_(console),
        reader_(std::make_unique<PacketReader>()) {}

  ~PacketPass() { closeFile(); }
  PacketPass(const PacketPass&) = delete;
  PacketPass& operator=(const PacketPass&) = delete;

  void readFile(InputFileInfo& info);

 private:
  const std::string& nameOf(const InputFileInfo& info) const;
  // The logger's time of the packet just read: the file's start time plus
  // the packet's timestamp, in milliseconds.
  int64_t wallMs(const InputFileInfo& info) const {
    return static_cast<int64_t>(info.startTime) + reader_->lastTimestamp;
  }
  void openFile(const InputFileInfo& info);
  void prepareReader(const InputFileInfo& info);
  int consumeBlacklistedPacket();
  void handleTivPacket(InputFileInfo& info);
  void handleHuxPacket(InputFileInfo& info);
  void handOver();
  void noteTimeLineStep(bool pause, int64_t before, int64_t bridgedBefore);
  bool breakAfterDamage(const BoardClock& clock, const BoardFileTiming& timing, const BoardPacketContext& packet,
                        int32_t ts, int32_t ic);
  void closeFile();

  PassObserver* observer_;  // null when nobody watches
  OutputPipeline* pipeline_;  // the outputs' own thread in a write pass that has one, else null
  OutputFile* timestamps_;  // timestamps.txt in a timestamp-mode pass, else null
  CompleteDataPlan* plan_;  // null but in a scan pass that plans the outputs
  const InputFileInfo* reference_;  // record 0 of the sorted table
  const std::vector<std::string>& names_;
  const RunOptions& options_;
  PassCounters& counters_;
  ParseState* output_;  // null in the scan pass
  InputOpener& opener_;
  Console& console_;
  ConsoleDamageReporter damage_;  // the damage lines, counted into the file's record

  InputFile file_;
  bool fileOpen_ = false;
  std::unique_ptr<PacketReader> reader_;
  BoardClock hux_;
  BoardClock tiv_;
  // How each channel's samples are accounted in the current file.
  std::array<RateForm, kHuxChannelCount> huxForms_{};
  std::array<RateForm, kTivChannelCount> tivForms_{};
  int32_t packetNumber_ = 0;
  int32_t fileIndex_ = -1;  // the current file's index in the pass's order
  int64_t startTimeBefore_ = -1;  // header start time of the file before, ms; -1 for none
  // Leading files with TIV information so far in this pass; -1 once a file
  // without it has been read.
  int32_t tivFileTally_ = 0;
  const std::string noName_;
};

const std::string& PacketPass::nameOf(const InputFileInfo& info) const {
  if (info.fileNumber < 0 || static_cast<size_t>(info.fileNumber) >= names_.size()) return noName_;
  return names_[static_cast<size_t>(info.fileNumber)];
}

void PacketPass::openFile(const InputFileInfo& info) {
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
}

void PacketPass::prepareReader(const InputFileInfo& info) {
  PacketReader& reader = *reader_;
  // The boards' clocks as the file before left them judge the packets after
  // damage at this file's start.
  const BoardTrack hux = reader.huxTrack;
  const BoardTrack tiv = reader.tivTrack;
  initPacketReader(reader, console_, damage_);
  bindPacketReader(reader, file_, options_.buffSize);
  if (startTimeBefore_ >= 0) {
    const int64_t shift = static_cast<int64_t>(file_.header.startTime) - startTimeBefore_;
    carryBoardTracks(reader, hux, tiv, shift);
  }
  startTimeBefore_ = static_cast<int64_t>(file_.header.startTime);

  // The write pass appends GPS bytes to the side file of the outputs.
  if (output_) {
    reader.sirfEnabled = true;
    reader.sirfOutput = sirfGpsOutputOf(*output_);
  }

  // Every channel is stored except the acceleration magnitude, which the
  // outputs do not carry.
  reader.huxSamples.clear();
  reader.tivSamples.clear();
  reader.huxEnabled.fill(true);
  reader.huxEnabled[kHuxMagAccel] = false;
  reader.tivEnabled.fill(true);

  const BaroCoefficients& baro = file_.header.baro;
  reader.huxCalibration.C1 = baro.C1;
  reader.huxCalibration.C2 = baro.C2;
  reader.huxCalibration.C3 = baro.C3;
  reader.huxCalibration.C4 = baro.C4;
  reader.huxCalibration.C5 = baro.C5;
  reader.huxCalibration.C6 = baro.C6;
  reader.huxCalibration.interruptLimit = info.huxInterruptRate;
  reader.tivInterruptLimit = info.tivInterruptRate;
  for (size_t c = 0; c < huxForms_.size(); ++c) huxForms_[c] = rateFormOf(info.huxChannelRates[c], info.huxInterruptRate);
  for (size_t c = 0; c < tivForms_.size(); ++c) tivForms_[c] = rateFormOf(info.tivChannelRates[c], info.tivInterruptRate);
}

// A blacklisted packet is read past but leaves nothing behind on either board:
// no samples, no timing, no change to the decoders' running state. Other kinds
// of packets (a GPS packet's bytes, for one) are handled by the reader as usual.
int PacketPass::consumeBlacklistedPacket() {
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

void PacketPass::handOver() {
  PacketReader& reader = *reader_;
  if (pipeline_) {
    writePacketAudio(*output_, packetNumber_, hux_.timeIndex, reader.huxSamples);
    pipeline_->packet(packetNumber_, hux_.timeIndex, reader.huxSamples, reader.huxCalibration, tiv_.timeIndex,
                      reader.tivSamples);
  } else if (output_) {
    writePacketSamples(*output_, packetNumber_, hux_.timeIndex, reader.huxSamples,
                       reader.huxCalibration, tiv_.timeIndex, reader.tivSamples);
  } else if (plan_) {
    planCompleteData(*plan_, *reference_, hux_.timeIndex, reader.huxSamples, tiv_.timeIndex,
                     reader.tivSamples);
  }
}

// Keeps the step the HUX2 packet just placed made on the time line when it
// is a gap or a pause before a later file: more than a second, or bridging a
// roll-over, or a later file's start after the tail it repeats.
void PacketPass::noteTimeLineStep(bool pause, int64_t before, int64_t bridgedBefore) {
  counters_.plainRollovers = hux_.plainRollovers;
  counters_.bridgedRollovers = hux_.bridgedRollovers;
  const int64_t perSecond = reference_->huxInterruptRate / 10;
  const bool bridged = hux_.bridgedRollovers > bridgedBefore;
  if (hux_.timeIndex - before <= perSecond && !bridged && !(pause && hux_.repeatReported)) return;
  TimeLineStep step;
  step.pause = pause;
  step.file = fileIndex_;
  step.packet = packetNumber_;
  step.fromIndex = before;
  step.toIndex = hux_.timeIndex;
  step.rollovers = hux_.bridgedRollovers - bridgedBefore;
  step.filled = !hux_.repeatReported;
  counters_.gaps.push_back(step);
}

// Shortly after damage, a packet whose counters break the time line in a
// way neither clock explains is taken for damage the reader could not tell
// (its readings are dropped, with a warning) rather than ending the run;
// a break in undamaged framing is left to the roll-over check.
bool PacketPass::breakAfterDamage(const BoardClock& clock, const BoardFileTiming& timing,
                                  const BoardPacketContext& packet, int32_t ts, int32_t ic) {
  if (!options_.checkRollover || reader_->repeatCheckLeft <= 0 || !breaksTimeLine(clock, timing, packet, ts, ic))
    return false;
  console_.out(kBreakAfterDamage, packet.boardLabel, packet.packetNumber);
  return true;
}

void PacketPass::handleTivPacket(InputFileInfo& info) {
  PacketReader& reader = *reader_;
  const int32_t ts = reader.tivStatus.timeCounter;
  const int32_t ic = reader.tivStatus.interruptCounter;
  if (timestamps_) writeTimestampLine(*timestamps_, kTivTimestampLetter, packetNumber_, ts, ic);
  // Without a TIV interrupt rate, from this file's header or one read before
  // (a TIV device without a recognised entry in the first file), a TIV
  // message cannot be placed in time: it is left out of the time line and
  // the outputs.
  if (file_.header.tivInfo.interrupt_count <= 0) {
    reader.tivSamples.clear();
    reader.tivStatus.channelCounts.fill(0);
    return;
  }
  const BoardPacketContext packet{"TIV", file_.header.tivInfo.interrupt_count, packetNumber_,
                                  options_.checkRollover, wallMs(info), nameOf(info).c_str()};
  if (repeatsFileBefore(tiv_, tivFileTiming(info), packet, ts, ic, console_) ||
      breakAfterDamage(tiv_, tivFileTiming(info), packet, ts, ic)) {
    reader.tivSamples.clear();
    reader.tivStatus.channelCounts.fill(0);
    return;
  }
  advanceBoardClock(tiv_, tivFileTiming(info), packet, ts, ic, console_);

  handOver();
  accountPacket(reader.tivSamples, reader.tivStatus, counters_.tivSampleTotals,
                counters_.tivAlignedCounts, info.tivChannelRates, tivForms_, info.tivInterruptRate,
                tiv_.timeIndex, console_);
}

void PacketPass::handleHuxPacket(InputFileInfo& info) {
  PacketReader& reader = *reader_;
  const int32_t ts = reader.huxStatus.timeCounter;
  const int32_t ic = reader.huxStatus.interruptCounter;
  if (timestamps_) writeTimestampLine(*timestamps_, kHuxTimestampLetter, packetNumber_, ts, ic);
  const BoardPacketContext packet{"HUX", file_.header.huxInfo.interrupt_count, packetNumber_,
                                  options_.checkRollover, wallMs(info), nameOf(info).c_str()};
  if (repeatsFileBefore(hux_, huxFileTiming(info), packet, ts, ic, console_) ||
      breakAfterDamage(hux_, huxFileTiming(info), packet, ts, ic)) {
    reader.huxSamples.clear();
    reader.huxStatus.channelCounts.fill(0);
    return;
  }
  const int64_t before = hux_.prevTimeIndex >= 0 ? hux_.prevTimeIndex : hux_.lastTimeIndex;
  const bool pause = hux_.started && hux_.prevTimeIndex < 0;
  const int64_t bridgedBefore = hux_.bridgedRollovers;
  advanceBoardClock(hux_, huxFileTiming(info), packet, ts, ic, console_);
  info.huxLastTimeIndex = hux_.timeIndex;
  noteTimeLineStep(pause, before, bridgedBefore);

  if (info.firstAudioIndex == -1 && info.huxChannelRates[kHuxAudio] > 0 &&
      reader.huxStatus.channelCounts[kHuxAudio] > 0)
    info.firstAudioIndex = hux_.timeIndex;

  handOver();
  accountPacket(reader.huxSamples, reader.huxStatus, counters_.huxSampleTotals,
                counters_.huxAlignedCounts, info.huxChannelRates, huxForms_, info.huxInterruptRate,
                hux_.timeIndex, console_);
}

void PacketPass::readFile(InputFileInfo& info) {
  console_.out(kFileProgress, info.fileNumber);
  ++fileIndex_;
  damage_.countInto(&info.damage);
  openFile(info);
  prepareReader(info);
  resetBoardClockForFile(hux_);
  resetBoardClockForFile(tiv_);
  packetNumber_ = 0;

  PacketReader& reader = *reader_;
  while (reader.active) {
    // Packets are numbered from 1 within the file; the call that finds the
    // end of the data gets a number too.
    ++packetNumber_;
    if (options_.printProgress && options_.printProgressMax > 0 &&
        packetNumber_ % options_.printProgressMax == 0)
      console_.out(kPacketProgress, packetNumber_);

    reader.huxStatus.status = kDecodeNone;
    reader.tivStatus.status = kDecodeNone;
    if (options_.useBlacklist && isBlacklisted(options_.blacklist, packetNumber_, console_) == -1) {
      if (consumeBlacklistedPacket() == 1) ++info.packetsRead;
      continue;
    }
    if (nextPacket(reader) == 1) ++info.packetsRead;
    if (observer_) observer_->bytesRead(reader.buffer.position());

    if (reader.tivStatus.status == kDecodeAccepted) handleTivPacket(info);
    reader.tivStatus.status = kDecodeNotBoardMessage;
    if (reader.huxStatus.status == kDecodeAccepted) handleHuxPacket(info);
    reader.huxStatus.status = kDecodeNotBoardMessage;
  }

  info.huxLastTimeCounter = reader.huxStatus.timeCounter;
  info.huxLastInterruptCounter = reader.huxStatus.interruptCounter;
  if (tivFileTally_ > 0) {
    info.tivLastTimeCounter = reader.tivStatus.timeCounter;
    info.tivLastInterruptCounter = reader.tivStatus.interruptCounter;
  }
  info.lastPacketMs = reader.lastTimestamp;
  damage_.countInto(nullptr);
  if (options_.printProgress) console_.out(kPacketProgress, packetNumber_);
  closeFile();
}

void PacketPass::closeFile() {
  if (!fileOpen_) return;
  closeInput(file_);
  closePacketReader(*reader_);
  fileOpen_ = false;
}



// Gives the WAV writer and the input opener, which print on the pass's
// thread, the pass's console while it lives, and the WAV writer the outputs'
// thread as the sink of its blocks.
class PassConsoleDuring {
 public:
  PassConsoleDuring(ParseState& output, InputOpener& opener, Console& console, WavBlockSink& sink)
      : output_(output), opener_(opener), wavBefore_(output.wav.console), openerBefore_(opener.printOn(console)) {
    output.wav.console = &console;
    output.wav.sink = &sink;
  }
  ~PassConsoleDuring() {
    output_.wav.console = wavBefore_;
    output_.wav.sink = nullptr;
    opener_.printOn(openerBefore_);
  }
  PassConsoleDuring(const PassConsoleDuring&) = delete;
  PassConsoleDuring& operator=(const PassConsoleDuring&) = delete;

 private:
  ParseState& output_;
  InputOpener& opener_;
  Console* wavBefore_;
  Console& openerBefore_;
};

// The write pass with the outputs on a thread of their own. The pass prints
// through a console that forwards its lines to that thread, which prints
// them in their place among the writers' lines.
void runPipelinedPass(InputFileInfo* files, int fileCount, const std::vector<std::string>& names,
                      const RunOptions& options, PassCounters& counters, ParseState& output,
                      InputOpener& opener, Console& console, PassObserver* observer) {
  OutputPipeline pipeline(output, console);
  Console forwarding(console.outStream(), console.errStream());
  forwarding.forwardTo(&pipeline);
  // The WAV writer buffers and the inputs are opened on this thread: their
  // lines go in their place too, and so do the WAV file's blocks.
  const PassConsoleDuring passConsole(output, opener, forwarding, pipeline);
  try {
    PacketPass pass(names, options, counters, &output, nullptr, nullptr, files, opener, forwarding, observer,
                    &pipeline);
    for (int i = 0; i < fileCount; ++i) {
      if (observer) observer->fileStarted(i);
      pass.readFile(files[i]);
    }
  } catch (const FatalError&) {
    // What the pass handed over before its failure is written and printed
    // first; a failure of the outputs' thread, earlier in the pass's order,
    // is the run's.
    pipeline.finish();
    throw;
  }
  pipeline.finish();
}

}  // namespace

int runPacketPass(InputFileInfo* files, int fileCount, const std::vector<std::string>& names,
                  const RunOptions& options, PassCounters& counters, ParseState* output,
                  InputOpener& opener, Console& console, PassObserver* observer,
                  CompleteDataPlan* plan) {
  // The outputs get a thread of their own when there are threads to spare
  // and an output to write.
  if (output && options.threads > 1 && !options.writeTimestampFile &&
      (output->dataOutEnabled || output->completeDataEnabled || output->wav.file)) {
    runPipelinedPass(files, fileCount, names, options, counters, *output, opener, console, observer);
    return 1;
  }
  // A failed run drops an unfinished timestamps.txt when the file goes.
  OutputFile timestamps;
  if (options.writeTimestampFile) openTimestampFile(timestamps, options.outputDir, console);
  {
    PacketPass pass(names, options, counters, output, plan, timestamps ? &timestamps : nullptr, files,
                    opener, console, observer, nullptr);
    for (int i = 0; i < fileCount; ++i) {
      if (observer) observer->fileStarted(i);
      pass.readFile(files[i]);
    }
  }
  if (options.writeTimestampFile) finishTimestampRun(timestamps, console);
  return 1;
}
