// The three writers driven in-process through createOutputs,
// writePacketSamples and closeOutputs with hand-made packets, and their files
// read back through libmatio and libsndfile.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/fatal_error.h"
#include "output/writer_run.h"
#include "support/test_support.h"

namespace {

using readback::field;
using readback::Shape;
using namespace writertest;

const std::vector<std::string> kHuxDataOutFields = {
    "maxTime", "path", "stat", "accelTime", "accelX", "accelY", "accelZ", "compassTime",
    "compass", "visFreqLightGain", "visFreqLightTime", "visFreqLight", "VisLightTime",
    "VisLight", "IRLightTime", "IRLight", "AmbientLightTime", "AmbientLight", "BarTempTime",
    "BarTemp", "BarPresTime", "BarPres", "ShtTempTime", "ShtTemp", "ShtHumidTime", "ShtHumid"};

const std::vector<std::string> kHuxOwners = {"accel", "visFreqLight", "compass", "VisLight",
                                             "IRLight", "AmbientLight", "BarPres", "BarTemp",
                                             "ShtHumid", "ShtTemp"};

std::vector<std::string> completeDataFields(bool tiv) {
  std::vector<std::string> names = {"path", "ActualStart", "audio_SR", "audioTime",
                                    "noAudioSamples", "serialNumber"};
  if (tiv) names.push_back("tiv_serialNumber");
  names.insert(names.end(), {"createdBy", "sourceFiles", "missingSamples"});
  std::vector<std::string> owners = kHuxOwners;
  if (tiv) owners.insert(owners.end(), {"gyro", "gyroTemp", "mag"});
  for (const std::string& owner : owners) {
    names.insert(names.end(), {owner + "Time", owner, owner + "_SR"});
  }
  return names;
}

// A packet's samples: one value per listed channel, its integer form being
// ten times the value plus one.
template <typename Samples = HuxSamples>
Samples packet(std::initializer_list<std::pair<int, double>> values) {
  Samples samples;
  for (const auto& [channel, value] : values) samples.append(channel, static_cast<int16_t>(value * 10 + 1), value);
  return samples;
}

// Every HUX sensor channel that has an output, each with the value base + channel.
HuxSamples allHuxSensors(double base) {
  HuxSamples samples;
  for (int c = 1; c <= kHuxZAccel; ++c) {
    samples.append(c, static_cast<int16_t>((base + c) * 10 + 1), base + c);
  }
  return samples;
}

// Whether text has the given shape: '@' stands for a letter, '#' for a digit,
// '_' for a digit or a space; any other character stands for itself.
bool fitsShape(const std::string& text, const std::string& shape) {
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const bool fits = shape[i] == '@'   ? std::isalpha(c) != 0
                      : shape[i] == '#' ? std::isdigit(c) != 0
                      : shape[i] == '_' ? std::isdigit(c) != 0 || c == ' '
                                        : text[i] == shape[i];
    if (!fits) return false;
  }
  return true;
}

std::vector<double> values(matvar_t* structure, const std::string& name) {
  return readback::doubles(field(structure, name));
}

// Checks the values, the shapes or the rows marked true of named fields.
void expectValues(matvar_t* s, std::initializer_list<std::pair<const char*, std::vector<double>>> expected) {
  for (const auto& [name, v] : expected) EXPECT_EQ(values(s, name), v) << name;
}
void expectShapes(matvar_t* s, std::initializer_list<std::pair<const char*, Shape>> expected) {
  for (const auto& [name, v] : expected) EXPECT_EQ(readback::shape(field(s, name)), v) << name;
}
void expectMarked(matvar_t* masks, std::initializer_list<std::pair<const char*, std::vector<uint32_t>>> expected) {
  for (const auto& [name, v] : expected) EXPECT_EQ(readback::trueRows(field(masks, name)), v) << name;
}

