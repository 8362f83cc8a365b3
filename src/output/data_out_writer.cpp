#include "output/data_out_writer.h"

#include <bit>
#include <utility>

#include "common/fatal_error.h"
#include "common/output_file.h"
#include "output/mat73_field_names.h"
#include "output/struct_fields.h"

namespace {

constexpr const char* kOpening = "# INFO: Opening dataOut.mat file:      '%s'\n";
constexpr const char* kOpenFailed =
    "# ERROR: Unable to open dataOut.mat for writing, check path/permissions\n";
constexpr const char* kStructFailed = "# ERROR: Unable to create dataOut struct\n";
constexpr const char* kDataArrayFailed = "# ERROR: Unable to create new data array for field %s\n";
constexpr const char* kDataPointerFailed = "# ERROR: Unable to retrieve pointer for data field %s\n";
constexpr const char* kTimeArrayFailed = "# ERROR: Unable to create new time array for field %s\n";
constexpr const char* kTimePointerFailed = "# ERROR: Unable to retrieve pointer for time field %s\n";
constexpr const char* kDimensions = "# ERROR: Dimensions: %d x %d\n";
constexpr const char* kStatFailed = "# ERROR: Unable to create stats struct for dataOut\n";
constexpr const char* kScheduleFailed = "# ERROR: Unable to create schedule stats struct for dataOut\n";
constexpr const char* kTivScheduleFailed =
    "# ERROR: Unable to create TIV schedule stats struct for dataOut\n";
constexpr const char* kAddFieldFailed = "# ERROR: Unable to add field %s to struct\n";
constexpr const char* kPastEnd =
    "# ERROR: dataOut- Packet %6d, Algorithm error, dataOut pos has exceeded allocated length, "
    "for sensor %s\n";
constexpr const char* kClosing = "# INFO: Closing dataOut.mat\n";
constexpr const char* kFewerRows = "# WARNING: dataOut, array for element %s contains %d elements, %d expected\n";
constexpr const char* kResizing =
    "# WARNING: dataOut, resizing array, this may be caused by sensors which require another "
    "sensor to calibrate themselves\n";
constexpr const char* kDataResizeFailed =
    "# ERROR: dataOut, Resize of data array failed, attempting to continue, empty elements will "
    "remain\n";
constexpr const char* kTimeResizeFailed =
    "# ERROR: dataOut, Resize of time array failed, attempting to continue, empty elements will "
    "remain\n";
constexpr const char* kMoreRows = "# ERROR: dataOut, array for element %s contains %d elements, %d expected\n";
constexpr const char* kCorruption = "# ERROR: dataOut, possible memory corruption!\n";
constexpr const char* kCloseFailed = "# ERROR: Write error while closing dataOut.mat file\n";

// Creates a channel's data column and, when it has its own time field, its
// time column, both rows x 1.
void createChannel(DataOutChannel& channel, const DataOutEntry& entry, int32_t rows,
                   Console& console) {
  channel.name = entry.name;
  channel.source = entry.source;
  channel.expectedRows = rows;
  channel.position = 0;

  channel.data = MatArray::doubleMatrix(rows, 1);
  if (!channel.data) {
    console.out(kDataArrayFailed, channel.name);
    console.out(kDimensions, rows, 1);
    exitRun(console, -1);
  }
  channel.dataElements = channel.data.elements();
  if (!channel.dataElements && rows > 0) {
    console.out(kDataPointerFailed, channel.name);
    console.out(kDimensions, rows, 1);
    exitRun(console, -1);
  }
  if (!entry.ownTime) return;

  channel.timeName = std::string(entry.name) + "Time";
  channel.time = MatArray::doubleMatrix(rows, 1);
  if (!channel.time) {
    console.out(kTimeArrayFailed, channel.timeName.c_str());
    console.out(kDimensions, rows, 1);
    exitRun(console, -1);
  }
  channel.timeElements = channel.time.elements();
  if (!channel.timeElements && rows > 0) {
    console.out(kTimePointerFailed, channel.timeName.c_str());
    console.out(kDimensions, rows, 1);
    exitRun(console, -1);
  }
}

// The longest recording time among the sources, continuing from start: the
// sample total over the rate in hertz. A source without samples is ignored.
template <size_t N>
double longestDuration(double start, const std::array<int64_t, N>& totals,
                       const std::array<int32_t, N>& rates) {
  double longest = start;
  for (size_t i = 0; i < N; ++i) {
    const double duration = static_cast<double>(totals[i]) / (rates[i] / 10.0);
    if (duration > longest) longest = duration;
  }
  return longest;
}

// A struct of the channel rates in hertz, one field per source name (spelt
// for the file's version).
template <size_t N>
void addSchedule(MatArray& stat, const char* field, const std::array<const char*, N>& names,
                 const std::array<int32_t, N>& rates, MatVersion version, const char* createFailed,
                 Console& console) {
  MatArray schedule = MatArray::structure();
  if (!schedule) {
    console.out("%s", createFailed);
    return;
  }
  if (stat.addField(field) < 0) {
    console.out(kAddFieldFailed, field);
    return;
  }
  for (size_t i = 0; i < N; ++i) {
    addScalarField(schedule, matFieldName(names[i], version).c_str(), rates[i] / 10.0, console);
  }
  stat.setField(field, std::move(schedule));
}

void addStatistics(ParseState& state, const ProvenanceTexts& provenance, Console& console) {
  const InputFileInfo& reference = *state.reference;
  MatArray stat = MatArray::structure();
  if (!stat) {
    console.out(kStatFailed);
    return;
  }
  if (state.dataOutStruct.addField("stat") < 0) {
    console.out(kAddFieldFailed, "stat");
    return;
  }
  addScalarField(stat, "serialNumber", reference.huxBoardNumber, console);
  addScalarField(stat, "ActualStart", static_cast<double>(reference.startTime), console);
  if (reference.hasTiv) addScalarField(stat, "tiv_serialNumber", reference.tivBoardNumber, console);
  addStringField(stat, "createdBy", provenance.createdBy, console);
  addStringField(stat, "sourceFiles", provenance.sourceFiles, console);
  const MatVersion version = state.dataOutFile.version();
  addSchedule(stat, "schedule", kHuxChannelLabels, reference.huxChannelRates, version,
              kScheduleFailed, console);
  if (reference.hasTiv) {
    addSchedule(stat, "tiv_schedule", kTivChannelLabels, reference.tivChannelRates, version,
                kTivScheduleFailed, console);
  }
  state.dataOutStruct.setField("stat", std::move(stat));
}

// Stores the first value of each source that the packet carries in the
// records that take it, with the packet's time.
template <int N>
void appendRecords(ParseState& state, const RecordsBySource& records, int32_t packetNumber,
                   int64_t timeIndex, int32_t interruptRate, const SampleBuffers<N>& samples) {
  // Most packets carry one board's messages only: the other board's records
  // have nothing to take.
  if (samples.present == 0) return;
  const double seconds = static_cast<double>(timeIndex) * 10.0 / interruptRate;
  for (uint32_t set = records.of(samples.present); set != 0; set &= set - 1) {
    DataOutChannel& channel = state.dataOutChannels[std::countr_zero(set)];
    if (channel.position >= channel.expectedRows || !channel.dataElements) {
      state.console->out(kPastEnd, packetNumber, channel.name);
      continue;
    }
    channel.dataElements[channel.position] =
        state.integerOutput ? static_cast<double>(samples.values16[channel.source][0])
                            : samples.values[channel.source][0];
    if (channel.timeElements) channel.timeElements[channel.position] = seconds;
    ++channel.position;
  }
}

void reconcileSize(DataOutChannel& channel, Console& console) {
  const int32_t p = channel.position;
  const int32_t e = channel.expectedRows;
  if (p < e) {
    console.out(kFewerRows, channel.name, p, e);
    console.out(kResizing);
    if (!channel.data.setRows(p)) console.out(kDataResizeFailed);
    if (channel.time && !channel.time.setRows(p)) console.out(kTimeResizeFailed);
  } else if (p > e) {
    console.out(kMoreRows, channel.name, p, e);
    console.out(kCorruption);
  }
}

}  // namespace

