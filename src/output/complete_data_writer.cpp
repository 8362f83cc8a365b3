#include "output/complete_data_writer.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdint>
#include <utility>

#include "common/fatal_error.h"
#include "common/output_file.h"
#include "output/struct_fields.h"

namespace {

constexpr const char* kOpening = "# INFO: Opening completeData.mat file: '%s'\n";
constexpr const char* kOpenFailed =
    "# ERROR: Unable to open completeData.mat for writing, check path/permissions\n";
constexpr const char* kStructFailed = "# ERROR: Unable to create completeData struct\n";
constexpr const char* kDataArrayFailed = "# ERROR: Unable to create new data array for field %s\n";
constexpr const char* kDataPointerFailed = "# ERROR: Unable to retrieve pointer for data field %s\n";
constexpr const char* kDimensions = "# ERROR: Dimensions: %d x %d\n";
constexpr const char* kMaskFailed =
    "# ERROR: Unable to create sparse logical matrix for data field %s\n";
constexpr const char* kMaskDimensions = "# ERROR: Dimensions: %d x %d (%d nonzero)\n";
constexpr const char* kTimeArrayFailed = "# ERROR: Unable to create new time array for field %s\n";
constexpr const char* kTimePointerFailed = "# ERROR: Unable to retrieve pointer for time field %s\n";
constexpr const char* kRateArrayFailed = "# ERROR: Unable to create new SR array for field %s\n";
constexpr const char* kUnequalMag =
    "# WARNING: Magnetometer samples are unequal, enforcing minimum size of %" PRId64 "\n";
constexpr const char* kMaskValuesGrowthFailed =
    "# ERROR: %15s, unable to reallocate sparse data array, new size %d\n";
constexpr const char* kMaskRowsGrowthFailed =
    "# ERROR: %15s, unable to reallocate sparse row array, new size %d\n";
constexpr const char* kCeiling =
    "# WARNING: completeData- Packet %6d, magnetometer artificial ceiling reached, sample "
    "dropped, for sensor %s\n";
constexpr const char* kFilling = "# WARNING: Packet %6d, Filling %3.0f missing samples for field %s\n";
constexpr const char* kAhead =
    "# ERROR: completeData- Packet %6d, Algorithm error, completeData field %s, exceeds expected "
    "amount, expected %d recieved %d\n";
constexpr const char* kPastEnd =
    "# ERROR: completeData- Packet %6d, Algorithm error, data has been written past the "
    "allocated bounds for sensor %s\n";
constexpr const char* kClosing = "# INFO: Closing completeData.mat\n";
constexpr const char* kMissingStructFailed =
    "# ERROR: Unable to create sparse struct for completeData\n";
constexpr const char* kFewerRows =
    "# WARNING: completeData, array for element %s contains %d elements, %d expected\n";
constexpr const char* kResizing =
    "# WARNING: completeData, resizing array, this may be caused by sensors which require "
    "another sensor to calibrate themselves\n";
constexpr const char* kResizeFailed =
    "# ERROR: completeData, Resize of data array failed, attempting to continue, empty elements "
    "will remain\n";
constexpr const char* kRowsDiffer =
    "# ERROR: completeData, array for element %s contains %d elements, %d expected\n";
constexpr const char* kMultiDimensional =
    "# ERROR: completeData, unable to resize multi-dimensional array! \n";
constexpr const char* kCorruption = "# ERROR: completeData, possible memory corruption!\n";
constexpr const char* kCloseFailed = "# ERROR: Write error while closing completeData.mat file\n";

[[noreturn]] void failArray(Console& console, const char* message, const char* name, int32_t rows,
                            int32_t columns) {
  console.out(message, name);
  console.out(kDimensions, rows, columns);
  exitRun(console, -1);
}

// A 1 x columns array of the given values, with the failure lines of a time
// or sample-rate field.
MatArray createSmallArray(int columns, double value, const std::string& name,
                          const char* createFailed, double*& elements, Console& console) {
  MatArray array = MatArray::doubleMatrix(1, columns);
  if (!array) failArray(console, createFailed, name.c_str(), 1, columns);
  elements = array.elements();
  // A missing pointer is reported with the time field's dimensions in both cases.
  if (!elements) failArray(console, kTimePointerFailed, name.c_str(), 1, 2);
  for (int i = 0; i < columns; ++i) elements[i] = value;
  return array;
}

void createOwner(CompleteDataChannel& channel, const CompleteDataEntry& entry, int32_t rows,
                 int32_t rate, Console& console) {
  channel.name = entry.name;
  channel.source = entry.source;
  channel.expectedRows = rows;
  channel.position = 0;

  channel.data = MatArray::doubleMatrix(rows, entry.columns);
  if (!channel.data) failArray(console, kDataArrayFailed, channel.name, rows, entry.columns);
  channel.dataElements = channel.data.elements();
  if (!channel.dataElements && rows > 0) {
    failArray(console, kDataPointerFailed, channel.name, rows, entry.columns);
  }

  MissingSampleMask& mask = channel.mask;
  mask.array = MatArray::sparseLogicalColumn(rows, kMaskInitialCapacity);
  if (!mask.array) {
    console.out(kMaskFailed, channel.name);
    console.out(kMaskDimensions, rows, 1, kMaskInitialCapacity);
    exitRun(console, -1);
  }
  mask.values = mask.array.sparseValues();
  mask.rowIndices = mask.array.sparseRowIndices();
  mask.columnStarts = mask.array.sparseColumnStarts();
  mask.entries = 0;
  mask.capacity = kMaskInitialCapacity;

  channel.timeName = std::string(entry.name) + "Time";
  channel.time = createSmallArray(2, -1.0, channel.timeName, kTimeArrayFailed,
                                  channel.timeElements, console);
  channel.sampleRateName = std::string(entry.name) + "_SR";
  channel.sampleRate = createSmallArray(1, rate / 10.0, channel.sampleRateName, kRateArrayFailed,
                                        channel.sampleRateElements, console);
}

void createView(CompleteDataChannel& view, const CompleteDataEntry& entry,
                const CompleteDataChannel& owner, Console& console) {
  view.name = entry.name;
  view.source = entry.source;
  view.expectedRows = owner.expectedRows;
  view.position = 0;
  view.dataElements =
      owner.dataElements ? owner.dataElements + static_cast<size_t>(entry.column) * owner.expectedRows
                         : nullptr;
  if (!view.dataElements && view.expectedRows > 0) {
    failArray(console, kDataPointerFailed, view.name, view.expectedRows, 3);
  }
}

void createRecords(ParseState& state, const int32_t* records, int count, const int32_t* rates,
                   const int64_t* alignedCounts, int64_t magRows, RecordsBySource& bySource) {
  for (int i = 0; i < count; ++i) {
    const int32_t r = records[i];
    const CompleteDataEntry& entry = kCompleteDataCatalogue[r];
    CompleteDataChannel& channel = state.completeDataChannels[r];
    bySource.add(entry.source, r);
    if (entry.owner >= 0) {
      createView(channel, entry, state.completeDataChannels[entry.owner], *state.console);
    } else {
      const int32_t rows = arrayRows(r == kMagRecord ? magRows : alignedCounts[entry.source]);
      createOwner(channel, entry, rows, rates[entry.source], *state.console);
    }
  }
}

// Marks row as filled, growing the mask when it is full by half its capacity,
// at least by the fixed step: a long run of filled rows then costs a number of
// reallocations that grows with the logarithm of its length, not linearly
// (each one may copy the whole mask).
void markFilledRow(MissingSampleMask& mask, int32_t row, const char* name, Console& console) {
  if (!mask.array) return;
  if (mask.entries >= mask.capacity) {
    const int64_t step = std::max<int64_t>(kMaskGrowthStep, mask.capacity / 2);
    const auto capacity = static_cast<int32_t>(std::min<int64_t>(int64_t{mask.capacity} + step, INT32_MAX));
    const SparseGrowth growth = mask.array.growSparse(capacity);
    if (growth != SparseGrowth::kDone) {
      console.out(growth == SparseGrowth::kValuesFailed ? kMaskValuesGrowthFailed
                                                        : kMaskRowsGrowthFailed,
                  name, capacity);
      exitRun(console, -1);
    }
    mask.capacity = capacity;
    mask.values = mask.array.sparseValues();
    mask.rowIndices = mask.array.sparseRowIndices();
    mask.columnStarts = mask.array.sparseColumnStarts();
  }
  mask.values[mask.entries] = 1;
  mask.rowIndices[mask.entries] = static_cast<uint32_t>(row);
  ++mask.entries;
  mask.array.setSparseEntries(mask.entries);
}

// Fills rows from the channel's position while the packet's n samples would
// still leave a shortfall of 2 or more against expected. Rows at or beyond the
// array are not stored (nor marked), but the position advances over them.
void fillGap(CompleteDataChannel& channel, double expected, int32_t n, Console& console) {
  const auto shortfall = [&] { return expected - (static_cast<double>(channel.position) + n); };
  const int32_t rows = channel.expectedRows;
  int32_t& p = channel.position;
  const double fill = p > 0 && p - 1 < rows ? channel.dataElements[p - 1] : 1.0;
  while (shortfall() >= 2.0 && p < rows) {
    channel.dataElements[p] = fill;
    markFilledRow(channel.mask, p, channel.name, console);
    ++p;
  }
  if (shortfall() < 2.0) return;
  // What remains lies past the array: step over it at once.
  const double last = std::floor(expected - n - 2.0) + 1.0;
  p = last >= static_cast<double>(INT32_MAX) ? INT32_MAX : std::max(p, static_cast<int32_t>(last));
  while (p < INT32_MAX && shortfall() >= 2.0) ++p;
}

template <int N>
void appendRecords(ParseState& state, const RecordsBySource& records, int32_t packetNumber,
                   int64_t timeIndex, const int32_t* rates, int32_t interruptRate,
                   const SampleBuffers<N>& samples) {
  // Most packets carry one board's messages only: the other board's records
  // have nothing to take.
  if (samples.present == 0) return;
  Console& console = *state.console;
  const double seconds = static_cast<double>(timeIndex) * 10.0 / interruptRate;
  for (uint32_t set = records.of(samples.present); set != 0; set &= set - 1) {
    const int r = std::countr_zero(set);
    CompleteDataChannel& channel = state.completeDataChannels[r];
    const int32_t n = samples.counts[channel.source];
    const double expected = static_cast<double>(rates[channel.source]) / interruptRate *
                            (static_cast<double>(timeIndex) + 1.0);
    int32_t& p = channel.position;

    if (channel.dataElements) {
      if (isMagnetometerRecord(r) && p >= channel.expectedRows) {
        console.out(kCeiling, packetNumber, channel.name);
        continue;
      }
      // An endless expectation (interrupt rate 0) is not filled towards.
      if (std::isfinite(expected) && expected - (static_cast<double>(p) + n) >= 2.0) {
        console.out(kFilling, packetNumber, expected - (static_cast<double>(p) + n) - 1.0,
                    channel.name);
        fillGap(channel, expected, n, console);
        const double ceiling = std::ceil(expected);
        if (p > ceiling) console.out(kAhead, packetNumber, channel.name, static_cast<int>(ceiling), p);
      }
      if (p < channel.expectedRows) {
        channel.dataElements[p] = state.integerOutput
                                      ? static_cast<double>(samples.values16[channel.source][0])
                                      : samples.values[channel.source][0];
      }
      if (p < INT32_MAX) ++p;
    }

    if (channel.timeElements) {
      if (channel.timeElements[0] == -1.0) {
        channel.timeElements[0] = seconds;
      } else {
        channel.timeElements[1] = seconds;
      }
    }
    if (p > channel.expectedRows) console.out(kPastEnd, packetNumber, channel.name);
  }
}

void reconcileSize(CompleteDataChannel& channel, Console& console) {
  const int32_t p = channel.position;
  const int32_t e = channel.expectedRows;
  if (p < e && channel.data.columns() == 1) {
    console.out(kFewerRows, channel.name, p, e);
    console.out(kResizing);
    if (!channel.data.setRows(p)) console.out(kResizeFailed);
  } else if (p < e) {
    console.out(kRowsDiffer, channel.name, p, e);
    console.out(kMultiDimensional);
  } else if (p > e) {
    console.out(kRowsDiffer, channel.name, p, e);
    console.out(kCorruption);
  }
}

}  // namespace

