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
#include "pass/board_clock.h"
#include "pass/missing_samples.h"
#include "pass/output_pipeline.h"
#include "pass/packet_source.h"
#include "pass/scan_read_ahead.h"
#include "pass/timestamp_file.h"

namespace {

constexpr const char* kBreakAfterDamage =
    "# WARNING: %s, PELG Packet %6d, its board counters break the time line right after damage: its readings "
    "are dropped\n";

constexpr char kHuxTimestampLetter = 'M';
constexpr char kTivTimestampLetter = 'L';

// The readings whose values the pass's outputs take: none in the scan, the
// audio alone when neither MAT-file is written.
SourceMode sourceModeFor(const ParseState* output) {
  SourceMode mode;
  if (!output) {
    mode.huxValuesKept = 0;
    mode.tivValuesKept = 0;
  } else if (!output->dataOutEnabled && !output->completeDataEnabled) {
    mode.huxValuesKept = uint32_t{1} << kHuxAudio;
    mode.tivValuesKept = 0;
  }
  return mode;
}

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

// The timing side of one run of the packet pass over the ordered files:
// places every accepted board message on its board's time line (both board
// clocks), accounts its samples, keeps the time line's gaps and pauses, and
// hands the packet to the outputs or the plan. It reads the packets with a
// source of its own (readFile), or is told of them in the same order by a
// source on another thread (as a ScanReadAhead::TimingSide); either way it
// sees of them only what the reader's statuses, sample counts and screening
// state tell, and the records, counters and console lines come out the same.
class PacketPass : public ScanReadAhead::TimingSide {
 public:
  PacketPass(const std::vector<std::string>& names, const RunOptions& options, PassCounters& counters,
             ParseState* output, CompleteDataPlan* plan, OutputFile* timestamps, InputFileInfo* files,
             InputOpener& opener, Console& console, PassObserver* observer, OutputPipeline* pipeline)
      : pipeline_(pipeline),
        timestamps_(timestamps),
        plan_(plan),
        files_(files),
        options_(options),
        counters_(counters),
        output_(output),
        console_(console),
        damage_(console),
        source_(names, options, opener, console, damage_, output ? sirfGpsOutputOf(*output) : nullptr,
                observer, sourceModeFor(output)) {}

  // Reads and places the packets of file `index` of the pass's order with
  // the pass's own source.
  void readFile(int index);

  void fileStarted(int index) override;
  void fileOpened(int32_t huxInterruptCount, int32_t tivInterruptCount) override;
  void packet(PacketReader& reader, int32_t packetNumber) override {
    handlePacket(files_[fileIndex_], reader, packetNumber);
  }
  void readSoFar(int64_t packetsRead) override { files_[fileIndex_].packetsRead = packetsBefore_ + packetsRead; }
  void fileEnded(const FileReadout& readout) override;
  void damage(const DamageEvent& event) override { damage_.damage(event); }

 private:
  // A packet just read: the reader's statuses tell which board messages it
  // accepted.
  void handlePacket(InputFileInfo& info, PacketReader& reader, int32_t packetNumber);
  const std::string& nameOf(const InputFileInfo& info) const { return source_.nameOf(info); }
  // The logger's time of the packet just read: the file's start time plus
  // the packet's timestamp, in milliseconds.
  static int64_t wallMs(const InputFileInfo& info, const PacketReader& reader) {
    return static_cast<int64_t>(info.startTime) + reader.lastTimestamp;
  }
  void handleTivPacket(InputFileInfo& info, PacketReader& reader, int32_t packetNumber);
  void handleHuxPacket(InputFileInfo& info, PacketReader& reader, int32_t packetNumber);
  void handOver(PacketReader& reader, int32_t packetNumber);
  void noteTimeLineStep(bool pause, int64_t before, int64_t bridgedBefore, int32_t packetNumber);
  bool breakAfterDamage(const BoardClock& clock, const BoardFileTiming& timing, const BoardPacketContext& packet,
                        const PacketReader& reader, int32_t ts, int32_t ic);
  bool place(BoardClock& clock, const BoardFileTiming& timing, const char* boardLabel, int32_t interruptsPerStep,
             int64_t wall, const PacketReader& reader, int32_t packetNumber, int32_t ts, int32_t ic) {
    return advanceBoardClockSteadily(clock, timing, interruptsPerStep, ts, ic, wall) ||
           placeOtherwise(clock, timing, boardLabel, interruptsPerStep, wall, reader, packetNumber, ts, ic);
  }
  bool placeOtherwise(BoardClock& clock, const BoardFileTiming& timing, const char* boardLabel,
                      int32_t interruptsPerStep, int64_t wall, const PacketReader& reader, int32_t packetNumber,
                      int32_t ts, int32_t ic);

