// The choice of the output formats from the scan pass's counts: RIFF WAV or
// RF64, MAT v5 or v7.3, the INFO lines that say so, the refusal of a channel
// beyond the row limit before any output exists, and the MAT v5 size bounds
// set against the files the writers really produce.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>

#include "output/output_formats.h"
#include "output/provenance.h"
#include "output/wav_container.h"
#include "output/writer_run.h"

namespace {

using writertest::WriterRun;

constexpr int kWav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
constexpr int kRf64 = SF_FORMAT_RF64 | SF_FORMAT_PCM_16;

// The most 16-bit samples a RIFF WAV takes with the header allowance.
constexpr int64_t kLastRiffFrames = static_cast<int64_t>((kRiffFileLimit - kWavHeaderAllowance) / 2);

TEST(WavContainer, RiffWavUpToItsFourGibibytesRf64Beyond) {
  const struct {
    int64_t frames;
    int format;
  } cases[] = {
      {0, kWav},
      {48000, kWav},
      {(int64_t{1} << 31) - (int64_t{1} << 20), kWav},
      {kLastRiffFrames, kWav},
      {int64_t{0x7FFFFFFF}, kRf64},  // 4 GiB - 2 bytes of samples leave no room for the header
      {kLastRiffFrames + 1, kRf64},
      {int64_t{1} << 31, kRf64},
      {int64_t{8000} * 3600 * 24 * 8, kRf64},  // eight days at 8 kHz
      {INT64_MAX, kRf64},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wavFileFormat(c.frames), c.format) << c.frames;
    EXPECT_EQ(fitsRiffWav(c.frames), c.format == kWav) << c.frames;
    EXPECT_EQ(isRf64Format(wavFileFormat(c.frames)), c.format == kRf64) << c.frames;
  }
  // The allowance keeps room for a header of 64 KB with its strings.
  EXPECT_LE(static_cast<uint64_t>(kLastRiffFrames) * 2 + 64 * 1024, kRiffFileLimit);
}

TEST(MatVersionChoice, MatV5UpToItsVariableLimitUnlessV73IsAsked) {
  const struct {
    uint64_t bytes;
    bool force;
    MatVersion version;
  } cases[] = {
      {0, false, MatVersion::kMat5},
      {0x7FFFFFFF, false, MatVersion::kMat5},
      {0x80000000, false, MatVersion::kMat73},
      {0x100000000, false, MatVersion::kMat73},
      {1000, true, MatVersion::kMat73},
      {0x80000000, true, MatVersion::kMat73},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(chooseMatVersion(c.bytes, c.force), c.version) << c.bytes << " " << c.force;
  }
}

// Counts of an hour of the default schedule: 8 kHz audio, 100 Hz
// accelerometer and gyroscopes, 10 Hz for the rest.
PassCounters hourOfCounts(int64_t hours, bool withTiv) {
  PassCounters scan;
  const int64_t seconds = hours * 3600;
  for (int c = 0; c < kHuxChannelCount; ++c) scan.huxSampleTotals[c] = 10 * seconds;
  scan.huxSampleTotals[kHuxAudio] = 8000 * seconds;
  for (int c : {kHuxXAccel, kHuxYAccel, kHuxZAccel}) scan.huxSampleTotals[c] = 100 * seconds;
  if (withTiv) {
    scan.tivSampleTotals.fill(10 * seconds);
    for (int c : {kTivXGyro, kTivYGyro, kTivZGyro, kTivXGyroTemp, kTivYGyroTemp, kTivZGyroTemp}) {
      scan.tivSampleTotals[c] = 100 * seconds;
    }
  }
  scan.huxAlignedCounts = scan.huxSampleTotals;
  scan.tivAlignedCounts = scan.tivSampleTotals;
  return scan;
}

struct FormatCase {
  const char* name;
  int64_t hours;
  bool force;
  OutputFormats expected;
  std::string lines;
};