TEST(OutputWriters, SteadyHuxStreamWritesEveryFieldInOrder) {
  WriterRun run;
  run.scan.huxSampleTotals.fill(3);
  run.scan.huxSampleTotals[kHuxAudio] = 12;
  run.scan.huxSampleTotals[kHuxMagAccel] = 0;
  run.scan.huxAlignedCounts = run.scan.huxSampleTotals;
  run.counted({{kHuxCompass, 5, 5}});  // longest: 5 samples at 10 Hz
  ASSERT_EQ(run.create(), 0);
  for (int t = 0; t < 3; ++t) {
    HuxSamples samples = allHuxSensors(100.0 * t);
    for (int i = 0; i < 4; ++i) samples.append(kHuxAudio, static_cast<int16_t>(10 * t + i), 0.0);
    run.hux(t + 1, t, samples, 10 + t);
  }
  run.close();

  const std::string dir = run.dir.path() + "/";
  EXPECT_EQ(run.out(),
            "# INFO: Data will be written to: '" + dir + "'\n"
            "# INFO: Opening .wav file:             '" + dir + "completeSensorAudio.wav'\n"
            "# INFO: Opening dataOut.mat file:      '" + dir + "dataOut.mat'\n"
            "# INFO: Opening completeData.mat file: '" + dir + "completeData.mat'\n"
            "# INFO: Closing completeSensorAudio.wav\n"
            "# INFO: Closing dataOut.mat\n"
            "# WARNING: dataOut, array for element compass contains 3 elements, 5 expected\n"
            "# WARNING: dataOut, resizing array, this may be caused by sensors which require "
            "another sensor to calibrate themselves\n"
            "# INFO: Closing completeData.mat\n"
            "# WARNING: completeData, array for element compass contains 3 elements, 5 expected\n"
            "# WARNING: completeData, resizing array, this may be caused by sensors which require "
            "another sensor to calibrate themselves\n");

  readback::Var d = run.dataOut();
  EXPECT_EQ(readback::fieldNames(d.get()), kHuxDataOutFields);
  EXPECT_DOUBLE_EQ(readback::scalar(d.get(), "maxTime"), 0.5);
  EXPECT_EQ(readback::text(field(d.get(), "path")), "./");
  matvar_t* stat = field(d.get(), "stat");
  EXPECT_EQ(readback::fieldNames(stat),
            (std::vector<std::string>{"serialNumber", "ActualStart", "createdBy", "sourceFiles",
                                      "schedule"}));
  expectValues(stat, {{"serialNumber", {4660}}, {"ActualStart", {1710406800000.0}}});
  EXPECT_TRUE(fitsShape(readback::text(field(stat, "createdBy")),
                        "Created by pelgToMatlab (Linux), compiled on @@@ _# #### at ##:##:##\n"));
  // Files in sequence order, named through their argument index.
  EXPECT_EQ(readback::text(field(stat, "sourceFiles")),
            "Source [ 0] second.pelg\nSource [ 1] first.pelg\n");
  matvar_t* schedule = field(stat, "schedule");
  const std::vector<std::string> labels(kHuxChannelLabels.begin(), kHuxChannelLabels.end());
  EXPECT_EQ(readback::fieldNames(schedule), labels);
  expectValues(schedule, {{"hux/audio", {40}}, {"hux/z_accel", {10}}});

  expectValues(d.get(), {{"accelTime", {0.0, 0.1, 0.2}}, {"accelX", {10, 110, 210}}, {"accelY", {11, 111, 211}},
                         {"accelZ", {12, 112, 212}}, {"visFreqLightGain", {10, 11, 12}},
                         {"visFreqLight", {3, 103, 203}}, {"BarPres", {1, 101, 201}}});
  expectShapes(d.get(), {{"compass", {3, 1}}, {"compassTime", {3, 1}}});

  readback::Var c = run.completeData();
  EXPECT_EQ(readback::fieldNames(c.get()), completeDataFields(false));
  EXPECT_EQ(readback::text(field(c.get(), "path")), "./");
  // audioTime: first audio index over the interrupt rate over 10; aligned
  // audio count over its rate.
  expectValues(c.get(), {{"ActualStart", {1710406800000.0}}, {"audio_SR", {40}},
                         {"audioTime", {5.0 / 100 / 10, 12.0 / 400}}, {"noAudioSamples", {12}},
                         {"serialNumber", {4660}}});
  EXPECT_EQ(readback::text(field(c.get(), "sourceFiles")),
            "Source [ 0] second.pelg\nSource [ 1] first.pelg\n");
  expectShapes(c.get(), {{"accel", {3, 3}}, {"compass", {3, 1}}});
  expectValues(c.get(), {{"accel", {10, 110, 210, 11, 111, 211, 12, 112, 212}}, {"accelTime", {0.0, 0.2}},
                         {"accel_SR", {10.0}}, {"ShtTemp", {8, 108, 208}}});
  matvar_t* missing = field(c.get(), "missingSamples");
  EXPECT_EQ(readback::fieldNames(missing), kHuxOwners);
  for (const std::string& owner : kHuxOwners) {
    EXPECT_TRUE(readback::trueRows(field(missing, owner)).empty()) << owner;
  }
  expectShapes(missing, {{"accel", {3, 1}}, {"compass", {5, 1}}});  // the mask keeps its rows

  const Wav wav = readWav(run.path("completeSensorAudio.wav"));
  EXPECT_EQ(wav.samples, (std::vector<int16_t>{0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23}));
  EXPECT_EQ(wav.info.samplerate, 40);
  EXPECT_EQ(wav.info.channels, 1);
  EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
}

