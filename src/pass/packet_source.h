// The reading side of a packet pass: opens the ordered input files one
// after another, checks each header, prepares the packet reader for the file
// (the boards' tracks carried over from the file before, the barometer's
// calibration, the channels to store) and reads its packets one by one,
// skipping the blacklisted ones, with the progress lines the pass prints.
//
// Contract: the source prints on the console it is given and reports damage
// to the reporter it is given; it writes nothing of the input records but
// reads their validated fields, so that the pass's timing side, on the same
// thread or another, alone fills them. announce(), open(), then step() until
// it returns false, then finish(): per file, in the pass's order. A fatal
// condition (a file that cannot be reopened, a header that fails) prints its
// lines and throws FatalError. Whatever ends the pass, the current file is
// closed when the source goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/input_file_info.h"
#include "common/output_file.h"
#include "common/pass_observer.h"
#include "common/run_options.h"
#include "input/damage_reporter.h"
#include "input/file_prefetch.h"
#include "input/input_file.h"
#include "input/packet_reader.h"

// What the reader left at the end of a file, for the file's record.
struct FileReadout {
  int32_t huxLastTimeCounter = -1;
  int32_t huxLastInterruptCounter = -1;
  bool tivRead = false;  // the file and every one before it carry TIV information
  int32_t tivLastTimeCounter = -1;
  int32_t tivLastInterruptCounter = -1;
  int64_t lastPacketMs = -1;
};

// Fills the record's end-of-file fields from the readout.
void applyFileReadout(InputFileInfo& info, const FileReadout& readout);

// How a source reads.
struct SourceMode {
  // The channels whose readings keep their values, for the outputs (see
  // SampleBuffers::valuesKept); the others' are counted alone.
  uint32_t huxValuesKept = ~uint32_t{0};
  uint32_t tivValuesKept = ~uint32_t{0};
  // Each file's bytes read ahead on a thread of the source's own (FilePrefetch).
  bool prefetch = false;
};

class PacketSource {
 public:
  // names: the argument list that fileNumber indexes; gps: the GPS side file
  // the write pass appends to, null in the scan pass; observer: told of the
  // bytes read, may be null.
  PacketSource(const std::vector<std::string>& names, const RunOptions& options, InputOpener& opener,
               Console& console, DamageReporter& damage, OutputFile* gps, PassObserver* observer,
               SourceMode mode = {});
  ~PacketSource() { close(); }
  PacketSource(const PacketSource&) = delete;
  PacketSource& operator=(const PacketSource&) = delete;

  // Prints the file's progress line.
  void announce(const InputFileInfo& info);
  // Opens the file, checks its header and prepares the reader.
  void open(const InputFileInfo& info);
  // Reads the next packet (numbered from 1 within the file; the call that
  // finds the end of the data gets a number too); false once the file has
  // no more. The reader's board statuses then tell which board messages it
  // accepted.
  bool step();
  // Prints the file's closing progress line, closes it and tells what the
  // reader left.
  FileReadout finish();

  PacketReader& reader() { return *reader_; }
  const std::string& nameOf(const InputFileInfo& info) const;
  int32_t packetNumber() const { return packetNumber_; }
  int64_t packetsRead() const { return packetsRead_; }  // in the current file
  // The interrupt counts of the open file's header (0: the board has none).
  int32_t huxInterruptCount() const { return file_.header.huxInfo.interrupt_count; }
  int32_t tivInterruptCount() const { return file_.header.tivInfo.interrupt_count; }

 private:
  void prepareReader(const InputFileInfo& info);
  int consumeBlacklistedPacket();
  void close();

  const std::vector<std::string>& names_;
  const RunOptions& options_;
  InputOpener& opener_;
  Console& console_;
  DamageReporter& damage_;
  OutputFile* gps_;
  PassObserver* observer_;
  uint32_t huxValuesKept_;
  uint32_t tivValuesKept_;

  InputFile file_;
  bool fileOpen_ = false;
  // The files' bytes read ahead, when asked for; null otherwise.
  std::unique_ptr<FilePrefetch> prefetch_;
  std::unique_ptr<PacketReader> reader_;
  int32_t packetNumber_ = 0;
  int64_t packetsRead_ = 0;
  int64_t startTimeBefore_ = -1;  // header start time of the file before, ms; -1 for none
  // Leading files with TIV information so far in this pass; -1 once a file
  // without it has been read.
  int32_t tivFileTally_ = 0;
  const std::string noName_;
};
