// The output state of a run: what the outputs share (the reference file, the
// options, the console) and one state per writer, each owning its file, its
// layout and its buffers, kept between the creation of the outputs, the
// packets of the write pass and the closing. The driver owns one ParseState
// for the whole run; initParseState sets it to the state below before the
// outputs are created. Nothing in it grows with the recording.
#pragma once

#include <sndfile.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/cache_line.h"
#include "common/channels.h"
#include "common/console.h"
#include "common/input_file_info.h"
#include "common/output_file.h"
#include "output/column_buffer.h"
#include "output/mat_file.h"
#include "output/mat_layout.h"
#include "output/output_catalogue.h"
#include "output/output_formats.h"
#include "output/records_by_source.h"
#include "output/write_behind.h"

inline constexpr int kWavBufferSize = 20480;
// The buffer is written out once it holds this many samples (128 short of full).
inline constexpr int kWavFlushThreshold = 20352;
// The disk is asked to start writing the WAV file every this many samples
// (8 MiB), so that it writes during the pass instead of all at the end.
inline constexpr int64_t kWavWritebackSamples = int64_t{1} << 22;

struct CloseWav {
  void operator()(SNDFILE* file) const { sf_close(file); }
};

// Takes the WAV writer's blocks of samples to be written elsewhere, in the
// order handed over; the samples are taken before the call returns.
class WavBlockSink {
 public:
  virtual ~WavBlockSink() = default;
  virtual void writeBlock(const int16_t* samples, int32_t count) = 0;
};

// completeSensorAudio.wav, written through libsndfile.
struct WavWriter {
  SF_INFO format{};
  // The file libsndfile writes through its descriptor. Declared before the
  // handle, so that the handle is closed first when the state goes.
  OutputFile output;
  std::unique_ptr<SNDFILE, CloseWav> file;  // null while no WAV file is open
  std::string path;
  int64_t samplesSinceWriteback = 0;  // written since the disk was last asked to write
  // From here on the fields the pass writes for every packet of audio; on a
  // cache line of their own, apart from the file's, which the outputs'
  // thread writes through.
  alignas(kCacheLine) int64_t position = 0;  // audio samples accounted for: written, buffered or filled
  std::array<int16_t, kWavBufferSize> buffer{};
  int32_t bufferFill = 0;
  // Where the writer's lines go: the run's console, or, while the write pass
  // has the outputs written on a thread of their own, the pass's (the writer
  // runs on the pass's thread).
  Console* console = nullptr;
  // While set, takes the buffered samples in place of the file: the outputs'
  // thread writes them (writeWavBlock) in their place among its lines.
  WavBlockSink* sink = nullptr;
};

// One dataOut channel: a double column of values in arrival order and, for a
// channel with its own time field, a column of packet times row for row.
struct DataOutChannel {
  ColumnBuffer data;  // rows x 1
  ColumnBuffer time;  // rows x 1; unbound for a channel without its own time field
  int32_t dataNode = -1;  // in the layout
  int32_t timeNode = -1;
  const char* name = nullptr;  // into the constant catalogue
  std::string timeName;
  int32_t source = -1;        // -1: not fed by the per-source loop
  int32_t expectedRows = -1;
  int32_t position = 0;       // rows written
};

struct DataOutWriter {
  MatFile file;
  MatLayout layout;
  std::string path;
  int32_t channelCount = kDataOutHuxChannels;
  std::array<DataOutChannel, kDataOutChannels> channels;
  RecordsBySource huxRecords;  // the created records of each source
  RecordsBySource tivRecords;
};

// The missing-sample mask of a completeData owner: a sparse logical column
// whose rows are true where the data was filled rather than measured.
struct MissingSampleMask {
  MaskBuffer rows;  // the filled rows, in order
  int32_t node = -1;
  int64_t entries = 0;
};

// One completeData channel on the uniform time base. An owner has its data
// array (rows x 1 or rows x 3), first/last time (1x2), sample rate (1x1) and
// mask; a column view (accelY, magZ, ...) writes column 2 or 3 of its
// owner's array and has neither times nor mask.
struct CompleteDataChannel {
  ColumnBuffer data;
  int32_t dataNode = -1;  // in the layout; a view's is its owner's
  int32_t timeNode = -1;
  bool hasData = false;   // rows to store into
  double lastStored = 1.0;  // the value of row position - 1, the fill of a gap
  double time[2] = {-1.0, -1.0};  // of the first and the latest packet
  const char* name = nullptr;
  int32_t source = -1;
  int32_t columns = 1;
  int32_t expectedRows = -1;
  int32_t position = 0;
  MissingSampleMask mask;
};

struct CompleteDataWriter {
  MatFile file;
  MatLayout layout;
  std::string path;
  int32_t channelCount = kCompleteDataHuxChannels;
  std::array<CompleteDataChannel, kCompleteDataChannels> channels;
  RecordsBySource huxRecords;  // the created records of each source
  RecordsBySource tivRecords;
  // Each source's samples per interrupt of its board (samplesPerInterrupt).
  std::array<double, kHuxChannelCount> huxPerInterrupt{};
  std::array<double, kTivChannelCount> tivPerInterrupt{};
};

struct ParseState {
  Console* console = nullptr;  // where every output message goes

  const HuxCounts* alignedCounts = nullptr;  // the scan pass's huxAlignedCounts
  const InputFileInfo* reference = nullptr;  // record 0 of the sorted table
  int32_t fileCount = 0;
  std::string programName;
  bool integerOutput = false;
  bool wavEnabled = false;
  bool dataOutEnabled = false;
  bool completeDataEnabled = false;
  OutputFormats formats;  // chosen from the scan pass's counts before creation

  // Each writer starts on a cache line of its own: while the outputs are
  // written on a thread of their own, the pass writes the WAV writer's
  // buffer and the GPS file for every packet, and that thread the MAT
  // writers' fields. Sharing a line, each write would take it from the
  // other core.
  alignas(kCacheLine) WavWriter wav;
  alignas(kCacheLine) DataOutWriter dataOut;
  alignas(kCacheLine) CompleteDataWriter completeData;

  // sirfGPSOutput.bin, which the packet reader appends the GPS receiver bytes to.
  alignas(kCacheLine) OutputFile sirfOutput;
  std::string sirfPath;

  // The threads that write behind the pass, none in a serial run. Last, so
  // that they are stopped (dropping what a failed run left queued) before
  // the writers whose files they write go.
  std::vector<std::unique_ptr<WriteBehind>> workers;
};