TEST(OutputWriters, GapsAreFilledWithTheLastValueAndMarked) {
  WriterRun run;
  run.request.writeWavFile = false;
  run.counted({{kHuxCompass, 2, 7}, {kHuxVisLight, 1, 1}, {kHuxIrLight, 3, 3}, {kHuxAmbLight, 1, 1},
               {kHuxXAccel, 1, 4}, {kHuxYAccel, 1, 4}, {kHuxZAccel, 1, 4}});
  ASSERT_EQ(run.create(), 0);
  const std::string created = run.out();

  // Packet 1 at interrupt 0: VisLight's one and only value.
  run.hux(1, 0, packet({{kHuxVisLight, 6.0}}));
  // Packet 2 at interrupt 3: the first values of the others arrive late (4
  // samples due), so rows 0 and 1 are filled with 1.0; the last row of slack
  // is never filled. AmbientLight has one row only: the rest of its fill and
  // its value are not stored.
  run.hux(2, 3, packet({{kHuxCompass, 5.0}, {kHuxIrLight, 7.0}, {kHuxAmbLight, 8.0},
                           {kHuxXAccel, 1.5}, {kHuxYAccel, 2.5}, {kHuxZAccel, 3.5}}));
  // Packet 3 at interrupt 4: AmbientLight has no row left in either file.
  run.hux(3, 4, packet({{kHuxAmbLight, 9.0}}));
  // Packet 4 at interrupt 7: compass 8 due, 3 stored: rows 3 to 5 take 5.0.
  run.hux(4, 7, packet({{kHuxCompass, 4.0}}));
  run.close();

  EXPECT_EQ(run.out().substr(created.size()),
            "# WARNING: Packet      2, Filling   2 missing samples for field accel\n"
            "# WARNING: Packet      2, Filling   2 missing samples for field compass\n"
            "# WARNING: Packet      2, Filling   2 missing samples for field IRLight\n"
            "# WARNING: Packet      2, Filling   2 missing samples for field AmbientLight\n"
            "# ERROR: completeData- Packet      2, Algorithm error, data has been written past the "
            "allocated bounds for sensor AmbientLight\n"
            "# WARNING: Packet      2, Filling   2 missing samples for field accelY\n"
            "# WARNING: Packet      2, Filling   2 missing samples for field accelZ\n"
            "# ERROR: dataOut- Packet      3, Algorithm error, dataOut pos has exceeded allocated "
            "length, for sensor AmbientLight\n"
            "# ERROR: completeData- Packet      3, Algorithm error, data has been written past the "
            "allocated bounds for sensor AmbientLight\n"
            "# WARNING: Packet      4, Filling   3 missing samples for field compass\n"
            "# INFO: Closing dataOut.mat\n"
            "# WARNING: dataOut, array for element IRLight contains 1 elements, 3 expected\n"
            "# WARNING: dataOut, resizing array, this may be caused by sensors which require "
            "another sensor to calibrate themselves\n"
            "# INFO: Closing completeData.mat\n"
            "# ERROR: completeData, array for element accel contains 3 elements, 4 expected\n"
            "# ERROR: completeData, unable to resize multi-dimensional array! \n"
            "# ERROR: completeData, array for element AmbientLight contains 4 elements, 1 expected\n"
            "# ERROR: completeData, possible memory corruption!\n");

  readback::Var d = run.dataOut();
  expectValues(d.get(), {{"compass", {5.0, 4.0}}, {"compassTime", {0.3, 0.7}}, {"VisLight", {6.0}},
                         {"VisLightTime", {0.0}}, {"IRLight", {7.0}}, {"IRLightTime", {0.3}},
                         {"AmbientLight", {8.0}}, {"AmbientLightTime", {0.3}}});
  expectShapes(d.get(), {{"BarPres", {0, 1}}, {"BarPresTime", {0, 1}}});

  // In completeData: a channel whose only value came once has time [t, -1]
  // and an empty mask; only the first fill fitted into AmbientLight's one
  // row; the three-column array keeps its rows, its unwritten row stays 0 and
  // its mask follows the x axis only; a channel without samples has empty
  // data and an untouched time.
  readback::Var c = run.completeData();
  expectValues(c.get(), {{"compass", {1, 1, 5, 5, 5, 5, 4}}, {"compassTime", {0.3, 0.7}},
                         {"IRLight", {1.0, 1.0, 7.0}}, {"VisLightTime", {0.0, -1.0}}, {"VisLight", {6.0}},
                         {"AmbientLight", {1.0}}, {"AmbientLightTime", {0.3, 0.4}},
                         {"accel", {1, 1, 1.5, 0, 1, 1, 2.5, 0, 1, 1, 3.5, 0}}, {"BarPresTime", {-1.0, -1.0}}});
  expectShapes(c.get(), {{"accel", {4, 3}}, {"BarPres", {0, 1}}});
  matvar_t* missing = field(c.get(), "missingSamples");
  expectMarked(missing, {{"compass", {0, 1, 3, 4, 5}}, {"IRLight", {0, 1}}, {"VisLight", {}},
                         {"AmbientLight", {0}}, {"accel", {0, 1}}});
  expectShapes(missing, {{"BarPres", {0, 1}}});
}