void createCompleteData(ParseState& state, const std::string& outputDir, const PassCounters& scan,
                        const ProvenanceTexts& provenance) {
  Console& console = *state.console;
  const InputFileInfo& reference = *state.reference;

  state.completeDataPath = outputDir + "completeData.mat";
  console.out(kOpening, state.completeDataPath.c_str());
  if (!state.completeDataFile.open(state.completeDataPath, state.formats.completeData)) {
    console.out(kOpenFailed);
    exitOnOutputFailure(state.completeDataFile.output(), console);
  }
  state.completeDataStruct = MatArray::structure();
  if (!state.completeDataStruct) {
    console.out(kStructFailed);
    exitRun(console, -8);
  }

  createRecords(state, kCompleteDataHuxCreation.data(), kCompleteDataHuxChannels,
                reference.huxChannelRates.data(), scan.huxAlignedCounts.data(), 0,
                state.completeDataHuxRecords);
  if (reference.hasTiv) {
    state.completeDataChannelCount = kCompleteDataChannels;
    const int64_t x = scan.tivAlignedCounts[kTivXMag];
    const int64_t y = scan.tivAlignedCounts[kTivYMag];
    const int64_t z = scan.tivAlignedCounts[kTivZMag];
    const int64_t magRows = std::min({x, y, z});
    if (x != y || y != z) console.out(kUnequalMag, magRows);
    createRecords(state, kCompleteDataTivCreation.data(),
                  kCompleteDataChannels - kCompleteDataHuxChannels,
                  reference.tivChannelRates.data(), scan.tivAlignedCounts.data(), magRows,
                  state.completeDataTivRecords);
  }

  MatArray& top = state.completeDataStruct;
  const int32_t audioRate = reference.huxChannelRates[kHuxAudio];
  const int64_t audioRows = (*state.alignedCounts)[kHuxAudio];
  addStringField(top, "path", "./", console);
  addScalarField(top, "ActualStart", static_cast<double>(reference.startTime), console);
  addScalarField(top, "audio_SR", audioRate / 10.0, console);
  double audioTime[2] = {0.0, 0.0};
  if (audioRate != 0) {
    audioTime[0] = static_cast<double>(reference.firstAudioIndex) / reference.huxInterruptRate / 10.0;
    audioTime[1] = static_cast<double>(audioRows) / audioRate;
  }
  addRowField(top, "audioTime", audioTime, 2, console);
  addScalarField(top, "noAudioSamples", static_cast<double>(audioRows), console);
  addScalarField(top, "serialNumber", reference.huxBoardNumber, console);
  if (reference.hasTiv) addScalarField(top, "tiv_serialNumber", reference.tivBoardNumber, console);
  addStringField(top, "createdBy", provenance.createdBy, console);
  addStringField(top, "sourceFiles", provenance.sourceFiles, console);
}