  OutputPipeline* pipeline_;  // the outputs' own thread in a write pass that has one, else null
  OutputFile* timestamps_;  // timestamps.txt in a timestamp-mode pass, else null
  CompleteDataPlan* plan_;  // null but in a scan pass that plans the outputs
  InputFileInfo* files_;  // the sorted table; record 0 is the reference
  const RunOptions& options_;
  PassCounters& counters_;
  ParseState* output_;  // null in the scan pass
  Console& console_;
  ConsoleDamageReporter damage_;  // the damage lines, counted into the file's record
  PacketSource source_;  // readFile's; idle while another thread reads

  BoardClock hux_;
  BoardClock tiv_;
  // How each channel's samples are accounted in the current file.
  std::array<RateForm, kHuxChannelCount> huxForms_{};
  std::array<RateForm, kTivChannelCount> tivForms_{};
  int32_t fileIndex_ = -1;  // the current file's index in the pass's order
  // The current file's header interrupt counts.
  int32_t huxInterruptCount_ = 0;
  int32_t tivInterruptCount_ = 0;
  int64_t packetsBefore_ = 0;  // the current record's packetsRead when the pass came to it
  const char* fileName_ = "";  // the current file's name, as the clocks' warnings give it
};

// Keeps the step the HUX2 packet just placed made on the time line when it
// is a gap or a pause before a later file: more than a second, or bridging a
// roll-over, or a later file's start after the tail it repeats.
void PacketPass::noteTimeLineStep(bool pause, int64_t before, int64_t bridgedBefore, int32_t packetNumber) {
  counters_.plainRollovers = hux_.plainRollovers;
  counters_.bridgedRollovers = hux_.bridgedRollovers;
  const int64_t perSecond = files_[0].huxInterruptRate / 10;
  const bool bridged = hux_.bridgedRollovers > bridgedBefore;
  if (hux_.timeIndex - before <= perSecond && !bridged && !(pause && hux_.repeatReported)) return;
  TimeLineStep step;
  step.pause = pause;
  step.file = fileIndex_;
  step.packet = packetNumber;
  step.fromIndex = before;
  step.toIndex = hux_.timeIndex;
  step.rollovers = hux_.bridgedRollovers - bridgedBefore;
  step.filled = !hux_.repeatReported;
  counters_.gaps.push_back(step);
}

void PacketPass::handOver(PacketReader& reader, int32_t packetNumber) {
  if (pipeline_) {
    writePacketAudio(*output_, packetNumber, hux_.timeIndex, reader.huxSamples);
    pipeline_->packet(packetNumber, hux_.timeIndex, reader.huxSamples, reader.huxCalibration, tiv_.timeIndex,
                      reader.tivSamples);
  } else if (output_) {
    writePacketSamples(*output_, packetNumber, hux_.timeIndex, reader.huxSamples,
                       reader.huxCalibration, tiv_.timeIndex, reader.tivSamples);
  } else if (plan_) {
    planCompleteData(*plan_, hux_.timeIndex, reader.huxSamples, tiv_.timeIndex, reader.tivSamples);
  }
}

// Shortly after damage, a packet whose counters break the time line in a
// way neither clock explains is taken for damage the reader could not tell
// (its readings are dropped, with a warning) rather than ending the run;
// a break in undamaged framing is left to the roll-over check.
bool PacketPass::breakAfterDamage(const BoardClock& clock, const BoardFileTiming& timing,
                                  const BoardPacketContext& packet, const PacketReader& reader, int32_t ts,
                                  int32_t ic) {
  if (!options_.checkRollover || reader.repeatCheckLeft <= 0 || !breaksTimeLine(clock, timing, packet, ts, ic))
    return false;
  console_.out(kBreakAfterDamage, packet.boardLabel, packet.packetNumber);
  return true;
}

// A packet that does not make the common step: dropped (false) when it
// repeats the file before or breaks the time line right after damage, else
// placed by the board clock's full rules.
bool PacketPass::placeOtherwise(BoardClock& clock, const BoardFileTiming& timing, const char* boardLabel,
                                int32_t interruptsPerStep, int64_t wall, const PacketReader& reader,
                                int32_t packetNumber, int32_t ts, int32_t ic) {
  const BoardPacketContext packet{boardLabel, interruptsPerStep, packetNumber, options_.checkRollover, wall,
                                  fileName_};
  if (repeatsFileBefore(clock, timing, packet, ts, ic, console_) ||
      breakAfterDamage(clock, timing, packet, reader, ts, ic))
    return false;
  advanceBoardClock(clock, timing, packet, ts, ic, console_);
  return true;
}

void PacketPass::handleTivPacket(InputFileInfo& info, PacketReader& reader, int32_t packetNumber) {
  const int32_t ts = reader.tivStatus.timeCounter;
  const int32_t ic = reader.tivStatus.interruptCounter;
  if (timestamps_) writeTimestampLine(*timestamps_, kTivTimestampLetter, packetNumber, ts, ic);
  // Without a TIV interrupt rate, from this file's header or one read before
  // (a TIV device without a recognised entry in the first file), a TIV
  // message cannot be placed in time: it is left out of the time line and
  // the outputs.
  if (tivInterruptCount_ <= 0) {
    reader.tivSamples.clear();
    reader.tivStatus.channelCounts.fill(0);
    return;
  }
  if (!place(tiv_, tivFileTiming(info), "TIV", tivInterruptCount_, wallMs(info, reader), reader, packetNumber, ts,
             ic)) {
    reader.tivSamples.clear();
    reader.tivStatus.channelCounts.fill(0);
    return;
  }

  handOver(reader, packetNumber);
  accountPacket(reader.tivSamples, reader.tivStatus, counters_.tivSampleTotals,
                counters_.tivAlignedCounts, info.tivChannelRates, tivForms_, info.tivInterruptRate,
                tiv_.timeIndex, console_);
}

void PacketPass::handleHuxPacket(InputFileInfo& info, PacketReader& reader, int32_t packetNumber) {
  const int32_t ts = reader.huxStatus.timeCounter;
  const int32_t ic = reader.huxStatus.interruptCounter;
  if (timestamps_) writeTimestampLine(*timestamps_, kHuxTimestampLetter, packetNumber, ts, ic);
  // Dropping a packet changes neither the place it steps from nor the roll-overs.
  const int64_t before = hux_.prevTimeIndex >= 0 ? hux_.prevTimeIndex : hux_.lastTimeIndex;
  const bool pause = hux_.started && hux_.prevTimeIndex < 0;
  const int64_t bridgedBefore = hux_.bridgedRollovers;
  if (!place(hux_, huxFileTiming(info), "HUX", huxInterruptCount_, wallMs(info, reader), reader, packetNumber, ts,
             ic)) {
    reader.huxSamples.clear();
    reader.huxStatus.channelCounts.fill(0);
    return;
  }
  info.huxLastTimeIndex = hux_.timeIndex;
  noteTimeLineStep(pause, before, bridgedBefore, packetNumber);

  if (info.firstAudioIndex == -1 && info.huxChannelRates[kHuxAudio] > 0 &&
      reader.huxStatus.channelCounts[kHuxAudio] > 0)
    info.firstAudioIndex = hux_.timeIndex;

  handOver(reader, packetNumber);
  accountPacket(reader.huxSamples, reader.huxStatus, counters_.huxSampleTotals,
                counters_.huxAlignedCounts, info.huxChannelRates, huxForms_, info.huxInterruptRate,
                hux_.timeIndex, console_);
}

void PacketPass::handlePacket(InputFileInfo& info, PacketReader& reader, int32_t packetNumber) {
  if (reader.tivStatus.status == kDecodeAccepted) handleTivPacket(info, reader, packetNumber);
  reader.tivStatus.status = kDecodeNotBoardMessage;
  if (reader.huxStatus.status == kDecodeAccepted) handleHuxPacket(info, reader, packetNumber);
  reader.huxStatus.status = kDecodeNotBoardMessage;
}

void PacketPass::fileStarted(int index) {
  InputFileInfo& info = files_[index];
  fileIndex_ = index;
  fileName_ = nameOf(info).c_str();
  damage_.countInto(&info.damage);
  for (size_t c = 0; c < huxForms_.size(); ++c)
    huxForms_[c] = rateFormOf(info.huxChannelRates[c], info.huxInterruptRate);
  for (size_t c = 0; c < tivForms_.size(); ++c)
    tivForms_[c] = rateFormOf(info.tivChannelRates[c], info.tivInterruptRate);
  resetBoardClockForFile(hux_);
  resetBoardClockForFile(tiv_);
}

void PacketPass::fileOpened(int32_t huxInterruptCount, int32_t tivInterruptCount) {
  huxInterruptCount_ = huxInterruptCount;
  tivInterruptCount_ = tivInterruptCount;
  packetsBefore_ = files_[fileIndex_].packetsRead;
}

void PacketPass::fileEnded(const FileReadout& readout) {
  applyFileReadout(files_[fileIndex_], readout);
  damage_.countInto(nullptr);
}

void PacketPass::readFile(int index) {
  InputFileInfo& info = files_[index];
  source_.announce(info);
  fileStarted(index);
  source_.open(info);
  fileOpened(source_.huxInterruptCount(), source_.tivInterruptCount());
  // The record learns the packets read at the file's end, or at the failure
  // that ends the run: a store to it per packet costs the loop a fifth.
  try {
    while (source_.step()) handlePacket(info, source_.reader(), source_.packetNumber());
  } catch (...) {
    readSoFar(source_.packetsRead());
    throw;
  }
  readSoFar(source_.packetsRead());
  fileEnded(source_.finish());
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
      pass.readFile(i);
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
  // The scan reads ahead on a thread of its own when there are threads to
  // spare.
  if (!output && options.threads > 1 && !options.writeTimestampFile) {
    PacketPass pass(names, options, counters, nullptr, plan, nullptr, files, opener, console, observer, nullptr);
    ScanReadAhead readAhead(files, fileCount, names, options, opener, console, observer);
    readAhead.play(pass);
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
      pass.readFile(i);
    }
  }
  if (options.writeTimestampFile) finishTimestampRun(timestamps, console);
  return 1;
}