TEST(OutputWriters, LongGapGrowsTheMaskByTheFixedStep) {
  WriterRun run;
  run.request.writeWavFile = false;
  run.request.writeDataOut = false;
  run.counted({{kHuxBarPress, 1, 3000}});
  ASSERT_EQ(run.create(), 0);
  run.hux(1, 2999, packet({{kHuxBarPress, 2.0}}));
  run.close();
  EXPECT_NE(run.out().find("# WARNING: Packet      1, Filling 2998 missing samples for field BarPres\n"),
            std::string::npos);
  EXPECT_FALSE(testsupport::fileExists(run.path("dataOut.mat")));

  readback::Var c = run.completeData();
  // The last row of slack stays unwritten, so the column is shrunk to 2999.
  std::vector<double> expected(2999, 1.0);
  expected[2998] = 2.0;
  EXPECT_EQ(values(c.get(), "BarPres"), expected);
  std::vector<uint32_t> filled;
  for (uint32_t row = 0; row < 2998; ++row) filled.push_back(row);
  EXPECT_EQ(readback::trueRows(field(field(c.get(), "missingSamples"), "BarPres")), filled);
}

TEST(OutputWriters, TivChannelsAndTheMagnetometerCeiling) {
  WriterRun run(true);
  run.request.writeWavFile = false;
  run.scan.tivSampleTotals.fill(3);
  run.scan.tivAlignedCounts.fill(3);
  run.scan.tivAlignedCounts[kTivYMag] = 2;
  run.counted({{kHuxXAccel, 1, 1}});
  ASSERT_EQ(run.create(), 0);
  EXPECT_NE(run.out().find("# WARNING: Magnetometer samples are unequal, enforcing minimum size of 2\n"),
            std::string::npos);
  const std::string created = run.out();
  for (int t = 0; t < 3; ++t) {
    run.tiv(t + 1, t,
            packet<TivSamples>({{kTivXGyro, 1 + t}, {kTivYGyro, 2 + t}, {kTivZGyro, 3 + t},
                       {kTivXGyroTemp, 4 + t}, {kTivYGyroTemp, 5 + t}, {kTivZGyroTemp, 6 + t},
                       {kTivXMag, 7 + t}, {kTivYMag, 8 + t}, {kTivZMag, 9 + t}}));
  }
  run.close();
  EXPECT_EQ(run.out().substr(created.size()),
            "# WARNING: completeData- Packet      3, magnetometer artificial ceiling reached, "
            "sample dropped, for sensor mag\n"
            "# WARNING: completeData- Packet      3, magnetometer artificial ceiling reached, "
            "sample dropped, for sensor magY\n"
            "# WARNING: completeData- Packet      3, magnetometer artificial ceiling reached, "
            "sample dropped, for sensor magZ\n"
            "# INFO: Closing dataOut.mat\n"
            "# WARNING: dataOut, array for element accelX contains 0 elements, 1 expected\n"
            "# WARNING: dataOut, resizing array, this may be caused by sensors which require "
            "another sensor to calibrate themselves\n"
            "# INFO: Closing completeData.mat\n"
            "# ERROR: completeData, array for element accel contains 0 elements, 1 expected\n"
            "# ERROR: completeData, unable to resize multi-dimensional array! \n");

  readback::Var d = run.dataOut();
  std::vector<std::string> names = kHuxDataOutFields;
  names.insert(names.begin() + 2, "tiv_maxTime");
  names.insert(names.end(), {"gyroTime", "gyroX", "gyroY", "gyroZ", "gyroTempX", "gyroTempY",
                             "gyroTempZ", "magXTime", "magX", "magYTime", "magY", "magZTime",
                             "magZ"});
  EXPECT_EQ(readback::fieldNames(d.get()), names);
  EXPECT_DOUBLE_EQ(readback::scalar(d.get(), "maxTime"), 0.1);
  EXPECT_DOUBLE_EQ(readback::scalar(d.get(), "tiv_maxTime"), 0.3);
  matvar_t* stat = field(d.get(), "stat");
  EXPECT_EQ(readback::fieldNames(stat),
            (std::vector<std::string>{"serialNumber", "ActualStart", "tiv_serialNumber",
                                      "createdBy", "sourceFiles", "schedule", "tiv_schedule"}));
  expectValues(stat, {{"tiv_serialNumber", {66}}});
  const std::vector<std::string> tivLabels(kTivChannelLabels.begin(), kTivChannelLabels.end());
  EXPECT_EQ(readback::fieldNames(field(stat, "tiv_schedule")), tivLabels);
  expectValues(field(stat, "tiv_schedule"), {{"tiv/z_mag", {10}}});
  expectValues(d.get(), {{"gyroTime", {0.0, 0.1, 0.2}}, {"gyroTempZ", {6, 7, 8}}, {"magY", {8, 9, 10}},
                         {"magYTime", {0.0, 0.1, 0.2}}});

  readback::Var c = run.completeData();
  EXPECT_EQ(readback::fieldNames(c.get()), completeDataFields(true));
  expectValues(c.get(), {{"tiv_serialNumber", {66}}, {"gyro", {1, 2, 3, 2, 3, 4, 3, 4, 5}},
                         {"gyroTemp", {4, 5, 6, 5, 6, 7, 6, 7, 8}}, {"mag", {7, 8, 8, 9, 9, 10}},
                         {"magTime", {0.0, 0.1}}, {"gyroTime", {0.0, 0.2}}, {"mag_SR", {10.0}}});
  matvar_t* missing = field(c.get(), "missingSamples");
  std::vector<std::string> owners = kHuxOwners;
  owners.insert(owners.end(), {"gyro", "gyroTemp", "mag"});
  EXPECT_EQ(readback::fieldNames(missing), owners);
  expectShapes(missing, {{"mag", {2, 1}}});
}

