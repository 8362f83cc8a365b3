#include "output/output_formats.h"

#include <algorithm>
#include <cinttypes>

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "output/output_catalogue.h"
#include "output/wav_container.h"

namespace {

constexpr const char* kMatBySize =
    "# INFO: %s needs up to %" PRIu64 " bytes, more than the %" PRIu64
    " bytes of a MAT v5 variable: it is written as MAT v7.3 (HDF5)\n";
constexpr const char* kMatAsked = "# INFO: %s is written as MAT v7.3 (HDF5), as -mat73 asks\n";
constexpr const char* kRf64 =
    "# INFO: %" PRId64 " audio samples do not fit a RIFF WAV (4 GiB): completeSensorAudio.wav is "
    "written as RF64\n";
constexpr const char* kTooManyRows =
    "# ERROR: %s field %s would hold %" PRId64 " rows, more than the %" PRId64
    " rows an output array holds\n";

// What a MAT v5 file spends on one array beyond its elements, generously:
// the element's tag, array flags, dimensions, name, the data's tag and padding.
constexpr uint64_t kArrayOverhead = 256;
// The scalars, short rows, nested structs and field-name tables of a file.
constexpr uint64_t kFixedOverhead = 64 * 1024;
// Text is stored with at most 4 bytes per character.
constexpr uint64_t kTextBytesPerChar = 4;
// A mask entry: its value (at most a double) and its 32-bit row index.
constexpr uint64_t kMaskEntryBytes = 8 + 4;

uint64_t rowsOf(int64_t count) { return count > 0 ? static_cast<uint64_t>(count) : 0; }

uint64_t doubleArrayBytes(int64_t rows, int columns) {
  return kArrayOverhead + rowsOf(rows) * static_cast<uint64_t>(columns) * sizeof(double);
}

int64_t sourceCount(const HuxCounts& hux, const TivCounts& tiv, Board board, int32_t source) {
  return board == Board::kHux ? hux[source] : tiv[source];
}

int dataOutChannelCount(bool withTiv) { return withTiv ? kDataOutChannels : kDataOutHuxChannels; }

int completeDataChannelCount(bool withTiv) {
  return withTiv ? kCompleteDataChannels : kCompleteDataHuxChannels;
}

int64_t dataOutRows(const PassCounters& scan, const DataOutEntry& entry) {
  return sourceCount(scan.huxSampleTotals, scan.tivSampleTotals, entry.board, entry.rowsSource);
}

// Rows of a completeData owner: its source's aligned count; the smallest of
// the three for the magnetometer.
int64_t completeDataRows(const PassCounters& scan, int32_t record) {
  const CompleteDataEntry& entry = kCompleteDataCatalogue[record];
  if (record == kMagRecord) {
    const TivCounts& a = scan.tivAlignedCounts;
    return std::min({a[kTivXMag], a[kTivYMag], a[kTivZMag]});
  }
  return sourceCount(scan.huxAlignedCounts, scan.tivAlignedCounts, entry.board, entry.source);
}

// Filled rows of an owner's mask: at most the samples its source was short.
int64_t completeDataFills(const PassCounters& scan, int32_t record, int64_t rows) {
  const CompleteDataEntry& entry = kCompleteDataCatalogue[record];
  const int64_t found =
      sourceCount(scan.huxSampleTotals, scan.tivSampleTotals, entry.board, entry.source);
  return std::clamp<int64_t>(completeDataRows(scan, record) - found, 0, std::max<int64_t>(rows, 0));
}

[[noreturn]] void refuseRows(const char* file, const char* field, int64_t rows, Console& console) {
  console.out(kTooManyRows, file, field, rows, kMaxArrayRows);
  exitRun(console, exit_status::kTooManyRows);
}

void checkRowLimits(const OutputSelection& selection, bool withTiv, const PassCounters& scan,
                    Console& console) {
  if (selection.dataOut) {
    for (int r = 0; r < dataOutChannelCount(withTiv); ++r) {
      const int64_t rows = dataOutRows(scan, kDataOutCatalogue[r]);
      if (rows > kMaxArrayRows) refuseRows("dataOut.mat", kDataOutCatalogue[r].name, rows, console);
    }
  }
  if (selection.completeData) {
    for (int r = 0; r < completeDataChannelCount(withTiv); ++r) {
      if (kCompleteDataCatalogue[r].owner >= 0) continue;
      const int64_t rows = completeDataRows(scan, r);
      if (rows > kMaxArrayRows) {
        refuseRows("completeData.mat", kCompleteDataCatalogue[r].name, rows, console);
      }
    }
  }
}

MatVersion chooseAndReport(const char* file, uint64_t v5Bytes, bool forceMat73, Console& console) {
  const MatVersion version = chooseMatVersion(v5Bytes, forceMat73);
  if (version != MatVersion::kMat73) return version;
  if (v5Bytes > kMatV5VariableLimit) {
    console.out(kMatBySize, file, v5Bytes, kMatV5VariableLimit);
  } else {
    console.out(kMatAsked, file);
  }
  return version;
}

}  // namespace

