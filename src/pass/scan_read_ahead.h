// The scan pass's reading side on a thread of its own: a PacketSource reads
// every file (framing, screening, decoding: the larger half of the scan's
// work; the files' bytes read ahead on a third thread) while the pass's
// timing side places the packets on the calling thread, so that both run at
// once on two cores.
//
// Contract: the reading thread appends, in its order, records into the
// chunks of a ChunkQueue: every console line the source and the input opener
// print (through a forwarding console), every damage event, each file's start
// and opening, each packet with an accepted board message (what the timing
// side reads of the reader: both boards' statuses, counters and sample
// counts, the last timestamp, the repeat check) and each file's readout.
// play() takes them back in that order on the calling thread: it prints the
// lines through the run's console and calls the timing side, whose reader
// (a mirror of the reading thread's) holds exactly what the reading thread's
// held at that packet. The console, the records and the counters therefore
// come out as in a serial pass. The reading thread writes nothing of the
// input records (the timing side fills them, packetsRead included), so a
// failure leaves them as a serial pass would: a failure of the reading side
// is rethrown by play() in its place, after the lines it printed; a failure of
// the timing side stops the reading thread at its next hand-over, and the
// destructor joins it.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/chunk_queue.h"
#include "common/console.h"
#include "common/input_file_info.h"
#include "common/pass_observer.h"
#include "common/run_options.h"
#include "input/damage_reporter.h"
#include "input/input_file.h"
#include "input/packet_reader.h"
#include "pass/packet_source.h"

class ScanReadAhead : public ConsoleForward, public DamageReporter {
 public:
  // What the pass does with what was read, in the reading order. damage():
  // an event the reader reported.
  class TimingSide : public DamageReporter {
   public:
    // File `index` of the pass's order comes next (before it is opened).
    virtual void fileStarted(int index) = 0;
    virtual void fileOpened(int32_t huxInterruptCount, int32_t tivInterruptCount) = 0;
    // The packets read in the current file: at its end, or at the failure
    // that ended the pass.
    virtual void readSoFar(int64_t packetsRead) = 0;
    // A packet in which the reader accepted a board message.
    virtual void packet(PacketReader& reader, int32_t packetNumber) = 0;
    virtual void fileEnded(const FileReadout& readout) = 0;
  };

  // Starts reading files[0..fileCount-1] (their validated fields are read,
  // never written); the opener prints on the reading thread's console until
  // the object goes. observer, when given, is told of each file and of the
  // bytes read, from the reading thread.
  ScanReadAhead(const InputFileInfo* files, int fileCount, const std::vector<std::string>& names,
                const RunOptions& options, InputOpener& opener, Console& console, PassObserver* observer);
  ~ScanReadAhead() override;
  ScanReadAhead(const ScanReadAhead&) = delete;
  ScanReadAhead& operator=(const ScanReadAhead&) = delete;

  // Hands every record to the timing side and the console; rethrows the
  // reading side's failure in its place.
  void play(TimingSide& side);

  // The reading thread's console and damage reporter.
  void forwardLine(bool toErr, const char* format, const char* text, size_t length) override;
  void damage(const DamageEvent& event) override;

 private:
  void read();
  void putPacket(const PacketReader& reader, int32_t packetNumber, int64_t packetsRead);
  void playChunk(const ChunkQueue::Chunk& chunk, TimingSide& side);

  const InputFileInfo* files_;
  int fileCount_;
  const std::vector<std::string>& names_;
  const RunOptions& options_;
  InputOpener& opener_;
  Console& console_;
  PassObserver* observer_;
  Console forwarding_;  // the reading thread's
  Console& openerBefore_;

  ChunkQueue queue_;
  // What ended the reading thread early, and the packets it had read in its
  // file then; read after the queue's end.
  std::exception_ptr failure_;
  int64_t failedAfter_ = 0;
  std::thread thread_;

  std::unique_ptr<PacketReader> mirror_;  // the timing side's view of the reader
  int64_t packetsRead_ = 0;  // in its file, up to the packet the timing side was last given
};