TEST(OutputFormatChoice, EachOutputLeavesItsUsualFormatOnlyWhenItMust) {
  InputFileInfo reference;
  reference.hasTiv = 1;
  const std::string rf64 =
      "# INFO: 2304000000 audio samples do not fit a RIFF WAV (4 GiB): completeSensorAudio.wav "
      "is written as RF64\n";
  const FormatCase cases[] = {
      {"a day", 24, false, {kWav, MatVersion::kMat5, MatVersion::kMat5}, ""},
      {"a day, v7.3 asked", 24, true, {kWav, MatVersion::kMat73, MatVersion::kMat73},
       "# INFO: dataOut.mat is written as MAT v7.3 (HDF5), as -mat73 asks\n"
       "# INFO: completeData.mat is written as MAT v7.3 (HDF5), as -mat73 asks\n"},
      // dataOut takes 38.9 MB an hour and passes 2 GiB after 55 hours,
      // completeData (29.4 MB an hour) after 73 hours.
      {"55 hours", 55, false, {kWav, MatVersion::kMat5, MatVersion::kMat5}, ""},
      {"56 hours", 56, false, {kWav, MatVersion::kMat73, MatVersion::kMat5},
       "# INFO: dataOut.mat needs up to 2177355152 bytes, more than the 2147483647 bytes of a "
       "MAT v5 variable: it is written as MAT v7.3 (HDF5)\n"},
      {"80 hours", 80, false, {kRf64, MatVersion::kMat73, MatVersion::kMat73},
       rf64 + "# INFO: dataOut.mat needs up to 3110475152 bytes, more than the 2147483647 bytes "
              "of a MAT v5 variable: it is written as MAT v7.3 (HDF5)\n"
              "# INFO: completeData.mat needs up to 2350159560 bytes, more than the 2147483647 "
              "bytes of a MAT v5 variable: it is written as MAT v7.3 (HDF5)\n"},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::CapturedConsole captured;
    OutputSelection selection;
    selection.forceMat73 = c.force;
    const PassCounters scan = hourOfCounts(c.hours, true);
    const OutputFormats formats = chooseOutputFormats(selection, reference, scan, 100, captured.console());
    EXPECT_EQ(formats.wavFormat, c.expected.wavFormat);
    EXPECT_EQ(formats.dataOut, c.expected.dataOut);
    EXPECT_EQ(formats.completeData, c.expected.completeData);
    EXPECT_EQ(captured.out(), c.lines);
  }
}

TEST(OutputFormatChoice, DisabledOutputsAndRecordingsWithoutAudioSayNothing) {
  InputFileInfo reference;
  reference.hasTiv = 1;
  PassCounters scan = hourOfCounts(80, true);
  testsupport::CapturedConsole captured;
  OutputSelection selection;
  selection.wav = selection.dataOut = selection.completeData = false;
  selection.forceMat73 = true;
  const OutputFormats formats = chooseOutputFormats(selection, reference, scan, 100, captured.console());
  EXPECT_EQ(formats.dataOut, MatVersion::kMat5);
  EXPECT_EQ(formats.completeData, MatVersion::kMat5);
  // Audio counted as missing only: no WAV file will be written at all.
  scan.huxSampleTotals[kHuxAudio] = 0;
  selection.wav = true;
  chooseOutputFormats(selection, reference, scan, 100, captured.console());
  EXPECT_EQ(captured.out(), "");
}

struct RowLimitCase {
  const char* name;
  void (*count)(PassCounters&);
  bool withTiv;
  bool dataOut, completeData;
  const char* error;  // nullptr: accepted
};

constexpr int64_t kBeyond = int64_t{0x7FFFFFFF} + 1;