uint64_t dataOutV5Bytes(const PassCounters& scan, bool withTiv, size_t textBytes) {
  uint64_t bytes = kFixedOverhead + kTextBytesPerChar * textBytes;
  for (int r = 0; r < dataOutChannelCount(withTiv); ++r) {
    const DataOutEntry& entry = kDataOutCatalogue[r];
    const int64_t rows = dataOutRows(scan, entry);
    bytes += doubleArrayBytes(rows, 1) * (entry.ownTime ? 2 : 1);
  }
  return bytes;
}

uint64_t completeDataV5Bytes(const PassCounters& scan, bool withTiv, size_t textBytes) {
  uint64_t bytes = kFixedOverhead + kTextBytesPerChar * textBytes;
  for (int r = 0; r < completeDataChannelCount(withTiv); ++r) {
    const CompleteDataEntry& entry = kCompleteDataCatalogue[r];
    if (entry.owner >= 0) continue;
    const int64_t rows = completeDataRows(scan, r);
    // Data, first/last time (1x2), sample rate (1x1) and mask.
    bytes += doubleArrayBytes(rows, entry.columns) + doubleArrayBytes(1, 2) + doubleArrayBytes(1, 1);
    bytes += kArrayOverhead + static_cast<uint64_t>(completeDataFills(scan, r, rows)) * kMaskEntryBytes;
  }
  return bytes;
}

MatVersion chooseMatVersion(uint64_t v5Bytes, bool forceMat73) {
  return forceMat73 || v5Bytes > kMatV5VariableLimit ? MatVersion::kMat73 : MatVersion::kMat5;
}

OutputFormats chooseOutputFormats(const OutputSelection& selection, const InputFileInfo& reference,
                                  const PassCounters& scan, size_t textBytes, Console& console) {
  const bool withTiv = reference.hasTiv != 0;
  checkRowLimits(selection, withTiv, scan, console);

  OutputFormats formats;
  const int64_t audioFrames = scan.huxAlignedCounts[kHuxAudio];
  formats.wavFormat = wavFileFormat(audioFrames);
  if (selection.wav && scan.huxSampleTotals[kHuxAudio] != 0 && isRf64Format(formats.wavFormat)) {
    console.out(kRf64, audioFrames);
  }
  if (selection.dataOut) {
    formats.dataOut = chooseAndReport("dataOut.mat", dataOutV5Bytes(scan, withTiv, textBytes),
                                      selection.forceMat73, console);
  }
  if (selection.completeData) {
    formats.completeData =
        chooseAndReport("completeData.mat", completeDataV5Bytes(scan, withTiv, textBytes),
                        selection.forceMat73, console);
  }
  return formats;
}
