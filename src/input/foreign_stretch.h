// Finds a stretch of foreign packets after damage. A block of another
// recording left on a reused card frames and checksums as well as this
// recording's packets, but its board counters lie off this recording's time
// line (see BoardTrack). Where the reader had to hunt for a header, the scan
// reads on from the header it found, without moving the reader, and judges
// the first timed board message: on the time line, nothing is foreign; off
// it, the stretch runs to the first timed board message back on the time
// line, or to the end of the file.
#pragma once

#include <cstdint>

#include "input/reader_view.h"

struct ForeignStretch {
  bool found = false;      // the packets from `begin` on are foreign
  bool toEnd = false;      // they run to the end of the file
  int64_t begin = 0;       // file offset of the first foreign packet
  int64_t end = 0;         // file offset where this recording's packets resume (the file's size when toEnd)
  int64_t packets = 0;     // packets framed inside the stretch
};

// Scans from file offset `begin`, the first packet after damage, whose
// timestamp the reader takes as `firstTimestamp` (the last one when its own
// is an outlier), through the view's scan buffer. The stream position is
// left as it was.
ForeignStretch findForeignStretch(const ReaderView& reader, int64_t begin, uint32_t firstTimestamp);
