// Writes PELG recordings byte by byte: the file header with its global entries
// and device blocks, packets, and the board messages they carry (HUX2 audio and
// sensor messages, TIV sensor and auxiliary messages, SiRF receiver payloads),
// each with its checksum. Damage is made on purpose with the raw-byte, cut and
// corrupt helpers. Used by the tests and by the recording simulator.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelgbuild {

using Bytes = std::vector<uint8_t>;

// A tagged entry: four-character tag, type byte, data.
struct Entry {
  std::string tag;  // padded or cut to four characters
  Bytes data;
  uint8_t type = 0;
};

// An entry whose data is the 32-bit little-endian value.
Entry intEntry(const std::string& tag, int32_t value);

struct Device {
  std::string tag;  // "hux2", "mic ", "tiv ", "sgps", ...
  std::vector<Entry> entries;
  uint32_t parameter = 0;
  uint16_t recordSize = 0;
  uint16_t parameter2 = 0;
};

struct PelgHeader {
  uint64_t startTime = 0;  // milliseconds since the Unix epoch
  std::vector<Entry> globalEntries;
  std::vector<Device> devices;
  std::string magic = "PELG";
  uint32_t version = 2;
};

// The HUX2 board's schedule and identity as header entries. Rates are in
// tenths of a hertz, except mic_hz in hertz.
struct HuxSchedule {
  int32_t interrupt_count = 5120;  // 512 Hz
  int32_t mic_hz = 8000;
  int32_t accelerometer_hz = 1000;
  int32_t amb_light_hz = 100;
  int32_t barometer_hz = 100;
  int32_t compass_hz = 100;
  int32_t dals_hz = 100;
  int32_t humidity_hz = 100;
  int32_t power = 1;
  int32_t boardNumber = 0x1234;
  int32_t hardwareVersion = 2;
  int32_t majorVersion = 1;
  int32_t minorVersion = 7;
  // Barometer calibration words (low 16 bits used).
  int32_t word1 = 0xB8F2, word2 = 0x9A4B, word3 = 0xBD18, word4 = 0xC4A6;
};

struct TivSchedule {
  int32_t interrupt_count = 5120;
  int32_t gyro = 1000;
  int32_t magnetometer = 100;
  int32_t power = 1;
  int32_t boardNumber = 0x0042;
  int32_t hardwareVersion = 1;
  int32_t majorVersion = 3;
  int32_t minorVersion = 2;
  int32_t word1 = 11, word2 = 22, word3 = 33, word4 = 44;
};

std::vector<Entry> huxEntries(const HuxSchedule& schedule);
std::vector<Entry> tivEntries(const TivSchedule& schedule);
Device huxDevice(const HuxSchedule& schedule);  // tag "hux2"
Device tivDevice(const TivSchedule& schedule);  // tag "tiv "
Device plainDevice(const std::string& tag);     // no entries ("sgps", "gps ", ...)

// Device ids of standardHeader: 0 hux2, 1 sgps, 2 tiv (when present).
inline constexpr uint16_t kHuxId = 0;
inline constexpr uint16_t kSirfId = 1;
inline constexpr uint16_t kTivId = 2;
PelgHeader standardHeader(uint64_t startTime, const HuxSchedule& hux = {},
                          const std::optional<TivSchedule>& tiv = std::nullopt);

// HUX2 sensor readings; a reading that is set is carried (its mask bit set).
struct HuxReadings {
  std::optional<std::array<int16_t, 3>> accel;
  std::optional<std::pair<uint8_t, uint16_t>> hfLight;  // gain, count
  std::optional<uint16_t> baroTemp;                     // D2
  std::optional<uint16_t> baroPressure;                 // D1
  std::optional<uint16_t> compass;
  std::optional<uint8_t> visLight;
  std::optional<uint8_t> irLight;
  std::optional<uint16_t> shtTemp;
  std::optional<uint16_t> humidity;
};

struct TivReadings {
  std::optional<std::array<int16_t, 6>> gyro;  // x, y, z, then temperatures x, y, z
  std::optional<int16_t> magX, magY, magZ;
};

// Message encoders append to out (which keeps its capacity, so a caller that
// reuses it allocates nothing per message) and return the bytes appended.
size_t appendHuxAudio(Bytes& out, uint8_t timeCounter, uint16_t interruptCounter,
                      const int16_t* samples, size_t count);
size_t appendHuxSensor(Bytes& out, uint8_t timeCounter, uint16_t interruptCounter,
                       const HuxReadings& readings);
size_t appendTivSensor(Bytes& out, uint8_t timeCounter, uint16_t interruptCounter,
                       const TivReadings& readings);
// Auxiliary TIV message of subtype 2 (18 bytes + checksum), 4 (5) or 0x80 (9).
size_t appendTivAux(Bytes& out, uint8_t subtype);
// SiRF payload: byte 3 is the count, receiver bytes from offset 7.
size_t appendSirf(Bytes& out, const Bytes& receiverBytes);

// Convenience forms returning a new message. Audio samples are signed values;
// on the wire they are offset binary.
Bytes huxAudio(uint8_t timeCounter, uint16_t interruptCounter, const std::vector<int16_t>& samples);
Bytes huxSensor(uint8_t timeCounter, uint16_t interruptCounter, const HuxReadings& readings);
Bytes tivSensor(uint8_t timeCounter, uint16_t interruptCounter, const TivReadings& readings);
Bytes tivAux(uint8_t subtype);
Bytes sirf(const Bytes& receiverBytes);

// Recomputes the checksum byte of a message of length L (at offset L).
void sealMessage(Bytes& message);
// Makes the checksum wrong.
void corruptChecksum(Bytes& message);

// Builds one PELG file in memory.
class PelgBuilder {
 public:
  explicit PelgBuilder(const PelgHeader& header);
  PelgBuilder() = default;  // no header: raw bytes only

  PelgBuilder& packet(uint16_t id, uint32_t timestamp, const Bytes& payload);
  // A packet whose length field says `declaredLength` whatever the payload holds.
  PelgBuilder& packetWithLength(uint16_t id, uint32_t timestamp, uint32_t declaredLength,
                                const Bytes& payload);
  PelgBuilder& raw(const Bytes& bytes);
  // Drops the last n bytes written (a cut file).
  PelgBuilder& cut(size_t n);

  const Bytes& bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }
  void writeTo(const std::string& path) const;  // throws std::runtime_error on failure

 private:
  Bytes bytes_;
};

// The encoded header alone.
Bytes encodeHeader(const PelgHeader& header);
// Appends a packet header and payload.
void appendPacket(Bytes& out, uint16_t id, uint32_t timestamp, const uint8_t* payload, uint32_t length);

}  // namespace pelgbuild
