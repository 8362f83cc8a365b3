// The formats of the three outputs, chosen once the scan pass has counted
// every channel and before any output is created: the container of the WAV
// file (see wav_container.h) and the version of each MAT-file. Also the
// refusal of what no format of this converter holds.
//
// A MAT v5 variable holds at most 2^31 - 1 bytes: MATLAB refuses to save a
// larger one in v5 or v7, and readers such as GNU Octave take its size as a
// signed 32-bit count. Each MAT-file holds one struct variable, so all of its
// content counts. A MAT-file whose content could pass that is written as
// MAT v7.3 (HDF5), and so is every MAT-file when v7.3 is asked for; any other
// keeps MAT v5. The arrays of either version hold at most 2^31 - 1 rows here
// (the array sizes of the MAT interface are 32-bit); a channel that would
// need more ends the run before any output exists.
#pragma once

#include <sndfile.h>

#include <cstddef>
#include <cstdint>

#include "common/console.h"
#include "common/input_file_info.h"
#include "common/pass_counters.h"
#include "output/mat_file.h"

inline constexpr uint64_t kMatV5VariableLimit = 0x7FFFFFFF;
inline constexpr int64_t kMaxArrayRows = 0x7FFFFFFF;

// A sample count as an array dimension: -1 for a count beyond the row limit
// (which chooseOutputFormats refuses before any output exists).
inline int32_t arrayRows(int64_t count) {
  return count >= 0 && count <= kMaxArrayRows ? static_cast<int32_t>(count) : -1;
}

struct OutputFormats {
  int wavFormat = SF_FORMAT_WAV | SF_FORMAT_PCM_16;  // libsndfile format of the WAV file
  MatVersion dataOut = MatVersion::kMat5;
  MatVersion completeData = MatVersion::kMat5;
};

// Which outputs are written and whether v7.3 is asked for.
struct OutputSelection {
  bool wav = true;
  bool dataOut = true;
  bool completeData = true;
  bool forceMat73 = false;
};

// Upper bounds of the bytes that the variable of dataOut.mat and of
// completeData.mat takes in a MAT v5 file, from the scan pass's counts;
// textBytes is the length of the provenance texts together.
uint64_t dataOutV5Bytes(const PassCounters& scan, bool withTiv, size_t textBytes);
uint64_t completeDataV5Bytes(const PassCounters& scan, bool withTiv, size_t textBytes);

// The version for a MAT-file whose v5 variable would take v5Bytes.
MatVersion chooseMatVersion(uint64_t v5Bytes, bool forceMat73);

// Checks the row limit of every array of the selected MAT-files, then
// chooses the formats and prints one INFO line per output that is not
// written in its usual format (RIFF WAV, MAT v5). When an array would pass
// the row limit, prints the ERROR lines naming it and throws FatalError(-1).
OutputFormats chooseOutputFormats(const OutputSelection& selection, const InputFileInfo& reference,
                                  const PassCounters& scan, size_t textBytes, Console& console);
