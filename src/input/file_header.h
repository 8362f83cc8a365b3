// The PELG file header: magic, version, start time, global tagged entries and
// device blocks; and the HUX and TIV information blocks drawn from the entries.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "input/pelg_format.h"

struct InfoEntry {
  uint32_t tag = 0;  // four characters as a little-endian value
  uint8_t type = 0;  // kept, not interpreted
  uint32_t length = 0;
  std::vector<uint8_t> data;
};

struct DeviceRecord {
  DeviceKind kind = DeviceKind::unknown;
  uint32_t tag = 0;
  uint32_t parameter = 0;   // kept, not interpreted
  uint32_t recordSize = 0;  // as read, or the kind's override
  uint32_t parameter2 = 0;  // kept, not interpreted
  int32_t entryCount = 0;
  std::vector<InfoEntry> entries;
};

// Sampling schedule and identity of the HUX2 board. Rates are in tenths of a
// hertz except mic_hz, which is in hertz.
struct HuxInfo {
  int32_t interrupt_count = 0;  // "intr"
  int32_t mic_hz = 0;           // "mic " or "mics"
  int32_t accelerometer_hz = 0; // "acc "
  int32_t amb_light_hz = 0;     // "amb "
  int32_t barometer_hz = 0;     // "bar "
  int32_t compass_hz = 0;       // "comp"
  int32_t dals_hz = 0;          // "dals"
  int32_t humidity_hz = 0;      // "hum "
  int32_t power = 0;            // "powr"
  int32_t reserved = 0;         // never filled
  int32_t boardNumber = 0;      // "bdnr"
  int32_t hardwareVersion = 0;  // "hver"
  int32_t majorVersion = 0;     // "swma"
  int32_t minorVersion = 0;     // "swmi"
  int32_t word1 = 0;            // "wd01" .. "wd04": barometer calibration words
  int32_t word2 = 0;
  int32_t word3 = 0;
  int32_t word4 = 0;
};

struct TivInfo {
  int32_t interrupt_count = 0;  // "intr"
  int32_t gyro = 0;             // "gyro"
  int32_t magnetometer = 0;     // "mag "
  int32_t power = 0;            // "powr"
  int32_t boardNumber = 0;      // "bdnr"
  int32_t hardwareVersion = 0;  // "hver"
  int32_t majorVersion = 0;     // "swma"
  int32_t minorVersion = 0;     // "swmi"
  int32_t word1 = 0;            // "wd01" .. "wd04"
  int32_t word2 = 0;
  int32_t word3 = 0;
  int32_t word4 = 0;
};

// Barometer coefficients derived from the low 16 bits of word1..word4.
struct BaroCoefficients {
  int32_t C1 = 0, C2 = 0, C3 = 0, C4 = 0, C5 = 0, C6 = 0;
};

struct FileHeader {
  int32_t deviceCount = 0;
  std::vector<DeviceRecord> devices;
  uint64_t startTime = 0;
  int32_t globalEntryCount = 0;
  std::vector<InfoEntry> globalEntries;
  TivInfo tivInfo;  // left as it was when a file has no TIV device
  HuxInfo huxInfo;  // left as it was for tags a file does not carry
  BaroCoefficients baro;
};

// Clears the header lists and the start time; keeps the information blocks.
void clearHeaderLists(FileHeader& header);

// Reads the whole header from the stream's current position (the start of the
// file). False on a wrong magic or version, a short read, or a count or length
// that cannot fit in the rest of the file; in every case nothing is allocated
// for such a count. On success the stream stands at the first packet.
bool readHeader(FileHeader& header, FILE* stream);

// The kind of a device tag; unknown for a tag outside the format's table.
DeviceKind deviceKindOf(uint32_t tag);

// The record size a device block of this kind is given: 74 for hux, 24 for
// ltln, 5 for ant8, and the size read from the file for every other kind.
uint32_t deviceRecordSize(DeviceKind kind, uint32_t recordSizeAsRead);

// Stores the value of every entry whose tag is in the set into its field of
// target (HuxInfo or TivInfo) and returns how many entries matched. An entry
// shorter than 4 bytes gives its bytes present, zero-filled.
int applyInfoEntries(const InfoEntry* entries, int32_t count, HuxInfo& target);
int applyInfoEntries(const InfoEntry* entries, int32_t count, TivInfo& target);

// Fills huxInfo from the hux2 and mic devices, or from the global entries when
// those give nothing, and derives baro. False when no HUX information is present.
bool extractHuxInfo(FileHeader& header);

// Fills tivInfo from the first tiv device. False when there is none or it
// carries no recognised entry.
bool extractTivInfo(FileHeader& header);

BaroCoefficients deriveBaroCoefficients(const HuxInfo& info);
