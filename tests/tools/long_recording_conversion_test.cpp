// Long recordings through the real converter, made small: a pause between
// two short files that puts the audio past 2^31 samples, and the option that
// writes both MAT-files as MAT v7.3.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "output/mat_versions_read_back.h"
#include "support/test_support.h"

namespace {

using testsupport::RunResult;
using testsupport::TempDir;

RunResult convert(const TempDir& dir, std::vector<std::string> options, const std::string& out) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.file("in")))
    if (entry.path().extension() == ".pelg") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  std::filesystem::create_directories(dir.file(out));
  options.insert(options.end(), {"-outputdir", dir.file(out) + "/"});
  options.insert(options.end(), files.begin(), files.end());
  return testsupport::runPelgToMatlab(options);
}

size_t count(const std::string& text, const std::string& needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

// Two 20 s files of 32 kHz audio 67200 s apart: 2^31 samples are due after
// 18.6 hours, and the time line calls for 2,151,679,999 of them.
TEST(LongRecordingConversion, AudioCountsPast2To31AreCountedAndStoredWhole) {
  TempDir dir;
  ASSERT_EQ(testsupport::runProgram({PELGSIM_BIN, "-q", "-o", dir.file("in"), "--duration", "67240", "--files",
                                     "2", "--file-gap", "67200", "--mic-hz", "32000", "--accel-rate", "100"})
                .status,
            0);
  const RunResult r = convert(dir, {"-NoWavFile", "-maxGap_sec", "70000"}, "out");
  ASSERT_EQ(r.status, 0) << r.out;
  // In the report after the scan and after the write pass alike.
  EXPECT_EQ(count(r.out, "# INFO:         hux/audio  32000.00Hz      2151679999       1280000 -2150399999   "
                         "(  0.0595%)\n"),
            2u)
      << r.out;
  EXPECT_EQ(count(r.out, "Algorithm error"), 0u);
  EXPECT_EQ(r.out.find("RF64"), std::string::npos);  // no WAV file is written

  const readback::Loaded c = readback::loadAnyVersion(dir.file("out/completeData.mat"), "completeData");
  ASSERT_TRUE(c.var);
  EXPECT_EQ(c.version, MAT_FT_MAT5);
  EXPECT_EQ(readback::scalar(c.var.get(), "noAudioSamples"), 2151679999.0);
  const std::vector<double> audioTime = readback::doubles(readback::field(c.var.get(), "audioTime"));
  ASSERT_EQ(audioTime.size(), 2u);
  EXPECT_DOUBLE_EQ(audioTime[1], 2151679999.0 / 320000.0);
  // The accelerometer at 10 Hz over the whole time line, the pause filled.
  EXPECT_EQ(readback::shape(readback::field(c.var.get(), "accel")), (readback::Shape{672399, 3}));
}

// -mat73 on a simulated recording with both boards, GPS and gaps: both files
// are HDF5 MAT v7.3 files with every field of the MAT v5 conversion.
TEST(LongRecordingConversion, Mat73OptionWritesBothFilesAsMatV73) {
  TempDir dir;
  ASSERT_EQ(testsupport::runProgram({PELGSIM_BIN, "-q", "-o", dir.file("in"), "--duration", "120", "--files", "2",
                                     "--tiv", "--sirf", "--gaps", "2", "--gap-length", "10"})
                .status,
            0);
  const RunResult v5 = convert(dir, {}, "v5");
  ASSERT_EQ(v5.status, 0) << v5.out;
  const RunResult v73 = convert(dir, {"-mat73"}, "v73");
  ASSERT_EQ(v73.status, 0) << v73.out;
  EXPECT_EQ(v73.out.rfind("# INFO: MAT-files will be written as MAT v7.3 (HDF5)\n", 0), 0u);
  EXPECT_NE(v73.out.find("# INFO: Data will be written to: '" + dir.file("v73") +
                         "/'\n"
                         "# INFO: dataOut.mat is written as MAT v7.3 (HDF5), as -mat73 asks\n"
                         "# INFO: completeData.mat is written as MAT v7.3 (HDF5), as -mat73 asks\n"
                         "# INFO: Opening .wav file:"),
            std::string::npos);
  EXPECT_EQ(v5.out.find("v7.3"), std::string::npos);
  for (const char* name : {"dataOut", "completeData"}) {
    const std::string file = std::string("/") + name + ".mat";
    const readback::Loaded a = readback::loadAnyVersion(dir.file("v5") + file, name);
    const readback::Loaded b = readback::loadAnyVersion(dir.file("v73") + file, name);
    ASSERT_TRUE(a.var && b.var) << name;
    EXPECT_EQ(a.version, MAT_FT_MAT5);
    EXPECT_EQ(b.version, MAT_FT_MAT73);
    readback::expectSameTree(a.var.get(), b.var.get(), name);
  }
  // The WAV file and the GPS bytes do not depend on the option.
  for (const char* file : {"/completeSensorAudio.wav", "/sirfGPSOutput.bin"}) {
    EXPECT_EQ(testsupport::readFile(dir.file("v5") + file).size(), testsupport::readFile(dir.file("v73") + file).size())
        << file;
  }
  EXPECT_EQ(testsupport::readFile(dir.file("v5") + "/sirfGPSOutput.bin"),
            testsupport::readFile(dir.file("v73") + "/sirfGPSOutput.bin"));
}

}  // namespace
