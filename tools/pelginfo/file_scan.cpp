#include "file_scan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>

#include "common/console.h"
#include "driver/header_checks.h"
#include "input/packet_reader.h"

namespace {

// The read buffer of the quick pass: large reads, few calls.
constexpr int32_t kScanBufferSize = 1 << 20;

// A stream that swallows what the reader prints; pelginfo reports damage
// from the position log instead.
struct NullStream {
  FILE* stream = std::fopen("/dev/null", "w");
  ~NullStream() {
    if (stream) std::fclose(stream);
  }
};

// Counts the damage events of the reader's position log (one line each).
void tallyPositionLog(const char* text, FileScan& scan) {
  int64_t searchStart = -1;
  for (const char* line = text; line && *line;) {
    const char* end = std::strchr(line, '\n');
    const std::string entry(line, end ? static_cast<size_t>(end - line) : std::strlen(line));
    const char* pos = std::strchr(entry.c_str(), ',');
    const long long offset = pos ? std::strtoll(pos + 1, nullptr, 10) : 0;
    if (entry.find("\"ERR_SEARCH_START\"") != std::string::npos) {
      ++scan.damagedStretches;
      searchStart = offset;
    } else if (entry.find("\"ERR_SEARCH_END\"") != std::string::npos) {
      if (searchStart >= 0) scan.bytesSkipped += offset - searchStart;
      searchStart = -1;
    } else if (entry.find("BADCRC\"") != std::string::npos) {
      ++scan.badChecksums;
    } else if (entry.find("\"E_NODATA_LEN\"") != std::string::npos) {
      scan.cutShort = true;
    }
    line = end ? end + 1 : nullptr;
  }
}

void countPackets(InputFile& file, FileScan& scan, Console& quiet) {
  auto reader = std::make_unique<PacketReader>();
  initPacketReader(*reader, quiet);
  bindPacketReader(*reader, file, kScanBufferSize);
  // Nothing is decoded into samples; the decoders still check every message.
  reader->huxCalibration.interruptLimit = scan.header.huxInfo.interrupt_count;
  reader->tivInterruptLimit = scan.header.tivInfo.interrupt_count;

  char* logText = nullptr;
  size_t logSize = 0;
  reader->positionLog = open_memstream(&logText, &logSize);
  while (reader->active) {
    if (nextPacket(*reader) != 1) break;
    ++scan.packets;
    const int64_t timestamp = reader->lastTimestamp;
    if (scan.firstPacketMs < 0) scan.firstPacketMs = timestamp;
    scan.lastPacketMs = timestamp;
  }
  closePacketReader(*reader);  // closes the position log, which completes logText
  if (logText) {
    tallyPositionLog(logText, scan);
    std::free(logText);
  }
}

}  // namespace

FileScan scanFile(const std::string& path, InputOpener& opener) {
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
  fillInputFileInfo(scan.record, file.header, 0, scan.carriesTiv ? 1 : -1);
  scan.record.hasTiv = scan.carriesTiv ? 1 : 0;
  if (scan.carriesTiv) fillTivBoardInfo(scan.record, file.header.tivInfo);

  countPackets(file, scan, quiet);
  closeInput(file);
  if (scan.packets == 0) scan.problem = kNoPackets;
  return scan;
}