void createDataOut(ParseState& state, const std::string& outputDir, const PassCounters& scan,
                   const ProvenanceTexts& provenance) {
  Console& console = *state.console;
  const InputFileInfo& reference = *state.reference;

  state.dataOutPath = outputDir + "dataOut.mat";
  console.out(kOpening, state.dataOutPath.c_str());
  if (!state.dataOutFile.open(state.dataOutPath, state.formats.dataOut)) {
    console.out(kOpenFailed);
    exitOnOutputFailure(state.dataOutFile.output(), console);
  }
  state.dataOutStruct = MatArray::structure();
  if (!state.dataOutStruct) {
    console.out(kStructFailed);
    exitRun(console, -8);
  }

  for (int r = 0; r < kDataOutHuxChannels; ++r) {
    const DataOutEntry& entry = kDataOutCatalogue[r];
    createChannel(state.dataOutChannels[r], entry, arrayRows(scan.huxSampleTotals[entry.rowsSource]),
                  console);
    state.dataOutHuxRecords.add(entry.source, r);
  }
  state.dataOutChannels[0].timeName = "accelTime";
  if (reference.hasTiv) {
    state.dataOutChannelCount = kDataOutChannels;
    for (int r = kDataOutHuxChannels; r < kDataOutChannels; ++r) {
      const DataOutEntry& entry = kDataOutCatalogue[r];
      createChannel(state.dataOutChannels[r], entry, arrayRows(scan.tivSampleTotals[entry.rowsSource]),
                    console);
      state.dataOutTivRecords.add(entry.source, r);
    }
    state.dataOutChannels[kDataOutHuxChannels].timeName = "gyroTime";
  }

  MatArray& top = state.dataOutStruct;
  const double maxTime = longestDuration(0.0, scan.huxSampleTotals, reference.huxChannelRates);
  addScalarField(top, "maxTime", maxTime, console);
  addStringField(top, "path", "./", console);
  if (reference.hasTiv) {
    addScalarField(top, "tiv_maxTime",
                   longestDuration(maxTime, scan.tivSampleTotals, reference.tivChannelRates),
                   console);
  }
  addStatistics(state, provenance, console);
}

