// The output state of a run: everything the WAV writer, the dataOut writer and
// the completeData writer keep between the creation of the outputs, the
// packets of the write pass and the closing. The driver owns one ParseState
// for the whole run; initParseState sets it to the state below before the
// outputs are created.
#pragma once

#include <sndfile.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "common/channels.h"
#include "common/console.h"
#include "common/input_file_info.h"
#include "common/output_file.h"
#include "output/mat_array.h"
#include "output/mat_file.h"
#include "output/output_catalogue.h"
#include "output/output_formats.h"
#include "output/records_by_source.h"

inline constexpr int kWavBufferSize = 20480;
// The buffer is written out once it holds this many samples (128 short of full).
inline constexpr int kWavFlushThreshold = 20352;
// The disk is asked to start writing the WAV file every this many samples
// (8 MiB), so that it writes during the pass instead of all at the end.
inline constexpr int64_t kWavWritebackSamples = int64_t{1} << 22;

inline constexpr int32_t kMaskInitialCapacity = 1024;
inline constexpr int32_t kMaskGrowthStep = 500;  // the least a full mask grows by

// One dataOut channel: a double column of values in arrival order and, for a
// channel with its own time field, a column of packet times row for row.
struct DataOutChannel {
  MatArray data;  // rows x 1
  MatArray time;  // rows x 1; empty for a channel without its own time field
  double* dataElements = nullptr;  // null while rows is 0
  double* timeElements = nullptr;
  const char* name = nullptr;  // into the constant catalogue
  std::string timeName;
  int32_t source = -1;        // -1: not fed by the per-source loop
  int32_t expectedRows = -1;
  int32_t position = 0;       // rows written
};

// The missing-sample mask of a completeData owner: a sparse logical column
// whose rows are true where the data was filled rather than measured.
struct MissingSampleMask {
  MatArray array;  // rows x 1
  uint8_t* values = nullptr;
  uint32_t* rowIndices = nullptr;
  uint32_t* columnStarts = nullptr;
  int32_t entries = 0;
  int32_t capacity = 0;
};

// One completeData channel on the uniform time base. An owner has its data
// array (rows x 1 or rows x 3), first/last time (1x2), sample rate (1x1) and
// mask; a column view (accelY, magZ, ...) has only name, source, expected
// rows, position and dataElements pointing into column 2 or 3 of its owner.
struct CompleteDataChannel {
  MatArray data;
  MatArray time;
  MatArray sampleRate;
  double* dataElements = nullptr;
  double* timeElements = nullptr;
  double* sampleRateElements = nullptr;
  const char* name = nullptr;
  std::string timeName;
  std::string sampleRateName;
  int32_t source = -1;
  int32_t expectedRows = -1;
  int32_t position = 0;
  MissingSampleMask mask;
};

struct CloseWav {
  void operator()(SNDFILE* file) const { sf_close(file); }
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

  SF_INFO wavFormat{};
  // The file libsndfile writes through its descriptor. Declared before the
  // handle, so that the handle is closed first when the state goes.
  OutputFile wavOutput;
  std::unique_ptr<SNDFILE, CloseWav> wavFile;  // null while no WAV file is open
  std::string wavPath;
  int64_t wavPosition = 0;  // audio samples accounted for: written, buffered or filled
  std::array<int16_t, kWavBufferSize> wavBuffer{};
  int32_t wavBufferFill = 0;
  int64_t wavSamplesSinceWriteback = 0;  // written since the disk was last asked to write

  MatFile dataOutFile;
  MatArray dataOutStruct;
  std::string dataOutPath;
  int32_t dataOutChannelCount = kDataOutHuxChannels;
  std::array<DataOutChannel, kDataOutChannels> dataOutChannels;
  RecordsBySource dataOutHuxRecords;  // the created records of each source
  RecordsBySource dataOutTivRecords;

  MatFile completeDataFile;
  MatArray completeDataStruct;
  std::string completeDataPath;
  int32_t completeDataChannelCount = kCompleteDataHuxChannels;
  std::array<CompleteDataChannel, kCompleteDataChannels> completeDataChannels;
  RecordsBySource completeDataHuxRecords;  // the created records of each source
  RecordsBySource completeDataTivRecords;

  // sirfGPSOutput.bin, which the packet reader appends the GPS receiver bytes to.
  OutputFile sirfOutput;
  std::string sirfPath;
};
