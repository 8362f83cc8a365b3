// What reading ahead of the read position needs of a packet reader, and no
// more: the stream with the reader's buffer (refilled, never consumed) and a
// buffer for scanning far ahead, the device table that names each packet
// id's board, the boards' interrupt limits and the boards' tracks. The look-
// ahead and the foreign-stretch scan work through it, so that they cannot
// move the reader on or change what it has taken in.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "common/console.h"
#include "input/board_track.h"
#include "input/file_header.h"
#include "input/read_buffer.h"

struct PacketHeader {
  uint16_t id = 0;
  uint32_t timestamp = 0;
  uint32_t length = 0;
};

struct ReaderView {
  ReadBuffer& buffer;
  ReadBuffer& scanBuffer;
  FILE* stream;
  const std::vector<DeviceRecord>& devices;
  int32_t huxInterruptLimit;
  int32_t tivInterruptLimit;
  const BoardTrack& huxTrack;
  const BoardTrack& tivTrack;
  Console& console;  // told of read errors
};
