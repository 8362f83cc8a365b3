// The writers where a long recording takes them: WAV positions past 2^31,
// the plain RIFF WAV kept byte for byte for audio that fits, RF64 for audio
// that does not, and MAT v7.3 files that hold what the MAT v5 files hold.
#include <gtest/gtest.h>
#include <matio.h>
#include <sndfile.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "output/mat_versions_read_back.h"
#include "output/writer_run.h"

namespace {

using readback::expectSameTree;
using readback::loadAnyVersion;
using readback::Loaded;
using writertest::audioPacket;
using writertest::readWav;
using writertest::Wav;
using writertest::WriterRun;

// One interrupt carries 4 audio samples (40 Hz at 10 interrupts a second).
constexpr int64_t kSamplesPerInterrupt = writertest::kAudioRate / writertest::kInterruptRate;

TEST(LongWav, PositionsRunPast2To31WithoutWrapping) {
  WriterRun run;
  run.request.writeDataOut = run.request.writeCompleteData = false;
  run.scan.huxSampleTotals[kHuxAudio] = 16;
  run.scan.huxAlignedCounts[kHuxAudio] = 23;
  ASSERT_EQ(run.create(), 0);
  const std::string created = run.out();
  // As if 2^31 - 4 samples had been accounted for already.
  const int64_t start = (int64_t{1} << 31) - 4;
  run.state->wav.position = start;
  // Interrupt t owes 4 (t + 1) samples: 2^31 + 8 at this one, so 8 are due
  // before its 4, of which 7 are filled (one of slack).
  const int64_t t = ((int64_t{1} << 31) + 8) / kSamplesPerInterrupt - 1;
  run.hux(1, t, audioPacket({1, 2, 3, 4}));
  EXPECT_EQ(run.state->wav.position, start + 7 + 4);
  run.hux(2, t + 1, audioPacket({5, 6, 7, 8}));
  // A third packet at the same interrupt runs ahead of the time base.
  run.hux(3, t + 1, audioPacket({9, 10, 11, 12}));
  run.hux(4, t + 1, audioPacket({13, 14, 15, 16}));
  EXPECT_EQ(run.state->wav.position, start + 7 + 16);
  // Closing checks that the file's header announces every sample written;
  // the samples before `start` were only pretended.
  run.state->wav.position -= start;
  run.close();
  EXPECT_EQ(run.out().substr(created.size()),
            "# WARNING: Packet      1, WAV, Filling   8 missing samples at pos 2147483644\n"
            "# ERROR: WAV, Current audio data exceeds expected amount, expected 2147483660 recieved "
            "2147483663\n"
            "# INFO: Closing completeSensorAudio.wav\n");
  const Wav wav = readWav(run.path("completeSensorAudio.wav"));
  std::vector<int16_t> expected(7, 0);
  for (int16_t v = 1; v <= 16; ++v) expected.push_back(v);
  EXPECT_EQ(wav.samples, expected);
}

// Writes samples and strings straight through libsndfile as a RIFF WAV.
void writeRiffWav(const std::string& path, const Wav& wav) {
  SF_INFO info{};
  info.samplerate = wav.info.samplerate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  sf_set_string(file, SF_STR_TITLE, wav.title.c_str());
  sf_set_string(file, SF_STR_SOFTWARE, wav.software.c_str());
  sf_set_string(file, SF_STR_DATE, wav.date.c_str());
  sf_set_string(file, SF_STR_COMMENT, wav.comment.c_str());
  sf_write_short(file, wav.samples.data(), static_cast<sf_count_t>(wav.samples.size()));
  sf_close(file);
}

// The samples of a few packets with a gap, in blocks of the writer's buffer.
void feedAudio(WriterRun& run, int packets) {
  int32_t number = 0;
  for (int k = 0; k < packets; ++k) {
    const int64_t t = k < packets / 2 ? k : k + 3;
    std::vector<int16_t> values;
    for (int i = 0; i < kSamplesPerInterrupt; ++i) values.push_back(static_cast<int16_t>(7 * k + i));
    run.hux(++number, t, audioPacket(values));
  }
}

TEST(LongWav, AudioThatFitsIsTheSameRiffWavAsAPlainLibsndfileWav) {
  WriterRun run;
  run.request.writeDataOut = run.request.writeCompleteData = false;
  run.scan.huxSampleTotals[kHuxAudio] = 4 * 12000;
  run.scan.huxAlignedCounts[kHuxAudio] = 4 * 12000 + 11;
  ASSERT_EQ(run.create(), 0);
  feedAudio(run, 12000);
  run.close();
  EXPECT_EQ(run.out().find("RF64"), std::string::npos);

  const Wav wav = readWav(run.path("completeSensorAudio.wav"));
  ASSERT_EQ(wav.samples.size(), 4u * 12000 + 11);
  EXPECT_EQ(wav.info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  writeRiffWav(run.path("reference.wav"), wav);
  EXPECT_EQ(testsupport::readFile(run.path("completeSensorAudio.wav")),
            testsupport::readFile(run.path("reference.wav")));
}

TEST(LongWav, AudioCountedBeyondTheRiffLimitOpensAnRf64File) {
  WriterRun run;
  run.request.writeDataOut = run.request.writeCompleteData = false;
  // The scan counted more than a RIFF WAV holds; the write pass brings only
  // a few samples, so libsndfile ends the file as a RIFF WAV after all.
  run.scan.huxSampleTotals[kHuxAudio] = 8;
  run.scan.huxAlignedCounts[kHuxAudio] = int64_t{3} << 30;
  ASSERT_EQ(run.create(), 0);
  EXPECT_NE(run.out().find("# INFO: 3221225472 audio samples do not fit a RIFF WAV (4 GiB): "
                           "completeSensorAudio.wav is written as RF64\n"
                           "# INFO: Opening .wav file:"),
            std::string::npos);
  run.hux(1, 0, audioPacket({1, 2, 3, 4}));
  run.hux(2, 1, audioPacket({5, 6, 7, 8}));
  run.close();
  const Wav wav = readWav(run.path("completeSensorAudio.wav"));
  EXPECT_EQ(wav.samples, (std::vector<int16_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(wav.info.samplerate, 40);
  EXPECT_EQ(wav.title, "HUX2 Sensor audio file");
  EXPECT_EQ(wav.comment, "Source [ 0] second.pelg\nSource [ 1] first.pelg\n");
  EXPECT_EQ(testsupport::readFile(run.path("completeSensorAudio.wav")).substr(0, 4), "RIFF");
}

// --- MAT v7.3 -------------------------------------------------------------------

// Two conversions of one recording with TIV data, gaps, a channel without
// samples and a three-column channel short of its rows.
void writeGappyRecording(WriterRun& run) {
  run.scan.huxSampleTotals.fill(6);
  run.scan.huxSampleTotals[kHuxBarPress] = 0;
  run.scan.huxAlignedCounts.fill(10);
  run.scan.huxAlignedCounts[kHuxBarPress] = 0;
  run.scan.huxAlignedCounts[kHuxXAccel] = 12;
  run.scan.tivSampleTotals.fill(6);
  run.scan.tivAlignedCounts.fill(10);
  run.scan.tivAlignedCounts[kTivZMag] = 9;
  ASSERT_EQ(run.create(), 0);
  int32_t packet = 0;
  for (int64_t t : {0, 1, 2, 6, 7, 9}) {
    HuxSamples hux;
    for (int c = 2; c <= kHuxZAccel; ++c) hux.append(c, static_cast<int16_t>(c), 10.0 * t + c);
    for (int i = 0; i < 4; ++i) hux.append(kHuxAudio, static_cast<int16_t>(t * 4 + i), 0.0);
    run.calibration.hfLightGain = static_cast<int32_t>(t);
    run.hux(++packet, t, hux);
    TivSamples tiv;
    for (int c = 0; c < kTivChannelCount; ++c) tiv.append(c, static_cast<int16_t>(c), -10.0 * t - c);
    run.tiv(++packet, t, tiv);
  }
  run.close();
}

TEST(MatV73, ForcedFilesHoldWhatTheMatV5FilesHold) {
  WriterRun v5(true);
  writeGappyRecording(v5);
  WriterRun v73(true);
  v73.request.forceMat73 = true;
  writeGappyRecording(v73);

  // The same lines, with the two INFO lines of the choice in front.
  const std::string v5Dir = v5.dir.path() + "/", v73Dir = v73.dir.path() + "/";
  std::string lines = v73.out();
  for (size_t at = lines.find(v73Dir); at != std::string::npos; at = lines.find(v73Dir, at + 1)) {
    lines.replace(at, v73Dir.size(), v5Dir);
  }
  const std::string info =
      "# INFO: dataOut.mat is written as MAT v7.3 (HDF5), as -mat73 asks\n"
      "# INFO: completeData.mat is written as MAT v7.3 (HDF5), as -mat73 asks\n";
  const size_t firstLine = lines.find('\n') + 1;
  ASSERT_EQ(lines.substr(firstLine, info.size()), info);
  EXPECT_EQ(lines.erase(firstLine, info.size()), v5.out());

  for (const char* name : {"dataOut", "completeData"}) {
    const std::string file = std::string(name) + ".mat";
    const Loaded a = loadAnyVersion(v5.path(file.c_str()), name);
    const Loaded b = loadAnyVersion(v73.path(file.c_str()), name);
    ASSERT_TRUE(a.var && b.var) << name;
    EXPECT_EQ(a.version, MAT_FT_MAT5);
    EXPECT_EQ(b.version, MAT_FT_MAT73);
    // The 512-byte block before the HDF5 data starts with MATLAB's header text.
    EXPECT_EQ(testsupport::readFile(v73.path(file.c_str())).substr(0, 19), "MATLAB 7.3 MAT-file");
    expectSameTree(a.var.get(), b.var.get(), name);
  }

  // The spelling of the schedule fields, and masks that hold fills.
  const Loaded d = loadAnyVersion(v73.path("dataOut.mat"), "dataOut");
  matvar_t* stat = readback::field(d.var.get(), "stat");
  EXPECT_EQ(readback::fieldNames(readback::field(stat, "tiv_schedule")),
            (std::vector<std::string>{"tiv_x_gyro", "tiv_y_gyro", "tiv_z_gyro", "tiv_x_gyroTemp",
                                      "tiv_y_gyroTemp", "tiv_z_gyroTemp", "tiv_x_mag", "tiv_y_mag",
                                      "tiv_z_mag"}));
  EXPECT_EQ(readback::scalar(readback::field(stat, "schedule"), "hux_audio"), 40.0);
  const Loaded c = loadAnyVersion(v73.path("completeData.mat"), "completeData");
  matvar_t* masks = readback::field(c.var.get(), "missingSamples");
  EXPECT_EQ(readback::trueRows(readback::field(masks, "compass")), (std::vector<uint32_t>{3, 4, 7}));
  EXPECT_EQ(readback::shape(readback::field(masks, "accel")), (readback::Shape{12, 1}));
  EXPECT_EQ(readback::shape(readback::field(c.var.get(), "BarPres")), (readback::Shape{0, 1}));
}

}  // namespace
