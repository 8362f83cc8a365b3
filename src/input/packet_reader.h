// Delivers the packets of one PELG file, one per nextPacket call, in three
// steps: framing (validates the 10-byte packet header, hunts byte by byte for
// the next plausible header after damage), screening (the two-clock
// judgements: a jump of the logger's clock, a timestamp outlier, a foreign
// stretch, a duplicated sector) and dispatch (the payload by the kind of the
// device the packet id names: HUX2 and microphone payloads to the HUX2
// decoder, TIV payloads to the TIV decoder, SiRF payloads to the side file).
// A reader only consumes bytes of the packets it frames; decoders see exactly
// the payload. Every damage event goes to the reader's DamageReporter.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/console.h"
#include "common/output_file.h"
#include "decoders/hux2_decoder.h"
#include "decoders/sample_buffers.h"
#include "decoders/tiv_decoder.h"
#include "input/board_track.h"
#include "input/damage_reporter.h"
#include "input/input_file.h"
#include "input/read_buffer.h"
#include "input/reader_view.h"
#include "input/recent_packets.h"

struct PacketReader {
  bool active = false;
  InputFile* file = nullptr;
  ReadBuffer buffer;
  HuxSamples huxSamples;
  HuxStatus huxStatus;
  HuxCalibrationState huxCalibration;
  HuxEnables huxEnabled{};
  TivSamples tivSamples;
  TivStatus tivStatus;
  int32_t tivInterruptLimit = 0;
  TivEnables tivEnabled{};
  bool sirfEnabled = false;
  OutputFile* sirfOutput = nullptr;  // the GPS side file, owned by the caller

  uint32_t lastTimestamp = 0;
  Console* console = nullptr;          // read errors and the timestamps that moved backwards
  DamageReporter* reporter = nullptr;  // every damage event (not owned)
  // Damage screening: each board's clock as the packets taken in left it,
  // the packets delivered last, whether damage (a hunt, a rejected board
  // message) came right before the next packet, the packets after damage
  // still checked for being repeats, and a buffer for reading ahead over a
  // suspect stretch.
  BoardTrack huxTrack;
  BoardTrack tivTrack;
  RecentPackets recent;
  bool damageBefore = false;
  int32_t repeatCheckLeft = 0;
  // The file's first packets are still to be judged by the boards' clocks
  // carried from the file before (see carryBoardTracks).
  bool startToJudge = false;
  ReadBuffer scanBuffer;
};

// Gives every field its starting value (closing nothing).
void initPacketReader(PacketReader& reader, Console& console, DamageReporter& reporter);

// The read buffer's capacity for a requested one: at least a packet and the
// packets looked at after it.
int32_t readerCapacity(int32_t requested);

// Attaches the file (whose stream stands at the first packet) and a read buffer
// of readerCapacity(capacity) bytes; sets active and clears both enable sets.
void bindPacketReader(PacketReader& reader, InputFile& file, int32_t capacity);

// Carries the boards' tracks of the file before (whose file started
// `startShiftMs` earlier) into a reader just bound to the next file of the
// recording, so that damage at the file's start is judged by the time line:
// a stretch at the start whose board counters lie off it, up to where they
// return, and which holds a cut edge (bytes that frame no packet), is a stale
// block of another recording and is dropped as foreign data (counters off to
// the file's end, or a stretch that frames cleanly, are the file's own).
void carryBoardTracks(PacketReader& reader, const BoardTrack& hux, const BoardTrack& tiv, int64_t startShiftMs);

// Looks at the bytes at the read position without consuming them. Returns 1
// valid, -1 fewer than 10 bytes left, -2 valid but the packet does not fit in
// the remaining data, -3 bad id, -4 bad timestamp, -5 bad length.
int readPacketHeader(PacketReader& reader, PacketHeader& header);

// Processes exactly one packet. Returns 1 a packet was processed, -1 end of
// data, -2 the last packet is cut short; after -1 or -2 the reader is inactive.
// Damage costs only itself: a packet whose timestamp alone jumped ahead is
// kept without moving the last timestamp; after damage (a hunt, a rejected
// board message), packets that repeat one delivered shortly before (a
// duplicated sector) and a stretch whose board counters lie off the
// recording's time line (a stale block of another recording) are dropped,
// each with a warning, and never delivered; so is, after damage, a board
// message at or a little behind its board's last one that repeats a recent
// message whatever its timestamp. The board counters vote on the time line's decisions: a jump of
// the timestamps over 100 s, an outlier, a header the hunt comes upon.
int nextPacket(PacketReader& reader);

// Releases the buffers.
void closePacketReader(PacketReader& reader);
