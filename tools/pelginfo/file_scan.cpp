#include "file_scan.h"

#include <cstdio>
#include <memory>
#include <sys/stat.h>

#include "common/console.h"
#include "driver/header_checks.h"
#include "driver/header_rates.h"
#include "input/packet_reader.h"

namespace {

// The read buffer of the quick pass: large reads, few calls.
constexpr int32_t kScanBufferSize = 1 << 20;

// A stream that swallows what the reader prints; pelginfo counts the damage
// through the reader's reporter instead.
struct NullStream {
  FILE* stream = std::fopen("/dev/null", "w");
  ~NullStream() {
    if (stream) std::fclose(stream);
  }
};

void countPackets(InputFile& file, FileScan& scan, Console& quiet, bool all) {
  auto reader = std::make_unique<PacketReader>();
  DamageTally tally;
  initPacketReader(*reader, quiet, tally);
  bindPacketReader(*reader, file, kScanBufferSize);
  // Nothing is decoded into samples; the decoders still check every message.
  reader->huxCalibration.interruptLimit = scan.header.huxInfo.interrupt_count;
  reader->tivInterruptLimit = scan.header.tivInfo.interrupt_count;

  while (reader->active) {
    if (nextPacket(*reader) != 1) break;
    ++scan.packets;
    const int64_t timestamp = reader->lastTimestamp;
    if (scan.firstPacketMs < 0) scan.firstPacketMs = timestamp;
    scan.lastPacketMs = timestamp;
    if (!all) break;
  }
  closePacketReader(*reader);
  scan.damage = tally.counts;
}

}  // namespace

FileScan scanFile(const std::string& path, InputOpener& opener, bool countAll) {
  FileScan scan;
  scan.path = path;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) scan.sizeBytes = static_cast<int64_t>(info.st_size);

  NullStream null;
  Console quiet(null.stream, null.stream);
  InputFile file;
  switch (readInputHeader(file, path, opener, scan.carriesTiv)) {
    case HeaderReadResult::ok:
      break;
    case HeaderReadResult::cannotOpen:
      scan.problem = kCannotOpen;
      return scan;
    case HeaderReadResult::noPelgHeader:
      scan.problem = kNoPelgHeader;
      closeInput(file);
      return scan;
    case HeaderReadResult::noInfoData:
      scan.problem = kNoInfoData;
      closeInput(file);
      return scan;
  }
  scan.headerRead = true;
  scan.header = file.header;
  if (!interruptRatesUsable(file.header, scan.carriesTiv)) {
    scan.problem = kBadInterruptRate;
    closeInput(file);
    return scan;
  }
  // The converter refuses a header whose rates the boards cannot produce.
  if (const auto fault = firstRateOutOfRange(file.header.huxInfo,
                                             scan.carriesTiv ? &file.header.tivInfo : nullptr)) {
    char reason[160];
    std::snprintf(reason, sizeof reason, kRateOutOfRange, fault->tag, fault->value, fault->low,
                  fault->high);
    scan.problem = reason;
    closeInput(file);
    return scan;
  }
  fillInputFileInfo(scan.record, file.header, 0, scan.carriesTiv ? 1 : -1);
  scan.record.hasTiv = scan.carriesTiv ? 1 : 0;
  if (scan.carriesTiv) fillTivBoardInfo(scan.record, file.header.tivInfo);

  scan.counted = countAll;
  countPackets(file, scan, quiet, countAll);
  closeInput(file);
  if (scan.packets == 0) scan.problem = kNoPackets;
  return scan;
}
