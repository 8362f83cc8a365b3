// What pelginfo learns of one PELG file: its header, read by the converter's
// own header checks, and one quick pass over its packets through the
// converter's packet reader, counting packets and damage.
#pragma once

#include <cstdint>
#include <string>

#include "common/damage_counts.h"
#include "common/input_file_info.h"
#include "input/file_header.h"
#include "input/input_file.h"

struct FileScan {
  std::string path;
  int64_t sizeBytes = -1;
  // Empty when the file can be converted; else why it belongs to no recording.
  std::string problem;

  bool headerRead = false;    // the header and HUX information could be read
  FileHeader header;          // huxInfo, tivInfo and baro as the header gives them
  bool carriesTiv = false;
  InputFileInfo record;       // as validation fills it (TIV rates when carriesTiv)

  bool counted = true;        // false when only the first packet was read (the counts say nothing more)
  int64_t packets = 0;        // packets delivered
  DamageCounts damage;        // by kind, as the reader reported it
  int64_t firstPacketMs = -1; // packet timestamps, ms after the file's start
  int64_t lastPacketMs = -1;

  // Hunts over damaged bytes, failed checksums and a cut last packet.
  int64_t damagedPackets() const {
    return damage[DamageKind::skippedBytes].events + damage[DamageKind::badChecksum].events +
           damage[DamageKind::truncatedPacket].events;
  }
  bool cutShort() const { return damage[DamageKind::truncatedPacket].events > 0; }
  bool usable() const { return problem.empty(); }
};

// The reasons a file belongs to no recording.
inline constexpr const char* kCannotOpen = "cannot be opened";
inline constexpr const char* kNoPelgHeader = "does not have a PELG v2 header";
inline constexpr const char* kNoInfoData = "no calibration/info data";
inline constexpr const char* kBadInterruptRate = "interrupt rate must be positive";
inline constexpr const char* kNoPackets = "holds no packets";
inline constexpr const char* kRateOutOfRange = "'%s' rate %d is out of range (allowed %d to %d)";
inline constexpr const char* kSameFileAs = "the same file as ";  // followed by the earlier name

// Reads the file's header and, when it is usable, counts its packets; with
// countAll false it reads only as far as the first packet, which is
// enough to tell whether the file belongs to a recording.
FileScan scanFile(const std::string& path, InputOpener& opener, bool countAll = true);