void appendDataOut(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                   const HuxSamples& hux, const HuxCalibrationState& calibration,
                   int64_t tivTimeIndex, const TivSamples& tiv) {
  if (!state.dataOutFile.isOpen()) return;
  const InputFileInfo& reference = *state.reference;
  appendRecords(state, state.dataOutHuxRecords, packetNumber, huxTimeIndex,
                reference.huxInterruptRate, hux);

  // The gain of the packet's high-frequency light reading, row for row with
  // visFreqLight; a gain beyond its rows is dropped quietly.
  if (hux.counts[kHuxHfVisLight] > 0) {
    DataOutChannel& gain = state.dataOutChannels[kVisFreqLightGainRecord];
    if (gain.dataElements && gain.position < gain.expectedRows) {
      gain.dataElements[gain.position++] = static_cast<double>(calibration.hfLightGain);
    }
  }

  if (state.dataOutChannelCount == kDataOutChannels) {
    appendRecords(state, state.dataOutTivRecords, packetNumber, tivTimeIndex,
                  reference.tivInterruptRate, tiv);
  }
}

void gatherDataOut(ParseState& state) {
  if (!state.dataOutFile.isOpen()) return;
  Console& console = *state.console;
  console.out(kClosing);
  MatArray& top = state.dataOutStruct;
  for (int r = 0; r < state.dataOutChannelCount; ++r) {
    DataOutChannel& channel = state.dataOutChannels[r];
    if (channel.data) reconcileSize(channel, console);
    channel.dataElements = channel.timeElements = nullptr;
    if (channel.time) addArrayField(top, channel.timeName.c_str(), std::move(channel.time));
    if (channel.data) addArrayField(top, channel.name, std::move(channel.data));
  }
}

bool storeDataOut(ParseState& state) {
  return !state.dataOutFile.isOpen() ||
         state.dataOutFile.store("dataOut", std::move(state.dataOutStruct));
}

void failDataOutStore(ParseState& state) {
  state.console->out(kCloseFailed);
  exitOnOutputFailure(state.dataOutFile.output(), *state.console);
}

void closeDataOut(ParseState& state) {
  gatherDataOut(state);
  if (!storeDataOut(state)) failDataOutStore(state);
}
