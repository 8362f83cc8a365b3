// Hostile and unusual inputs through the real program, grouped by kind:
// header rates the platform cannot produce, one file named twice, standard
// input and FIFOs (a stream that is no recording, a full temporary folder, a
// FIFO read by every pass). Each ends with its exact lines and status, having
// written no output, or converts as a regular file would.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "driver_test_util.h"
#include "pelg_builder/pelg_builder.h"

using namespace drivertest;

namespace {

using pelgbuild::HuxSchedule;
using pelgbuild::TivSchedule;

const std::string kExiting = "# ERROR: Exiting\n";
const std::string kValid = "\n\n# INFO: Sequence appears to be valid\n";
const char* const kOutputs[] = {"dataOut.mat", "completeData.mat", "completeSensorAudio.wav", "sirfGPSOutput.bin"};

std::string opened(int t, const std::string& name) {
  return "# INFO: open file [" + std::string(t < 10 ? " " : "") + std::to_string(t) + "] '" + name + "'\n";
}

// The lines printed before the outcome: the "-disableChecks" lines and one
// open-file line per name, up to `upTo` names.
std::string openingLines(const std::vector<std::string>& args, size_t upTo = SIZE_MAX) {
  std::string lines;
  int t = 0;
  for (const std::string& arg : args) {
    if (arg == "-disableChecks") {
      lines += kChecksDisabled;
    } else if (static_cast<size_t>(t) < upTo) {
      lines += opened(++t, arg);
    }
  }
  return lines;
}

// A recording with a few HUX packets (accelerometer readings, then audio
// messages of 32 samples), so that a run that gets past validation has
// something to convert.
void writeRecording(const std::string& path, uint64_t startTime, const HuxSchedule& hux = {},
                    const std::optional<TivSchedule>& tiv = std::nullopt, int audioMessages = 1) {
  pelgbuild::PelgBuilder builder(pelgbuild::standardHeader(startTime, hux, tiv));
  pelgbuild::HuxReadings readings;
  readings.accel = std::array<int16_t, 3>{100, -200, 300};
  for (uint16_t k = 0; k < 20; ++k) {
    builder.packet(pelgbuild::kHuxId, 1000u + k, pelgbuild::huxSensor(0, static_cast<uint16_t>(k * 100), readings));
  }
  for (int k = 0; k < audioMessages; ++k) {
    builder.packet(pelgbuild::kHuxId, static_cast<uint32_t>(1100 + k),
                   pelgbuild::huxAudio(0, static_cast<uint16_t>(2000 + k), std::vector<int16_t>(32, 7)));
  }
  builder.writeTo(path);
}

template <class Schedule, class Change>
Schedule with(Schedule schedule, Change change) {
  change(schedule);
  return schedule;
}

// The program run through bash, for redirections and limits: `script` is run
// with $0 the program and $1.. the given arguments.
RunResult runInShell(const std::string& workdir, const std::string& script, const std::vector<std::string>& args = {},
                     const std::string& stdinData = "") {
  std::vector<std::string> argv{"/bin/bash", "-c", script, PELG_TO_MATLAB_BIN};
  argv.insert(argv.end(), args.begin(), args.end());
  return testsupport::runProgram(argv, workdir, stdinData);
}

class InputSafety : public ProgramTest {
 protected:
  void expectNoOutputs(const std::string& folder = "") {
    for (const char* output : kOutputs) EXPECT_FALSE(exists(folder + output)) << folder + output;
  }
  // The part of a transcript from the first summary report on, with the
  // output folder's name left out: what the passes found, which depends on
  // the data read and not on where it came from.
  static std::string fromSummary(const std::string& out, const std::string& folder) {
    const size_t at = out.find("\n\n# INFO: Scanning complete\n");
    std::string part = at == std::string::npos ? "(no summary)\n" + out : out.substr(at);
    for (size_t k = part.find(folder); k != std::string::npos; k = part.find(folder, k)) part.erase(k, folder.size());
    return part;
  }
};

// ---------------------------------------------------------------------------
// Header rates beyond the platform.

TEST_F(InputSafety, HeaderRatesOutOfRangeAreRefusedAlsoWithoutChecks) {
  using Hux = HuxSchedule&;
  using Tiv = TivSchedule&;
  const struct {
    const char* name;
    HuxSchedule hux;
    std::optional<TivSchedule> tiv;
    std::string line;  // empty: accepted
  } cases[] = {
      // A light rate with two header bytes changed: once a 96 s run and a 4 GiB completeData.mat.
      {"dals.pelg", with(HuxSchedule{}, [](Hux s) { s.dals_hz = 16711780; }), std::nullopt,
       "dals rate 16711780 is out of range (allowed 0 to 1000000)"},
      {"mic.pelg", with(HuxSchedule{}, [](Hux s) { s.mic_hz = 16700000; }), std::nullopt,
       "mic  rate 16700000 is out of range (allowed 0 to 192000)"},
      // Ten times this overflows a 32-bit rate in tenths of a hertz.
      {"micwrap.pelg", with(HuxSchedule{}, [](Hux s) { s.mic_hz = 214748365; }), std::nullopt,
       "mic  rate 214748365 is out of range (allowed 0 to 192000)"},
      {"micneg.pelg", with(HuxSchedule{}, [](Hux s) { s.mic_hz = -1; }), std::nullopt,
       "mic  rate -1 is out of range (allowed 0 to 192000)"},
      {"mictop.pelg", with(HuxSchedule{}, [](Hux s) { s.mic_hz = 192000; }), std::nullopt, ""},
      {"micnone.pelg", with(HuxSchedule{}, [](Hux s) { s.mic_hz = 0; }), std::nullopt, ""},
      {"intr.pelg", with(HuxSchedule{}, [](Hux s) { s.interrupt_count = 1000001; }), std::nullopt,
       "intr rate 1000001 is out of range (allowed 1 to 1000000)"},
      {"intrtop.pelg", with(HuxSchedule{}, [](Hux s) { s.interrupt_count = 1000000; }), std::nullopt, ""},
      {"acc.pelg", with(HuxSchedule{}, [](Hux s) { s.accelerometer_hz = 1000001; }), std::nullopt,
       "acc  rate 1000001 is out of range (allowed 0 to 1000000)"},
      {"acctop.pelg", with(HuxSchedule{}, [](Hux s) { s.accelerometer_hz = 1000000; }), std::nullopt, ""},
      {"amb.pelg", with(HuxSchedule{}, [](Hux s) { s.amb_light_hz = -1; }), std::nullopt,
       "amb  rate -1 is out of range (allowed 0 to 1000000)"},
      {"bar.pelg", with(HuxSchedule{}, [](Hux s) { s.barometer_hz = 2147483647; }), std::nullopt,
       "bar  rate 2147483647 is out of range (allowed 0 to 1000000)"},
      {"comp.pelg", with(HuxSchedule{}, [](Hux s) { s.compass_hz = -2147483647 - 1; }), std::nullopt,
       "comp rate -2147483648 is out of range (allowed 0 to 1000000)"},
      {"hum.pelg", with(HuxSchedule{}, [](Hux s) { s.humidity_hz = 1000001; }), std::nullopt,
       "hum  rate 1000001 is out of range (allowed 0 to 1000000)"},
      // The first rate out of range is the one named.
      {"two.pelg", with(HuxSchedule{}, [](Hux s) { s.humidity_hz = -3; s.mic_hz = 200000; }), std::nullopt,
       "mic  rate 200000 is out of range (allowed 0 to 192000)"},
      {"tivintr.pelg", HuxSchedule{}, with(TivSchedule{}, [](Tiv s) { s.interrupt_count = 2000000; }),
       "intr rate 2000000 is out of range (allowed 1 to 1000000)"},
      {"gyro.pelg", HuxSchedule{}, with(TivSchedule{}, [](Tiv s) { s.gyro = 1000001; }),
       "gyro rate 1000001 is out of range (allowed 0 to 1000000)"},
      {"mag.pelg", HuxSchedule{}, with(TivSchedule{}, [](Tiv s) { s.magnetometer = -5; }),
       "mag  rate -5 is out of range (allowed 0 to 1000000)"},
      {"tivtop.pelg", HuxSchedule{}, with(TivSchedule{}, [](Tiv s) { s.gyro = s.magnetometer = 1000000; }), ""},
  };
  for (const auto& c : cases) writeRecording(dir.file(c.name), kT, c.hux, c.tiv);
  for (const auto& c : cases) {
    for (bool checks : {true, false}) {
      std::vector<std::string> args{"-NoWavFile", "-NoDataOut", "-NoCompleteData", c.name};
      if (!checks) args.insert(args.begin(), "-disableChecks");
      SCOPED_TRACE(testing::PrintToString(args));
      const RunResult r = run(args);
      if (c.line.empty()) {
        EXPECT_NE(r.out.find(kValid), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("out of range"), std::string::npos) << r.out;
        EXPECT_EQ(r.status, 0);
        std::filesystem::remove(dir.file("sirfGPSOutput.bin"));
        continue;
      }
      EXPECT_EQ(r.status, -12);
      const std::string options = "# INFO: writing of completeSensorAudio.wav disabled\n"
                                  "# INFO: writing of dataOut.mat disabled\n"
                                  "# INFO: writing of completeData.mat disabled\n";
      EXPECT_EQ(r.out, (checks ? "" : kChecksDisabled) + options + opened(1, c.name) + "# ERROR: File " + c.name +
                           ", " + c.line + "\n" + kExiting);
      EXPECT_EQ(r.err, "");
      expectNoOutputs();
    }
  }
}

// A later file is checked as the first is, also when the schedules are not
// compared; and the file a run refuses leaves no outputs behind.
TEST_F(InputSafety, ALaterFileWithAnImplausibleRateIsRefused) {
  writeRecording(dir.file("a.pelg"), kT);
  writeRecording(dir.file("b.pelg"), kT + 30000, with(HuxSchedule{}, [](HuxSchedule& s) { s.dals_hz = 16711780; }));
  const std::vector<std::string> args{"-disableChecks", "a.pelg", "b.pelg"};
  const RunResult r = run(args);
  EXPECT_EQ(r.status, -12);
  EXPECT_EQ(r.out, openingLines(args) + "# ERROR: File b.pelg, dals rate 16711780 is out of range (allowed 0 to 1000000)\n" +
                       kExiting);
  expectNoOutputs();
}

// The crafted recordings kept with the fuzzing corpus as regression inputs:
// each is refused in validation, before anything is written.
TEST_F(InputSafety, RegressionRecordingsWithImplausibleRatesAreRefused) {
  const std::filesystem::path folder = std::filesystem::path(PELG_SOURCE_DIR) / "fuzz/regressions/header_rates";
  int seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().string());
    ++seen;
    const RunResult r = run({"-outputdir", dir.path() + "/", entry.path().string()});
    EXPECT_EQ(r.status, -12);
    EXPECT_NE(r.out.find(" is out of range (allowed "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), kExiting.size())), kExiting);
  }
  EXPECT_GE(seen, 2);
  expectNoOutputs();
}

