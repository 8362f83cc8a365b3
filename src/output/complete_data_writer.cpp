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
#include "output/fill_rule.h"
#include "output/struct_fields.h"

namespace {

constexpr const char* kOpening = "# INFO: Opening completeData.mat file: '%s'\n";
constexpr const char* kOpenFailed =
    "# ERROR: Unable to open completeData.mat for writing, check path/permissions\n";
constexpr const char* kUnequalMag =
    "# WARNING: Magnetometer samples are unequal, enforcing minimum size of %" PRId64 "\n";
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
constexpr const char* kFewerRows =
    "# WARNING: completeData, array for element %s contains %d elements, %d expected\n";
constexpr const char* kResizing =
    "# WARNING: completeData, resizing array, this may be caused by sensors which require "
    "another sensor to calibrate themselves\n";
constexpr const char* kRowsDiffer =
    "# ERROR: completeData, array for element %s contains %d elements, %d expected\n";
constexpr const char* kMultiDimensional =
    "# ERROR: completeData, unable to resize multi-dimensional array! \n";
constexpr const char* kCorruption = "# ERROR: completeData, possible memory corruption!\n";
constexpr const char* kCloseFailed = "# ERROR: Write error while closing completeData.mat file\n";

// Declares an owner's fields (first/last time, data, sample rate, in that
// order) and its mask in missingSamples.
void declareOwner(CompleteDataChannel& channel, const CompleteDataEntry& entry, int32_t rows,
                  int32_t rate, int64_t maskEntries, int32_t missingSamples, MatLayout& layout) {
  channel.name = entry.name;
  channel.source = entry.source;
  channel.columns = entry.columns;
  channel.expectedRows = rows;
  channel.hasData = rows > 0;
  channel.timeNode = layout.addDoubles(layout.root(), std::string(entry.name) + "Time", 1, 2, {-1.0, -1.0});
  channel.dataNode = layout.addColumns(layout.root(), entry.name, rows, entry.columns);
  layout.addScalar(layout.root(), std::string(entry.name) + "_SR", rate / 10.0);
  channel.mask.node = layout.addMask(missingSamples, entry.name, rows, maskEntries);
}

void declareView(CompleteDataChannel& view, const CompleteDataEntry& entry,
                 const CompleteDataChannel& owner) {
  view.name = entry.name;
  view.source = entry.source;
  view.columns = 1;
  view.expectedRows = owner.expectedRows;
  view.hasData = owner.hasData;
  view.dataNode = owner.dataNode;
}

// Stores row p of a channel, a measured value or a fill.
void store(CompleteDataChannel& channel, double value) {
  channel.data.append(value);
  channel.lastStored = value;
}

// Fills the rows before the packet's values with the last stored value (1.0
// before the first), marking them in the owner's mask. Rows at or beyond the
// array are not stored (nor marked), but the position advances over them.
void fillGap(CompleteDataChannel& channel, int64_t rows) {
  const int64_t p = channel.position;
  const int64_t end = std::min<int64_t>(p + rows, channel.expectedRows);
  const bool marked = channel.mask.node >= 0;
  for (int64_t row = p; row < end; ++row) {
    store(channel, channel.lastStored);
    if (marked) {
      channel.mask.rows.append(static_cast<uint32_t>(row));
      ++channel.mask.entries;
    }
  }
  channel.position = static_cast<int32_t>(std::min<int64_t>(p + rows, INT32_MAX));
}

template <int N>
void appendRecords(CompleteDataWriter& writer, const RecordsBySource& records, int32_t packetNumber,
                   int64_t timeIndex, const double* perInterrupt, int32_t interruptRate,
                   bool integerOutput, const SampleBuffers<N>& samples, Console& console) {
  // Most packets carry one board's messages only: the other board's records
  // have nothing to take.
  if (samples.present == 0) return;
  const double seconds = static_cast<double>(timeIndex) * 10.0 / interruptRate;
  for (uint32_t set = records.of(samples.present); set != 0; set &= set - 1) {
    const int r = std::countr_zero(set);
    CompleteDataChannel& channel = writer.channels[r];
    const int32_t n = samples.counts[channel.source];
    const double expected = expectedSamples(perInterrupt[channel.source], timeIndex);
    int32_t& p = channel.position;

    if (channel.hasData) {
      if (isMagnetometerRecord(r) && p >= channel.expectedRows) {
        console.out(kCeiling, packetNumber, channel.name);
        continue;
      }
      const int64_t filled = rowsToFill(expected, p, n);
      if (filled > 0) {
        console.out(kFilling, packetNumber, expected - (static_cast<double>(p) + n) - 1.0,
                    channel.name);
        fillGap(channel, filled);
        const double ceiling = std::ceil(expected);
        if (p > ceiling) console.out(kAhead, packetNumber, channel.name, static_cast<int>(ceiling), p);
      }
      if (p < channel.expectedRows) {
        store(channel, integerOutput ? static_cast<double>(samples.values16[channel.source][0])
                                     : samples.values[channel.source][0]);
      }
      if (p < INT32_MAX) ++p;
    }

    if (channel.timeNode >= 0) {
      if (channel.time[0] == -1.0) {
        channel.time[0] = seconds;
      } else {
        channel.time[1] = seconds;
      }
    }
    if (p > channel.expectedRows) console.out(kPastEnd, packetNumber, channel.name);
  }
}

// An owner that received fewer rows than counted: a one-column array keeps
// the rows it has; a three-column one keeps its size, its unwritten rows 0.
void reconcileSize(const CompleteDataChannel& channel, MatLayout& layout, Console& console) {
  const int32_t p = channel.position;
  const int32_t e = channel.expectedRows;
  if (p < e && channel.columns == 1) {
    console.out(kFewerRows, channel.name, p, e);
    console.out(kResizing);
    layout.node(channel.dataNode).rows = p;
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
                        const ProvenanceTexts& provenance, const CompleteDataPlan* plan) {
  Console& console = *state.console;
  const InputFileInfo& reference = *state.reference;
  CompleteDataWriter& writer = state.completeData;

  writer.path = outputDir + "completeData.mat";
  console.out(kOpening, writer.path.c_str());

  // The rows of every owner: its source's aligned count, the smallest of the
  // three for the magnetometer.
  std::array<int32_t, kCompleteDataChannels> rows{};
  for (int r = 0; r < kCompleteDataHuxChannels; ++r) {
    rows[r] = arrayRows(scan.huxAlignedCounts[kCompleteDataCatalogue[r].source]);
  }
  if (reference.hasTiv) {
    writer.channelCount = kCompleteDataChannels;
    for (int r = kCompleteDataHuxChannels; r < kCompleteDataChannels; ++r) {
      rows[r] = arrayRows(scan.tivAlignedCounts[kCompleteDataCatalogue[r].source]);
    }
    const int64_t x = scan.tivAlignedCounts[kTivXMag];
    const int64_t y = scan.tivAlignedCounts[kTivYMag];
    const int64_t z = scan.tivAlignedCounts[kTivZMag];
    const int64_t magRows = std::min({x, y, z});
    if (x != y || y != z) console.out(kUnequalMag, magRows);
    rows[kMagRecord] = arrayRows(magRows);
  }

  for (int c = 0; c < kHuxChannelCount; ++c) {
    writer.huxPerInterrupt[c] = samplesPerInterrupt(reference.huxChannelRates[c], reference.huxInterruptRate);
  }
  for (int c = 0; c < kTivChannelCount; ++c) {
    writer.tivPerInterrupt[c] = samplesPerInterrupt(reference.tivChannelRates[c], reference.tivInterruptRate);
  }

  MatLayout& layout = writer.layout;
  layout.setRoot("completeData");
  const int32_t top = layout.root();
  const int32_t audioRate = reference.huxChannelRates[kHuxAudio];
  const int64_t audioRows = (*state.alignedCounts)[kHuxAudio];
  addStringField(layout, top, "path", "./", console);
  layout.addScalar(top, "ActualStart", static_cast<double>(reference.startTime));
  layout.addScalar(top, "audio_SR", audioRate / 10.0);
  std::vector<double> audioTime = {0.0, 0.0};
  if (audioRate != 0) {
    audioTime[0] = static_cast<double>(reference.firstAudioIndex) / reference.huxInterruptRate / 10.0;
    audioTime[1] = static_cast<double>(audioRows) / audioRate;
  }
  layout.addDoubles(top, "audioTime", 1, 2, std::move(audioTime));
  layout.addScalar(top, "noAudioSamples", static_cast<double>(audioRows));
  layout.addScalar(top, "serialNumber", reference.huxBoardNumber);
  if (reference.hasTiv) layout.addScalar(top, "tiv_serialNumber", reference.tivBoardNumber);
  addStringField(layout, top, "createdBy", provenance.createdBy, console);
  addStringField(layout, top, "sourceFiles", provenance.sourceFiles, console);
  const int32_t missingSamples = layout.addStruct(top, "missingSamples");

  // Owners in record order (the order of their fields), each view after
  // them pointing at its owner's array.
  for (int r = 0; r < writer.channelCount; ++r) {
    const CompleteDataEntry& entry = kCompleteDataCatalogue[r];
    if (entry.owner >= 0) continue;
    const int32_t rate = entry.board == Board::kHux ? reference.huxChannelRates[entry.source]
                                                    : reference.tivChannelRates[entry.source];
    const int64_t maskEntries = plan ? plannedMaskEntries(*plan, r, rows[r]) : 0;
    declareOwner(writer.channels[r], entry, rows[r], rate, maskEntries, missingSamples, layout);
  }
  for (int r = 0; r < writer.channelCount; ++r) {
    const CompleteDataEntry& entry = kCompleteDataCatalogue[r];
    if (entry.owner >= 0) declareView(writer.channels[r], entry, writer.channels[entry.owner]);
    (entry.board == Board::kHux ? writer.huxRecords : writer.tivRecords).add(entry.source, r);
  }

  if (!writer.file.open(writer.path, state.formats.completeData, layout)) {
    console.out(kOpenFailed);
    exitOnOutputFailure(writer.file.output(), console);
  }
  for (int r = 0; r < writer.channelCount; ++r) {
    CompleteDataChannel& channel = writer.channels[r];
    if (!channel.hasData) continue;
    channel.data.bind(&writer.file, channel.dataNode, kCompleteDataCatalogue[r].column);
    if (channel.mask.node >= 0) channel.mask.rows.bind(&writer.file, channel.mask.node);
  }
}

void appendCompleteData(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                        const HuxSamples& hux, int64_t tivTimeIndex, const TivSamples& tiv) {
  CompleteDataWriter& writer = state.completeData;
  if (!writer.file.isOpen()) return;
  const InputFileInfo& reference = *state.reference;
  appendRecords(writer, writer.huxRecords, packetNumber, huxTimeIndex, writer.huxPerInterrupt.data(),
                reference.huxInterruptRate, state.integerOutput, hux, *state.console);
  if (writer.channelCount == kCompleteDataChannels) {
    appendRecords(writer, writer.tivRecords, packetNumber, tivTimeIndex, writer.tivPerInterrupt.data(),
                  reference.tivInterruptRate, state.integerOutput, tiv, *state.console);
  }
}

void closeCompleteData(ParseState& state) {
  CompleteDataWriter& writer = state.completeData;
  if (!writer.file.isOpen()) return;
  Console& console = *state.console;
  console.out(kClosing);
  MatLayout& layout = writer.layout;
  for (int r = 0; r < writer.channelCount; ++r) {
    CompleteDataChannel& channel = writer.channels[r];
    channel.data.flush();
    if (kCompleteDataCatalogue[r].owner >= 0) continue;
    reconcileSize(channel, layout, console);
    layout.node(channel.timeNode).values = {channel.time[0], channel.time[1]};
    channel.mask.rows.flush();
    layout.node(channel.mask.node).entries = channel.mask.entries;
  }
  if (!writer.file.close(layout)) {
    console.out(kCloseFailed);
    exitOnOutputFailure(writer.file.output(), console);
  }
}
