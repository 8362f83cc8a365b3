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
constexpr const char* kPastEnd =
    "# ERROR: dataOut- Packet %6d, Algorithm error, dataOut pos has exceeded allocated length, "
    "for sensor %s\n";
constexpr const char* kClosing = "# INFO: Closing dataOut.mat\n";
constexpr const char* kFewerRows = "# WARNING: dataOut, array for element %s contains %d elements, %d expected\n";
constexpr const char* kResizing =
    "# WARNING: dataOut, resizing array, this may be caused by sensors which require another "
    "sensor to calibrate themselves\n";
constexpr const char* kMoreRows = "# ERROR: dataOut, array for element %s contains %d elements, %d expected\n";
constexpr const char* kCorruption = "# ERROR: dataOut, possible memory corruption!\n";
constexpr const char* kCloseFailed = "# ERROR: Write error while closing dataOut.mat file\n";

// Declares a channel's time column (when it has its own time field) and its
// data column, both rows x 1, in the order of their fields.
void declareChannel(DataOutChannel& channel, const DataOutEntry& entry, int32_t rows,
                    MatLayout& layout) {
  channel.name = entry.name;
  channel.source = entry.source;
  channel.expectedRows = rows;
  channel.position = 0;
  channel.timeNode = -1;
  if (entry.ownTime) {
    channel.timeName = std::string(entry.name) + "Time";
    channel.timeNode = layout.addColumns(layout.root(), channel.timeName, rows, 1);
  }
  channel.dataNode = layout.addColumns(layout.root(), channel.name, rows, 1);
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
void addSchedule(MatLayout& layout, int32_t stat, const char* field,
                 const std::array<const char*, N>& names, const std::array<int32_t, N>& rates,
                 MatVersion version) {
  const int32_t schedule = layout.addStruct(stat, field);
  for (size_t i = 0; i < N; ++i) {
    layout.addScalar(schedule, matFieldName(names[i], version), rates[i] / 10.0);
  }
}

void addStatistics(const ParseState& state, MatLayout& layout, const ProvenanceTexts& provenance,
                   Console& console) {
  const InputFileInfo& reference = *state.reference;
  const int32_t stat = layout.addStruct(layout.root(), "stat");
  layout.addScalar(stat, "serialNumber", reference.huxBoardNumber);
  layout.addScalar(stat, "ActualStart", static_cast<double>(reference.startTime));
  if (reference.hasTiv) layout.addScalar(stat, "tiv_serialNumber", reference.tivBoardNumber);
  addStringField(layout, stat, "createdBy", provenance.createdBy, console);
  addStringField(layout, stat, "sourceFiles", provenance.sourceFiles, console);
  const MatVersion version = state.formats.dataOut;
  addSchedule(layout, stat, "schedule", kHuxChannelLabels, reference.huxChannelRates, version);
  if (reference.hasTiv) {
    addSchedule(layout, stat, "tiv_schedule", kTivChannelLabels, reference.tivChannelRates, version);
  }
}

// Stores the first value of each source that the packet carries in the
// records that take it, with the packet's time.
template <int N>
void appendRecords(DataOutWriter& writer, const RecordsBySource& records, int32_t packetNumber,
                   int64_t timeIndex, int32_t interruptRate, bool integerOutput,
                   const SampleBuffers<N>& samples, Console& console) {
  // Most packets carry one board's messages only: the other board's records
  // have nothing to take.
  if (samples.present == 0) return;
  const double seconds = static_cast<double>(timeIndex) * 10.0 / interruptRate;
  for (uint32_t set = records.of(samples.present); set != 0; set &= set - 1) {
    DataOutChannel& channel = writer.channels[std::countr_zero(set)];
    if (channel.position >= channel.expectedRows) {
      console.out(kPastEnd, packetNumber, channel.name);
      continue;
    }
    channel.data.append(integerOutput ? static_cast<double>(samples.values16[channel.source][0])
                                      : samples.values[channel.source][0]);
    if (channel.timeNode >= 0) channel.time.append(seconds);
    ++channel.position;
  }
}

// A channel that received fewer values than the scan counted keeps the rows
// it has, its time column with it.
void reconcileSize(DataOutChannel& channel, MatLayout& layout, Console& console) {
  const int32_t p = channel.position;
  const int32_t e = channel.expectedRows;
  if (p < e) {
    console.out(kFewerRows, channel.name, p, e);
    console.out(kResizing);
    layout.node(channel.dataNode).rows = p;
    if (channel.timeNode >= 0) layout.node(channel.timeNode).rows = p;
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
  DataOutWriter& writer = state.dataOut;

  writer.path = outputDir + "dataOut.mat";
  console.out(kOpening, writer.path.c_str());

  MatLayout& layout = writer.layout;
  layout.setRoot("dataOut");
  const double maxTime = longestDuration(0.0, scan.huxSampleTotals, reference.huxChannelRates);
  layout.addScalar(layout.root(), "maxTime", maxTime);
  addStringField(layout, layout.root(), "path", "./", console);
  if (reference.hasTiv) {
    layout.addScalar(layout.root(), "tiv_maxTime",
                     longestDuration(maxTime, scan.tivSampleTotals, reference.tivChannelRates));
  }
  addStatistics(state, layout, provenance, console);

  for (int r = 0; r < kDataOutHuxChannels; ++r) {
    const DataOutEntry& entry = kDataOutCatalogue[r];
    declareChannel(writer.channels[r], entry, arrayRows(scan.huxSampleTotals[entry.rowsSource]), layout);
    writer.huxRecords.add(entry.source, r);
  }
  writer.channels[0].timeName = "accelTime";
  layout.node(writer.channels[0].timeNode).name = "accelTime";
  if (reference.hasTiv) {
    writer.channelCount = kDataOutChannels;
    for (int r = kDataOutHuxChannels; r < kDataOutChannels; ++r) {
      const DataOutEntry& entry = kDataOutCatalogue[r];
      declareChannel(writer.channels[r], entry, arrayRows(scan.tivSampleTotals[entry.rowsSource]),
                     layout);
      writer.tivRecords.add(entry.source, r);
    }
    writer.channels[kDataOutHuxChannels].timeName = "gyroTime";
    layout.node(writer.channels[kDataOutHuxChannels].timeNode).name = "gyroTime";
  }

  if (!writer.file.open(writer.path, state.formats.dataOut, layout)) {
    console.out(kOpenFailed);
    exitOnOutputFailure(writer.file.output(), console);
  }
  for (int r = 0; r < writer.channelCount; ++r) {
    DataOutChannel& channel = writer.channels[r];
    if (channel.expectedRows <= 0) continue;
    channel.data.bind(&writer.file, channel.dataNode);
    if (channel.timeNode >= 0) channel.time.bind(&writer.file, channel.timeNode);
  }
}

void appendDataOut(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                   const HuxSamples& hux, const HuxCalibrationState& calibration,
                   int64_t tivTimeIndex, const TivSamples& tiv) {
  DataOutWriter& writer = state.dataOut;
  if (!writer.file.isOpen()) return;
  const InputFileInfo& reference = *state.reference;
  appendRecords(writer, writer.huxRecords, packetNumber, huxTimeIndex, reference.huxInterruptRate,
                state.integerOutput, hux, *state.console);

  // The gain of the packet's high-frequency light reading, row for row with
  // visFreqLight; a gain beyond its rows is dropped quietly.
  if (hux.counts[kHuxHfVisLight] > 0) {
    DataOutChannel& gain = writer.channels[kVisFreqLightGainRecord];
    if (gain.position < gain.expectedRows) {
      gain.data.append(static_cast<double>(calibration.hfLightGain));
      ++gain.position;
    }
  }

  if (writer.channelCount == kDataOutChannels) {
    appendRecords(writer, writer.tivRecords, packetNumber, tivTimeIndex, reference.tivInterruptRate,
                  state.integerOutput, tiv, *state.console);
  }
}

void closeDataOut(ParseState& state) {
  DataOutWriter& writer = state.dataOut;
  if (!writer.file.isOpen()) return;
  Console& console = *state.console;
  console.out(kClosing);
  for (int r = 0; r < writer.channelCount; ++r) {
    DataOutChannel& channel = writer.channels[r];
    reconcileSize(channel, writer.layout, console);
    channel.data.flush();
    channel.time.flush();
  }
  if (!writer.file.close(writer.layout)) {
    console.out(kCloseFailed);
    exitOnOutputFailure(writer.file.output(), console);
  }
}