void appendCompleteData(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                        const HuxSamples& hux, int64_t tivTimeIndex, const TivSamples& tiv) {
  if (!state.completeDataFile.isOpen()) return;
  const InputFileInfo& reference = *state.reference;
  appendRecords(state, state.completeDataHuxRecords, packetNumber, huxTimeIndex,
                reference.huxChannelRates.data(), reference.huxInterruptRate, hux);
  if (state.completeDataChannelCount == kCompleteDataChannels) {
    appendRecords(state, state.completeDataTivRecords, packetNumber, tivTimeIndex,
                  reference.tivChannelRates.data(), reference.tivInterruptRate, tiv);
  }
}

void gatherCompleteData(ParseState& state) {
  if (!state.completeDataFile.isOpen()) return;
  Console& console = *state.console;
  console.out(kClosing);
  MatArray missingSamples = MatArray::structure();
  if (!missingSamples) {
    console.out(kMissingStructFailed);
    exitRun(console, -1);
  }
  MatArray& top = state.completeDataStruct;
  top.addField("missingSamples");

  for (int r = 0; r < state.completeDataChannelCount; ++r) {
    CompleteDataChannel& channel = state.completeDataChannels[r];
    if (!channel.data) continue;
    reconcileSize(channel, console);
    if (channel.time) addArrayField(top, channel.timeName.c_str(), std::move(channel.time));
    addArrayField(top, channel.name, std::move(channel.data));
    if (channel.sampleRate) {
      addArrayField(top, channel.sampleRateName.c_str(), std::move(channel.sampleRate));
    }
    if (channel.mask.array) {
      channel.mask.array.fitSparseCapacity();
      addArrayField(missingSamples, channel.name, std::move(channel.mask.array));
    }
  }
  // Views point into their owners' arrays, which now belong to the struct.
  for (CompleteDataChannel& channel : state.completeDataChannels) {
    channel.dataElements = channel.timeElements = channel.sampleRateElements = nullptr;
    channel.mask = MissingSampleMask{};
  }
  top.setField("missingSamples", std::move(missingSamples));
}

bool storeCompleteData(ParseState& state) {
  return !state.completeDataFile.isOpen() ||
         state.completeDataFile.store("completeData", std::move(state.completeDataStruct));
}

void failCompleteDataStore(ParseState& state) {
  state.console->out(kCloseFailed);
  exitOnOutputFailure(state.completeDataFile.output(), *state.console);
}

void closeCompleteData(ParseState& state) {
  gatherCompleteData(state);
  if (!storeCompleteData(state)) failCompleteDataStore(state);
}