// ---------------------------------------------------------------------------
// Inputs the fuzzer found.

// Every regression input, of every kind, ends the run with a status of its
// own, not by a signal.
TEST_F(InputSafety, EveryFuzzingRegressionInputEndsWithAStatus) {
  const std::filesystem::path folder = std::filesystem::path(PELG_SOURCE_DIR) / "fuzz/regressions";
  int seen = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    SCOPED_TRACE(entry.path().string());
    ++seen;
    for (const std::vector<std::string>& options : {std::vector<std::string>{}, {"-ignoreRollover", "-integerOutput"}}) {
      std::vector<std::string> args{"-outputdir", dir.path() + "/"};
      args.insert(args.end(), options.begin(), options.end());
      args.push_back(entry.path().string());
      const RunResult r = run(args);
      EXPECT_LE(r.status, 0);
      EXPECT_GE(r.status, -17);
    }
  }
  EXPECT_GE(seen, 6);
}

// A TIV device without a recognised entry gives the file no TIV data, and,
// in the first file, no TIV interrupt rate; its messages once divided the
// board clock by zero.
TEST_F(InputSafety, TivMessagesOfAFileWithoutTivDataAreLeftOut) {
  pelgbuild::PelgHeader header = pelgbuild::standardHeader(kT);
  header.devices.push_back(pelgbuild::plainDevice("tiv "));  // id 2
  pelgbuild::PelgBuilder builder(header);
  pelgbuild::HuxReadings accel;
  accel.accel = std::array<int16_t, 3>{1, 2, 3};
  pelgbuild::TivReadings gyro;
  gyro.gyro = std::array<int16_t, 6>{1, 2, 3, 4, 5, 6};
  for (uint16_t k = 0; k < 10; ++k) {
    builder.packet(pelgbuild::kHuxId, 1000u + k * 10, pelgbuild::huxSensor(0, static_cast<uint16_t>(k * 50), accel));
    builder.packet(2, 1001u + k * 10, pelgbuild::tivSensor(0, 0, gyro));
  }
  builder.writeTo(dir.file("a.pelg"));
  const RunResult r = run({"a.pelg"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("TIV"), std::string::npos) << r.out;
  EXPECT_TRUE(exists("dataOut.mat") && exists("completeData.mat"));
}

// ---------------------------------------------------------------------------
// One file named twice.

TEST_F(InputSafety, AFileNamedTwiceIsRefused) {
  std::filesystem::create_directory(dir.file("rec"));
  writeRecording(dir.file("a.pelg"), kT);
  writeRecording(dir.file("rec/b.pelg"), kT + 30000);
  std::filesystem::create_hard_link(dir.file("a.pelg"), dir.file("hard.pelg"));
  std::filesystem::create_symlink("a.pelg", dir.file("soft.pelg"));
  std::filesystem::copy_file(dir.file("a.pelg"), dir.file("copy.pelg"));
  const struct {
    std::vector<std::string> args;
    size_t refused;  // position of the refused name among the file names, from 1
    std::string same;
  } cases[] = {
      {{"a.pelg", "a.pelg"}, 2, "a.pelg"},
      {{"a.pelg", "./a.pelg"}, 2, "a.pelg"},
      {{"a.pelg", "rec/../a.pelg"}, 2, "a.pelg"},
      {{"-disableChecks", "a.pelg", "rec/b.pelg", dir.file("a.pelg")}, 3, "a.pelg"},
      {{"hard.pelg", "rec/b.pelg", "a.pelg"}, 3, "hard.pelg"},
      {{"a.pelg", "soft.pelg"}, 2, "a.pelg"},
      {{"rec/b.pelg", "rec/./b.pelg"}, 2, "rec/b.pelg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const RunResult r = run(c.args);
    EXPECT_EQ(r.status, -17);
    const std::string& refusedName = c.args.back();
    EXPECT_EQ(r.out, openingLines(c.args, c.refused) + "# ERROR: File " + refusedName + " is the same file as " +
                         c.same + "\n" + kExiting);
    EXPECT_EQ(r.err, "");
  }
  // A copy is another file.
  const RunResult r = run({"-NoWavFile", "a.pelg", "copy.pelg"});
  EXPECT_NE(r.out.find(kValid), std::string::npos) << r.out;
}

TEST_F(InputSafety, StandardInputNamedTwiceOrAlsoByItsFileIsRefused) {
  writeRecording(dir.file("a.pelg"), kT);
  const std::string recording = testsupport::readFile(dir.file("a.pelg"));
  for (const auto& [first, second] : {std::pair<std::string, std::string>{"stdin", "stdin"},
                                      {"stdin", "/dev/stdin"},
                                      {"STDIN", "stdin"}}) {
    SCOPED_TRACE(first + " " + second);
    // Through a pipe and from a file.
    for (const RunResult& r : {runInShell(dir.path(), "cat a.pelg | \"$0\" \"$@\"", {first, second}),
                               testsupport::runPelgToMatlab({first, second}, dir.path(), recording)}) {
      EXPECT_EQ(r.status, -17);
      EXPECT_EQ(r.out, opened(1, first) + opened(2, second) + "# ERROR: File " + second + " is the same file as " +
                           first + "\n" + kExiting);
    }
  }
  // Standard input redirected from a file that is also named.
  const RunResult r = runInShell(dir.path(), "exec \"$0\" \"$@\" < a.pelg", {"a.pelg", "stdin"});
  EXPECT_EQ(r.status, -17);
  EXPECT_EQ(r.out, opened(1, "a.pelg") + opened(2, "stdin") + "# ERROR: File stdin is the same file as a.pelg\n" +
                       kExiting);
  expectNoOutputs();
}

// ---------------------------------------------------------------------------
// Standard input and FIFOs.

// A stream that is no recording is recognised by its first bytes: endless
// zeros end the run at once with the header error, having copied 8 bytes.
TEST_F(InputSafety, EndlessStandardInputThatIsNoRecordingStopsAtTheHeader) {
  std::filesystem::create_directory(dir.file("tmp"));
  const std::string noHeader = "# ERROR: file does not have a PELG v2 header\n";
  RunResult r = runInShell(dir.path(), "TMPDIR=tmp exec \"$0\" stdin < /dev/zero");
  EXPECT_EQ(r.status, -11);
  EXPECT_EQ(r.out, opened(1, "stdin") + noHeader + kExiting);
  EXPECT_EQ(r.err, "");
  r = runInShell(dir.path(), "head -c 100000 /dev/urandom | \"$0\" stdin");
  EXPECT_EQ(r.status, -11);
  EXPECT_EQ(r.out, opened(1, "stdin") + noHeader + kExiting);
  // Named as a file, a character device is copied the same way.
  r = run({"/dev/zero"});
  EXPECT_EQ(r.status, -11);
  EXPECT_EQ(r.out, opened(1, "/dev/zero") + noHeader + kExiting);
  // The copies leave nothing in the temporary folder.
  EXPECT_TRUE(std::filesystem::is_empty(dir.file("tmp")));
}

TEST_F(InputSafety, AFailedCopyOfStandardInputNamesTheTemporaryFolder) {
  writeRecording(dir.file("a.pelg"), kT, HuxSchedule{}, std::nullopt, 300);
  ASSERT_GT(std::filesystem::file_size(dir.file("a.pelg")), 8192u);
  std::filesystem::create_directory(dir.file("tmp"));
  const std::string tail = "# ERROR: Unable to open file stdin\n" + kExiting;
  // A file-size limit of 4 KiB stands for a full disk: the copy's writes fail.
  RunResult r = runInShell(dir.path(), "trap '' XFSZ; ulimit -f 4; TMPDIR=\"$PWD/tmp\" exec \"$0\" stdin < a.pelg");
  EXPECT_EQ(r.status, -10);
  EXPECT_EQ(r.out, opened(1, "stdin") + "# ERROR: Unable to copy stdin into the temporary folder " + dir.path() +
                       "/tmp: File too large\n" + tail);
  EXPECT_EQ(r.err, "ERROR: can't open file stdin\n");
  r = runInShell(dir.path(), "TMPDIR=\"$PWD/none\" exec \"$0\" stdin < a.pelg");
  EXPECT_EQ(r.status, -10);
  EXPECT_EQ(r.out, opened(1, "stdin") + "# ERROR: Unable to create a temporary copy of stdin in the folder " +
                       dir.path() + "/none: No such file or directory\n" + tail);
  expectNoOutputs();
}

// A real full disk: a small tmpfs, where the system lets this process mount one.
TEST_F(InputSafety, AFullTemporaryFolderEndsTheRun) {
  writeRecording(dir.file("a.pelg"), kT, HuxSchedule{}, std::nullopt, 600);
  ASSERT_GT(std::filesystem::file_size(dir.file("a.pelg")), 32768u);
  std::filesystem::create_directory(dir.file("small"));
  if (geteuid() != 0 ||
      testsupport::runProgram({"/bin/mount", "-t", "tmpfs", "-o", "size=16k", "tmpfs", dir.file("small")}).status != 0) {
    GTEST_SKIP() << "no tmpfs can be mounted here";
  }
  const RunResult r = runInShell(dir.path(), "TMPDIR=\"$PWD/small\" exec \"$0\" stdin < a.pelg");
  EXPECT_EQ(testsupport::runProgram({"/bin/umount", dir.file("small")}).status, 0);
  EXPECT_EQ(r.status, -10);
  EXPECT_EQ(r.out, opened(1, "stdin") + "# ERROR: Unable to copy stdin into the temporary folder " + dir.path() +
                       "/small: No space left on device\n# ERROR: Unable to open file stdin\n" + kExiting);
}

// Writes `bytes` into the FIFO at `path` from a thread of its own, which
// ends when the bytes are written or when the test lets it go. The bytes
// must fit a pipe's buffer (64 KiB), so that the writer never waits for a
// reader that has stopped reading.
class FifoWriter {
 public:
  FifoWriter(const std::string& path, std::string bytes) : path_(path) {
    std::signal(SIGPIPE, SIG_IGN);  // a reader that stops early makes the writes fail, not the test end
    thread_ = std::thread([this, bytes = std::move(bytes)] {
      const int fd = ::open(path_.c_str(), O_WRONLY);  // waits for a reader
      if (fd < 0) return;
      for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      ::close(fd);
    });
  }
  // Opens the FIFO for reading, without waiting, so that a writer still
  // waiting for a reader goes on and ends.
  ~FifoWriter() {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    thread_.join();
    if (fd >= 0) ::close(fd);
  }

 private:
  std::string path_;
  std::thread thread_;
};

TEST_F(InputSafety, AFifoIsReadOnceAndConvertsLikeTheFile) {
  std::filesystem::create_directory(dir.file("file"));
  std::filesystem::create_directory(dir.file("fifo"));
  writeRecording(dir.file("a.pelg"), kT, HuxSchedule{}, TivSchedule{});
  const std::string recording = testsupport::readFile(dir.file("a.pelg"));
  ASSERT_LT(recording.size(), 60000u);  // fits a pipe's buffer, so the writer never waits on the reader
  ASSERT_EQ(::mkfifo(dir.file("a.fifo").c_str(), 0600), 0);

  const RunResult direct = run({"-outputdir", "file/", "a.pelg"});
  ASSERT_EQ(direct.status, 0) << direct.out;
  RunResult piped;
  {
    FifoWriter writer(dir.file("a.fifo"), recording);
    piped = run({"-outputdir", "fifo/", "a.fifo"});
  }
  EXPECT_EQ(piped.status, 0) << piped.out;
  EXPECT_EQ(piped.err, "");
  EXPECT_EQ(fromSummary(piped.out, "fifo/"), fromSummary(direct.out, "file/"));
  for (const char* output : kOutputs) EXPECT_TRUE(exists(std::string("fifo/") + output)) << output;
  EXPECT_EQ(testsupport::readFile(dir.file("fifo/sirfGPSOutput.bin")),
            testsupport::readFile(dir.file("file/sirfGPSOutput.bin")));

  // Standard input from a pipe converts the same way.
  const RunResult fromPipe = runInShell(dir.path(), "cat a.pelg | \"$0\" \"$@\"", {"-outputdir", "fifo/", "stdin"});
  EXPECT_EQ(fromPipe.status, 0) << fromPipe.out;
  EXPECT_EQ(fromSummary(fromPipe.out, "fifo/"), fromSummary(direct.out, "file/"));
}

// Named twice, a FIFO is refused before it is opened a second time (which
// would wait for a writer that never comes).
TEST_F(InputSafety, AFifoNamedTwiceIsRefusedWithoutWaiting) {
  writeRecording(dir.file("a.pelg"), kT);
  ASSERT_EQ(::mkfifo(dir.file("a.fifo").c_str(), 0600), 0);
  RunResult r;
  {
    FifoWriter writer(dir.file("a.fifo"), testsupport::readFile(dir.file("a.pelg")));
    r = run({"a.fifo", "./a.fifo"});
  }
  EXPECT_EQ(r.status, -17);
  EXPECT_EQ(r.out, opened(1, "a.fifo") + opened(2, "./a.fifo") + "# ERROR: File ./a.fifo is the same file as a.fifo\n" +
                       kExiting);
}

}  // namespace
