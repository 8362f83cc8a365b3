#include "pelg_builder/pelg_builder.h"

#include <cstdio>
#include <stdexcept>

namespace pelgbuild {
namespace {

void putU8(Bytes& out, uint8_t v) { out.push_back(v); }
void putU16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void putU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}
void putU64(Bytes& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}
void putTag(Bytes& out, const std::string& tag) {
  for (size_t i = 0; i < 4; ++i) out.push_back(i < tag.size() ? static_cast<uint8_t>(tag[i]) : ' ');
}
void putEntries(Bytes& out, const std::vector<Entry>& entries) {
  for (const Entry& e : entries) {
    putTag(out, e.tag);
    putU8(out, e.type);
    putU32(out, static_cast<uint32_t>(e.data.size()));
    out.insert(out.end(), e.data.begin(), e.data.end());
  }
}

// Writes the message head and reserves nothing more; returns the offset of byte 0.
size_t beginMessage(Bytes& out, uint8_t subtype, uint8_t countOrMask, uint8_t timeCounter,
                    uint16_t interruptCounter) {
  const size_t start = out.size();
  putU8(out, 0x23);
  putU8(out, 0x7C);
  putU8(out, subtype);
  putU8(out, countOrMask);
  putU8(out, timeCounter);
  putU16(out, interruptCounter);
  return start;
}

// Appends the checksum of the message that starts at `start`; returns its size.
size_t endMessage(Bytes& out, size_t start) {
  uint8_t sum = 0;
  for (size_t i = start + 2; i < out.size(); ++i) sum = static_cast<uint8_t>(sum + out[i]);
  putU8(out, sum);
  return out.size() - start;
}

}  // namespace

Entry intEntry(const std::string& tag, int32_t value) {
  Entry e{tag, {}, 0};
  putU32(e.data, static_cast<uint32_t>(value));
  return e;
}

std::vector<Entry> huxEntries(const HuxSchedule& s) {
  return {intEntry("intr", s.interrupt_count), intEntry("mic ", s.mic_hz),
          intEntry("acc ", s.accelerometer_hz), intEntry("amb ", s.amb_light_hz),
          intEntry("bar ", s.barometer_hz),     intEntry("comp", s.compass_hz),
          intEntry("dals", s.dals_hz),          intEntry("hum ", s.humidity_hz),
          intEntry("powr", s.power),            intEntry("bdnr", s.boardNumber),
          intEntry("hver", s.hardwareVersion),  intEntry("swma", s.majorVersion),
          intEntry("swmi", s.minorVersion),     intEntry("wd01", s.word1),
          intEntry("wd02", s.word2),            intEntry("wd03", s.word3),
          intEntry("wd04", s.word4)};
}

std::vector<Entry> tivEntries(const TivSchedule& s) {
  return {intEntry("intr", s.interrupt_count), intEntry("gyro", s.gyro),
          intEntry("mag ", s.magnetometer),    intEntry("powr", s.power),
          intEntry("bdnr", s.boardNumber),     intEntry("hver", s.hardwareVersion),
          intEntry("swma", s.majorVersion),    intEntry("swmi", s.minorVersion),
          intEntry("wd01", s.word1),           intEntry("wd02", s.word2),
          intEntry("wd03", s.word3),           intEntry("wd04", s.word4)};
}

Device huxDevice(const HuxSchedule& schedule) { return Device{"hux2", huxEntries(schedule)}; }
Device tivDevice(const TivSchedule& schedule) { return Device{"tiv ", tivEntries(schedule)}; }
Device plainDevice(const std::string& tag) { return Device{tag, {}}; }

PelgHeader standardHeader(uint64_t startTime, const HuxSchedule& hux,
                          const std::optional<TivSchedule>& tiv) {
  PelgHeader header;
  header.startTime = startTime;
  header.devices.push_back(huxDevice(hux));
  header.devices.push_back(plainDevice("sgps"));
  if (tiv) header.devices.push_back(tivDevice(*tiv));
  return header;
}

size_t appendHuxAudio(Bytes& out, uint8_t timeCounter, uint16_t interruptCounter,
                      const int16_t* samples, size_t count) {
  const size_t start = beginMessage(out, 8, static_cast<uint8_t>(count), timeCounter, interruptCounter);
  for (size_t i = 0; i < count; ++i) putU16(out, static_cast<uint16_t>(samples[i] ^ 0x8000));
  return endMessage(out, start);
}

size_t appendHuxSensor(Bytes& out, uint8_t timeCounter, uint16_t interruptCounter,
                       const HuxReadings& r) {
  uint8_t mask = 0;
  if (r.accel) mask |= 0x01;
  if (r.visLight) mask |= 0x02;
  if (r.irLight) mask |= 0x04;
  if (r.compass) mask |= 0x08;
  if (r.baroPressure) mask |= 0x10;
  if (r.baroTemp) mask |= 0x20;
  if (r.humidity) mask |= 0x40;
  if (r.shtTemp) mask |= 0x80;
  const uint8_t subtype = r.hfLight ? 1 : 0;
  const size_t start = beginMessage(out, subtype, mask, timeCounter, interruptCounter);
  if (r.accel)
    for (int16_t axis : *r.accel) putU16(out, static_cast<uint16_t>(axis));
  if (r.hfLight) {
    putU8(out, r.hfLight->first);
    putU16(out, r.hfLight->second);
  }
  if (r.baroTemp) putU16(out, *r.baroTemp);
  if (r.baroPressure) putU16(out, *r.baroPressure);
  if (r.compass) putU16(out, *r.compass);
  if (r.visLight) putU8(out, *r.visLight);
  if (r.irLight) putU8(out, *r.irLight);
  if (r.shtTemp) putU16(out, *r.shtTemp);
  if (r.humidity) putU16(out, *r.humidity);
  return endMessage(out, start);
}