// The scan pass counts the rows each mask will mark, so that the file can be
// laid out before the write pass: gaps, fills past a channel's last row, the
// magnetometer's ceiling. The count must equal the rows marked in the file.
TEST(OutputWriters, TheScanCountsTheRowsEveryMaskMarks) {
  WriterRun run(true);
  run.request.writeWavFile = false;
  run.counted({{kHuxCompass, 3, 12}, {kHuxAmbLight, 2, 1}, {kHuxXAccel, 2, 6}});
  run.scan.tivAlignedCounts.fill(9);
  run.scan.tivAlignedCounts[kTivYMag] = 4;
  const struct {
    int32_t t;
    HuxSamples hux;
    TivSamples tiv;
  } packets[] = {
      {0, packet({{kHuxCompass, 1.0}, {kHuxXAccel, 2.0}}), packet<TivSamples>({{kTivXMag, 1.0}, {kTivXGyro, 1.0}})},
      {3, packet({{kHuxAmbLight, 8.0}}), packet<TivSamples>({{kTivXMag, 2.0}})},
      {5, packet({{kHuxCompass, 4.0}, {kHuxXAccel, 3.0}}), packet<TivSamples>({{kTivXMag, 3.0}, {kTivXGyro, 2.0}})},
      {6, packet({{kHuxAmbLight, 9.0}}), TivSamples{}},
      {11, packet({{kHuxCompass, 5.0}}), packet<TivSamples>({{kTivXMag, 4.0}, {kTivXGyro, 3.0}})},
  };
  run.plan = completeDataPlanFor(run.files[0]);
  for (const auto& p : packets) planCompleteData(run.plan, p.t, p.hux, p.t, p.tiv);
  run.planned = true;
  ASSERT_EQ(run.create(), 0);
  for (const auto& p : packets) {
    run.hux(p.t + 1, p.t, p.hux);
    run.tiv(p.t + 1, p.t, p.tiv);
  }
  run.close();

  readback::Var c = run.completeData();
  matvar_t* masks = field(c.get(), "missingSamples");
  int marked = 0;
  for (int32_t r = 0; r < kCompleteDataChannels; ++r) {
    const CompleteDataEntry& entry = kCompleteDataCatalogue[static_cast<size_t>(r)];
    if (entry.owner >= 0) continue;
    matvar_t* mask = field(masks, entry.name);
    const auto rows = static_cast<int64_t>(readback::shape(mask).rows);
    EXPECT_EQ(plannedMaskEntries(run.plan, r, rows), static_cast<int64_t>(readback::trueRows(mask).size()))
        << entry.name;
    marked += static_cast<int>(readback::trueRows(mask).size());
  }
  EXPECT_GT(marked, 10);
}