TEST(OutputFormatChoice, AChannelBeyondTheRowLimitEndsTheRunBeforeAnyOutput) {
  const RowLimitCase cases[] = {
      {"found accelerometer values", [](PassCounters& s) { s.huxSampleTotals[kHuxYAccel] = kBeyond; },
       false, true, true, "# ERROR: dataOut.mat field accelY would hold 2147483648 rows"},
      {"the gain follows hf light", [](PassCounters& s) { s.huxSampleTotals[kHuxHfVisLight] = kBeyond; },
       false, true, false, "# ERROR: dataOut.mat field visFreqLightGain would hold 2147483648 rows"},
      {"aligned compass rows", [](PassCounters& s) { s.huxAlignedCounts[kHuxCompass] = kBeyond; }, false,
       true, true, "# ERROR: completeData.mat field compass would hold 2147483648 rows"},
      {"exactly at the limit", [](PassCounters& s) { s.huxAlignedCounts[kHuxCompass] = kBeyond - 1; },
       false, true, true, nullptr},
      {"only the aligned count is beyond, dataOut alone",
       [](PassCounters& s) { s.huxAlignedCounts[kHuxCompass] = kBeyond; }, false, true, false, nullptr},
      {"audio has no array", [](PassCounters& s) { s.huxAlignedCounts[kHuxAudio] = kBeyond * 4; }, false,
       true, true, nullptr},
      {"TIV counts without TIV data", [](PassCounters& s) { s.tivSampleTotals[kTivXGyro] = kBeyond; },
       false, true, true, nullptr},
      {"gyro", [](PassCounters& s) { s.tivSampleTotals[kTivZGyroTemp] = kBeyond; }, true, true, true,
       "# ERROR: dataOut.mat field gyroTempZ would hold 2147483648 rows"},
      // The magnetometer takes the smallest of its three aligned counts.
      {"one magnetometer axis", [](PassCounters& s) { s.tivAlignedCounts[kTivYMag] = kBeyond; }, true,
       false, true, nullptr},
      {"all magnetometer axes", [](PassCounters& s) { s.tivAlignedCounts.fill(kBeyond); }, true, false,
       true, "# ERROR: completeData.mat field gyro would hold 2147483648 rows"},
  };
  for (const RowLimitCase& c : cases) {
    SCOPED_TRACE(c.name);
    WriterRun run(c.withTiv);
    run.scan = hourOfCounts(0, c.withTiv);
    run.scan.huxSampleTotals[kHuxAudio] = 4;
    c.count(run.scan);
    run.request.writeDataOut = c.dataOut;
    run.request.writeCompleteData = c.completeData;
    OutputSelection selection;
    selection.dataOut = c.dataOut;
    selection.completeData = c.completeData;
    testsupport::CapturedConsole captured;
    int status = 0;
    try {
      chooseOutputFormats(selection, run.files[0], run.scan, 100, captured.console());
    } catch (const FatalError& e) {
      status = e.status();
    }
    if (!c.error) {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(captured.out().find("ERROR"), std::string::npos);
      continue;
    }
    EXPECT_EQ(status, -1);
    EXPECT_EQ(captured.out(), std::string(c.error) +
                                  ", more than the 2147483647 rows an output array holds\n"
                                  "# ERROR: Exiting\n");
    // Through the creation of the outputs: the same lines, and no file at all.
    EXPECT_EQ(run.create(), -1);
    EXPECT_NE(run.out().find(std::string(c.error)), std::string::npos);
    EXPECT_EQ(run.out().find("Opening"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(run.dir.path()));
  }
}

// The bytes of a MAT v5 file after its 128-byte header: its one variable.
uint64_t variableBytes(const std::string& path) {
  return static_cast<uint64_t>(std::filesystem::file_size(path)) - 128;
}

HuxSamples allHuxSensors(double value) {
  HuxSamples samples;
  for (int c = 1; c <= kHuxZAccel; ++c) samples.append(c, static_cast<int16_t>(c), value + c);
  return samples;
}

TivSamples allTivSensors(double value) {
  TivSamples samples;
  for (int c = 0; c < kTivChannelCount; ++c) samples.append(c, static_cast<int16_t>(c), value + c);
  return samples;
}

// A recording of `kept` interrupts in two halves with a gap of `gap`
// interrupts between them (one value of every sensor per interrupt): the
// bounds must hold the files and stay within a small margin of them.
TEST(MatV5Size, BoundsHoldTheRealFilesClosely) {
  const struct {
    bool tiv;
    int64_t kept, gap;
  } cases[] = {{false, 20, 0}, {false, 20000, 0}, {true, 6000, 0}, {true, 6000, 4000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.kept) + (c.tiv ? " with TIV" : "") + " gap " + std::to_string(c.gap));
    WriterRun run(c.tiv);
    run.request.writeWavFile = false;
    // One sample per interrupt; a gap of g interrupts leaves g - 1 rows
    // counted as missing (one sample of slack).
    const int64_t aligned = c.kept + (c.gap > 0 ? c.gap - 1 : 0);
    run.scan.huxSampleTotals.fill(c.kept);
    run.scan.huxAlignedCounts.fill(aligned);
    if (c.tiv) {
      run.scan.tivSampleTotals.fill(c.kept);
      run.scan.tivAlignedCounts.fill(aligned);
    }
    ASSERT_EQ(run.create(), 0);
    int32_t packet = 0;
    for (int64_t k = 0; k < c.kept; ++k) {
      const int64_t t = k < c.kept / 2 ? k : k + c.gap;
      run.hux(++packet, t, allHuxSensors(static_cast<double>(k)));
      if (c.tiv) run.tiv(++packet, t, allTivSensors(static_cast<double>(k)));
    }
    run.close();

    const size_t textBytes =
        createdByText().size() + sourceFilesText(run.files.data(), 2, run.args).size();
    const uint64_t dataOut = variableBytes(run.path("dataOut.mat"));
    const uint64_t dataOutBound = dataOutV5Bytes(run.scan, c.tiv, textBytes);
    EXPECT_GE(dataOutBound, dataOut);
    EXPECT_LE(dataOutBound, dataOut + 80 * 1024);
    const uint64_t completeData = variableBytes(run.path("completeData.mat"));
    const uint64_t completeDataBound = completeDataV5Bytes(run.scan, c.tiv, textBytes);
    EXPECT_GE(completeDataBound, completeData);
    EXPECT_LE(completeDataBound, completeData + 80 * 1024 + 8 * static_cast<uint64_t>(13 * c.gap));
  }
}

}  // namespace