size_t appendTivSensor(Bytes& out, uint8_t timeCounter, uint16_t interruptCounter,
                       const TivReadings& r) {
  uint8_t mask = 0;
  if (r.gyro) mask |= 0x01;
  if (r.magX) mask |= 0x02;
  if (r.magY) mask |= 0x04;
  if (r.magZ) mask |= 0x08;
  const size_t start = beginMessage(out, 0, mask, timeCounter, interruptCounter);
  if (r.gyro)
    for (int16_t v : *r.gyro) putU16(out, static_cast<uint16_t>(v));
  if (r.magX) putU16(out, static_cast<uint16_t>(*r.magX));
  if (r.magY) putU16(out, static_cast<uint16_t>(*r.magY));
  if (r.magZ) putU16(out, static_cast<uint16_t>(*r.magZ));
  return endMessage(out, start);
}

size_t appendTivAux(Bytes& out, uint8_t subtype) {
  size_t length = 0;
  switch (subtype & 0xFE) {
    case 2: length = 18; break;
    case 4: length = 5; break;
    case 0x80: length = 9; break;
    default: length = 7; break;
  }
  const size_t start = out.size();
  putU8(out, 0x23);
  putU8(out, 0x7C);
  putU8(out, subtype);
  for (size_t i = 3; i < length; ++i) putU8(out, static_cast<uint8_t>(i * 7));
  return endMessage(out, start);
}

size_t appendSirf(Bytes& out, const Bytes& receiverBytes) {
  const size_t start = out.size();
  const uint8_t header[7] = {0xA0, 0xA2, 0x00, static_cast<uint8_t>(receiverBytes.size()), 0, 0, 0};
  // Byte by byte: g++ 12 at -O3 misreads a range insert into a fresh vector
  // as an overflow (-Wstringop-overflow).
  for (uint8_t b : header) out.push_back(b);
  for (uint8_t b : receiverBytes) out.push_back(b);
  return out.size() - start;
}

Bytes huxAudio(uint8_t timeCounter, uint16_t interruptCounter, const std::vector<int16_t>& samples) {
  Bytes out;
  appendHuxAudio(out, timeCounter, interruptCounter, samples.data(), samples.size());
  return out;
}
Bytes huxSensor(uint8_t timeCounter, uint16_t interruptCounter, const HuxReadings& readings) {
  Bytes out;
  appendHuxSensor(out, timeCounter, interruptCounter, readings);
  return out;
}
Bytes tivSensor(uint8_t timeCounter, uint16_t interruptCounter, const TivReadings& readings) {
  Bytes out;
  appendTivSensor(out, timeCounter, interruptCounter, readings);
  return out;
}
Bytes tivAux(uint8_t subtype) {
  Bytes out;
  appendTivAux(out, subtype);
  return out;
}
Bytes sirf(const Bytes& receiverBytes) {
  Bytes out;
  appendSirf(out, receiverBytes);
  return out;
}

void sealMessage(Bytes& message) {
  if (message.size() < 3) return;
  uint8_t sum = 0;
  for (size_t i = 2; i + 1 < message.size(); ++i) sum = static_cast<uint8_t>(sum + message[i]);
  message.back() = sum;
}

void corruptChecksum(Bytes& message) {
  if (!message.empty()) message.back() = static_cast<uint8_t>(message.back() + 1);
}

Bytes encodeHeader(const PelgHeader& header) {
  Bytes out;
  putTag(out, header.magic);
  putU32(out, header.version);
  putU64(out, header.startTime);
  putU32(out, static_cast<uint32_t>(header.globalEntries.size()));
  putEntries(out, header.globalEntries);
  putU32(out, static_cast<uint32_t>(header.devices.size()));
  for (const Device& d : header.devices) {
    putTag(out, d.tag);
    putU32(out, d.parameter);
    putU16(out, d.recordSize);
    putU16(out, d.parameter2);
    putU32(out, static_cast<uint32_t>(d.entries.size()));
    putEntries(out, d.entries);
  }
  return out;
}

void appendPacket(Bytes& out, uint16_t id, uint32_t timestamp, const uint8_t* payload, uint32_t length) {
  putU16(out, id);
  putU32(out, timestamp);
  putU32(out, length);
  out.insert(out.end(), payload, payload + length);
}

PelgBuilder::PelgBuilder(const PelgHeader& header) : bytes_(encodeHeader(header)) {}

PelgBuilder& PelgBuilder::packet(uint16_t id, uint32_t timestamp, const Bytes& payload) {
  appendPacket(bytes_, id, timestamp, payload.data(), static_cast<uint32_t>(payload.size()));
  return *this;
}

PelgBuilder& PelgBuilder::packetWithLength(uint16_t id, uint32_t timestamp, uint32_t declaredLength,
                                           const Bytes& payload) {
  putU16(bytes_, id);
  putU32(bytes_, timestamp);
  putU32(bytes_, declaredLength);
  bytes_.insert(bytes_.end(), payload.begin(), payload.end());
  return *this;
}

PelgBuilder& PelgBuilder::raw(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

PelgBuilder& PelgBuilder::cut(size_t n) {
  bytes_.resize(n > bytes_.size() ? 0 : bytes_.size() - n);
  return *this;
}

void PelgBuilder::writeTo(const std::string& path) const {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + path);
  const size_t written = std::fwrite(bytes_.data(), 1, bytes_.size(), f);
  const bool closed = std::fclose(f) == 0;
  if (written != bytes_.size() || !closed) throw std::runtime_error("cannot write " + path);
}

}  // namespace pelgbuild