TEST(OutputWriters, IntegerOutputStoresTheIntegerForm) {
  for (const bool integer : {false, true}) {
    WriterRun run;
    run.request.writeWavFile = false;
    run.request.integerOutput = integer;
    run.counted({{kHuxTemp, 1, 1}});
    ASSERT_EQ(run.create(), 0);
    run.hux(1, 0, packet({{kHuxTemp, 21.5}}));
    run.close();
    const double expected = integer ? 216.0 : 21.5;
    EXPECT_EQ(values(run.dataOut().get(), "BarTemp"), std::vector<double>{expected});
    EXPECT_EQ(values(run.completeData().get(), "BarTemp"), std::vector<double>{expected});
  }
}

TEST(OutputWriters, DisabledOutputsCreateNoFiles) {
  WriterRun run;
  run.request.writeWavFile = run.request.writeDataOut = run.request.writeCompleteData = false;
  run.scan.huxSampleTotals.fill(1);
  run.scan.huxAlignedCounts.fill(1);
  ASSERT_EQ(run.create(), 0);
  run.hux(1, 0, audioPacket({1, 2, 3, 4}));
  run.hux(2, 0, allHuxSensors(0));
  run.close();
  EXPECT_EQ(run.out(), "# INFO: Data will be written to: '" + run.dir.path() + "/'\n");
  for (const char* name : {"completeSensorAudio.wav", "dataOut.mat", "completeData.mat"}) {
    EXPECT_FALSE(testsupport::fileExists(run.path(name))) << name;
  }
}

TEST(OutputWriters, NoAudioMeansNoWavFile) {
  WriterRun run;
  run.request.writeDataOut = run.request.writeCompleteData = false;
  run.files[0].huxChannelRates[kHuxAudio] = 0;
  ASSERT_EQ(run.create(), 0);
  run.hux(1, 0, audioPacket({1, 2, 3, 4}));
  run.close();
  EXPECT_EQ(run.out(),
            "# INFO: Data will be written to: '" + run.dir.path() + "/'\n"
            "# WARNING: No audio samples found, disabling .wav file writing\n");
  EXPECT_FALSE(testsupport::fileExists(run.path("completeSensorAudio.wav")));

  // With an audio rate of 0 the audio time is [0, 0].
  WriterRun silent;
  silent.request.writeWavFile = silent.request.writeDataOut = false;
  silent.files[0].huxChannelRates[kHuxAudio] = 0;
  ASSERT_EQ(silent.create(), 0);
  silent.close();
  expectValues(silent.completeData().get(), {{"audioTime", {0.0, 0.0}}, {"audio_SR", {0.0}}});
}

TEST(WavWriter, FillsGapsWithZerosAndStoresItsStrings) {
  WriterRun run;
  run.request.writeDataOut = run.request.writeCompleteData = false;
  run.scan.huxSampleTotals[kHuxAudio] = 100;
  ASSERT_EQ(run.create(), 0);
  const std::string created = run.out();
  run.hux(1, 0, audioPacket({1, 2, 3, 4}));
  // 16 samples due by interrupt 3, 8 short: 7 zeros (one of slack).
  run.hux(2, 3, audioPacket({5, 6, 7, 8}));
  // 10 samples at interrupt 3 run ahead of the 16 due; the next packet at
  // the same interrupt finds 25 accounted for.
  run.hux(3, 3, audioPacket({9, 9, 9, 9, 9, 9, 9, 9, 9, 9}));
  run.hux(4, 3, audioPacket({-1}));
  run.close();
  EXPECT_EQ(run.out().substr(created.size()),
            "# WARNING: Packet      2, WAV, Filling   8 missing samples at pos       4\n"
            "# ERROR: WAV, Current audio data exceeds expected amount, expected 16 recieved 25\n"
            "# INFO: Closing completeSensorAudio.wav\n");
  const Wav wav = readWav(run.path("completeSensorAudio.wav"));
  EXPECT_EQ(wav.samples,
            (std::vector<int16_t>{1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 5, 6, 7, 8, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, -1}));
  EXPECT_EQ(wav.title, "HUX2 Sensor audio file");
  EXPECT_EQ(wav.comment, "Source [ 0] second.pelg\nSource [ 1] first.pelg\n");
  EXPECT_EQ(wav.software.rfind("Created by pelgToMatlab (Linux), compiled on ", 0), 0u);
  EXPECT_TRUE(fitsShape(wav.date, "@@@ @@@ _# ##:##:## ####\n"));
}

TEST(OutputWriters, FourThousandFilesAreAllListed) {
  WriterRun run;
  run.fileCount = kMaxInputFiles;
  run.files.resize(kMaxInputFiles, run.files[0]);
  run.args = {"pelgToMatlab"};
  std::string expected;
  for (int i = 0; i < kMaxInputFiles; ++i) {
    run.files[i].fileNumber = i + 1;
    const std::string name = "/recordings/a/rather/long/directory/name/piece_" + std::to_string(i) + ".pelg";
    run.args.push_back(name);
    char position[16];
    std::snprintf(position, sizeof position, "%2d", i);
    expected += "Source [" + std::string(position) + "] " + name + "\n";
  }
  run.scan.huxSampleTotals[kHuxAudio] = 4;
  ASSERT_EQ(run.create(), 0);
  run.hux(1, 0, audioPacket({1, 2, 3, 4}));
  run.close();

  EXPECT_GT(expected.size(), 200000u);
  readback::Var dataOut = run.dataOut();
  EXPECT_EQ(readback::text(field(field(dataOut.get(), "stat"), "sourceFiles")), expected);
  EXPECT_EQ(readback::text(field(run.completeData().get(), "sourceFiles")), expected);
  // The WAV header has no room for the whole list: its comment keeps the
  // leading lines, and the audio is intact.
  EXPECT_NE(run.out().find("# WARNING: WAV, comment holds the first 715 of 4096 source file lines\n"),
            std::string::npos);
  EXPECT_EQ(readWav(run.path("completeSensorAudio.wav")).samples, (std::vector<int16_t>{1, 2, 3, 4}));
}

TEST(WavWriter, BlocksAndLongGapsKeepEverySampleInOrder) {
  WriterRun run;
  run.request.writeDataOut = run.request.writeCompleteData = false;
  run.files[0].huxChannelRates[kHuxAudio] = 100 * kInterruptRate;  // 100 samples per interrupt
  run.scan.huxSampleTotals[kHuxAudio] = 1;
  ASSERT_EQ(run.create(), 0);
  std::vector<int16_t> expected;
  int32_t t = 0;
  // 300 steady packets of 100 samples cross the flush threshold at 20352
  // several times; then a gap of 500 interrupts needs 49999 zeros.
  for (; t < 300; ++t) {
    HuxSamples samples;
    for (int i = 0; i < 100; ++i) {
      const auto v = static_cast<int16_t>((t * 100 + i) % 30000 + 1);
      samples.append(kHuxAudio, v, 0.0);
      expected.push_back(v);
    }
    run.hux(t + 1, t, samples);
  }
  t += 500;
  expected.insert(expected.end(), 49999, 0);
  HuxSamples last;
  for (int i = 0; i < 100; ++i) {
    last.append(kHuxAudio, static_cast<int16_t>(-i - 1), 0.0);
    expected.push_back(static_cast<int16_t>(-i - 1));
  }
  run.hux(301, t, last);
  run.close();
  EXPECT_NE(run.out().find("# WARNING: Packet    301, WAV, Filling 50000 missing samples at pos   30000\n"),
            std::string::npos);
  const Wav wav = readWav(run.path("completeSensorAudio.wav"));
  EXPECT_EQ(wav.info.samplerate, 1000);
  ASSERT_EQ(wav.samples.size(), expected.size());
  EXPECT_TRUE(wav.samples == expected);
}

// An output that cannot be created ends the run with the writer's own line,
// the path and the system's reason, and leaves nothing behind: a missing
// folder, or a folder where the file should go (found before anything is
// written).
TEST(OutputWriters, UncreatableOutputEndsTheRun) {
  const struct {
    bool wav, dataOut, completeData;
    const char* inTheWay;  // a folder of this name in the output folder
    std::string lines;     // after the directory line; '%' stands for the directory
  } cases[] = {
      {false, true, false, nullptr,
       "# INFO: Opening dataOut.mat file:      '%dataOut.mat'\n"
       "# ERROR: Unable to open dataOut.mat for writing, check path/permissions\n"
       "# ERROR: Unable to create %.dataOut.mat.partial: No such file or directory\n# ERROR: Exiting\n"},
      {false, false, true, nullptr,
       "# INFO: Opening completeData.mat file: '%completeData.mat'\n"
       "# ERROR: Unable to open completeData.mat for writing, check path/permissions\n"
       "# ERROR: Unable to create %.completeData.mat.partial: No such file or directory\n# ERROR: Exiting\n"},
      {true, false, false, nullptr,
       "# INFO: Opening .wav file:             '%completeSensorAudio.wav'\n"
       "# ERROR: Unable to open the .wav file %completeSensorAudio.wav\n"
       "# ERROR: Unable to create %.completeSensorAudio.wav.partial: No such file or directory\n"
       "# ERROR: Exiting\n"},
      {false, false, false, nullptr,
       "# ERROR: Unable to open SIRF GPS output file: %sirfGPSOutput.bin\n"
       "# ERROR: Unable to create %.sirfGPSOutput.bin.partial: No such file or directory\n# ERROR: Exiting\n"},
      {false, true, false, "dataOut.mat",
       "# INFO: Opening dataOut.mat file:      '%dataOut.mat'\n"
       "# ERROR: Unable to open dataOut.mat for writing, check path/permissions\n"
       "# ERROR: Unable to create %dataOut.mat: Is a directory\n# ERROR: Exiting\n"},
      {true, false, false, "completeSensorAudio.wav",
       "# INFO: Opening .wav file:             '%completeSensorAudio.wav'\n"
       "# ERROR: Unable to open the .wav file %completeSensorAudio.wav\n"
       "# ERROR: Unable to create %completeSensorAudio.wav: Is a directory\n# ERROR: Exiting\n"},
      {false, false, false, "sirfGPSOutput.bin",
       "# ERROR: Unable to open SIRF GPS output file: %sirfGPSOutput.bin\n"
       "# ERROR: Unable to create %sirfGPSOutput.bin: Is a directory\n# ERROR: Exiting\n"},
      // A temporary name taken by a folder is named as the obstacle.
      {false, false, true, ".completeData.mat.partial",
       "# INFO: Opening completeData.mat file: '%completeData.mat'\n"
       "# ERROR: Unable to open completeData.mat for writing, check path/permissions\n"
       "# ERROR: Unable to create %.completeData.mat.partial: Is a directory\n# ERROR: Exiting\n"},
  };
  for (const auto& c : cases) {
    WriterRun run;
    const std::string dir = run.dir.path() + (c.inTheWay ? "/" : "/missing/");
    if (c.inTheWay) std::filesystem::create_directory(dir + c.inTheWay);
    run.request.outputDir = dir;
    run.request.writeWavFile = c.wav, run.request.writeDataOut = c.dataOut;
    run.request.writeCompleteData = c.completeData;
    run.counted({{kHuxAudio, 4, 4}});
    EXPECT_EQ(run.create(), -8);
    std::string lines = "# INFO: Data will be written to: '" + dir + "'\n";
    for (char ch : c.lines) lines += ch == '%' ? dir : std::string(1, ch);
    EXPECT_EQ(run.out(), lines);
    run.state.reset();  // what a run that ends leaves behind
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(run.dir.path())) {
      left.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(left, c.inTheWay ? std::vector<std::string>{c.inTheWay} : std::vector<std::string>{});
  }
}

}  // namespace
