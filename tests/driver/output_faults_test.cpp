// Faults of the output side, through the real program: a full disk, an output
// folder that is missing, unusable or read-only, a name taken by a folder, a
// run stopped by a signal, long paths. Whatever goes wrong, the run says what
// and why, ends with a non-zero status, and leaves nothing under an output's
// name that could pass for complete: the outputs of an earlier run stay.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "driver_test_util.h"
#include "output/mat_read_back.h"
#include "pelg_builder/pelg_builder.h"

using namespace drivertest;

namespace {

namespace fs = std::filesystem;
using testsupport::BackgroundRun;
using testsupport::readFile;
using testsupport::runProgram;
using testsupport::writeFile;
using testsupport::namesIn;

constexpr int32_t kInterruptRate = 5120;  // 512 Hz
constexpr int32_t kMicHz = 4096;          // 8 samples per interrupt
constexpr const char* kEarlierRun = "dataOut.mat of an earlier run\n";

// A recording of the given length: an audio message of 32 samples every 4
// interrupts, an accelerometer and compass reading every 16 (the sensors at
// 32 Hz, so nothing is ever missing), and with gps a SiRF packet of 250
// receiver bytes every 256 interrupts.
void writeRecording(const std::string& path, int seconds, bool gps) {
  pelgbuild::HuxSchedule schedule;
  schedule.mic_hz = kMicHz;
  schedule.accelerometer_hz = schedule.compass_hz = 320;
  schedule.amb_light_hz = schedule.barometer_hz = schedule.dals_hz = schedule.humidity_hz = 0;
  pelgbuild::PelgBuilder builder(pelgbuild::standardHeader(kT, schedule));
  std::vector<int16_t> samples(32);
  const pelgbuild::Bytes receiver(250, 0xA5);
  pelgbuild::HuxReadings readings;
  readings.compass = 300;
  for (int32_t t = 0; t < seconds * 512; t += 4) {
    const auto timeCounter = static_cast<uint8_t>(t / kInterruptRate);
    const auto interrupt = static_cast<uint16_t>(t % kInterruptRate);
    const auto stamp = static_cast<uint32_t>(static_cast<int64_t>(t) * 1000 / 512);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>((t + i) % 2000 - 1000);
    builder.packet(pelgbuild::kHuxId, stamp, pelgbuild::huxAudio(timeCounter, interrupt, samples));
    if (t % 16 == 0) {
      readings.accel = std::array<int16_t, 3>{static_cast<int16_t>(t % 1000), -200, 300};
      builder.packet(pelgbuild::kHuxId, stamp, pelgbuild::huxSensor(timeCounter, interrupt, readings));
    }
    if (gps && t % 256 == 0) builder.packet(pelgbuild::kSirfId, stamp, pelgbuild::sirf(receiver));
  }
  builder.writeTo(path);
}

// text with '%' replaced by folder and '@' by reason.
std::string expand(const std::string& text, const std::string& folder, const std::string& reason = "") {
  std::string result;
  for (char c : text) result += c == '%' ? folder : c == '@' ? reason : std::string(1, c);
  return result;
}

// text with every occurrence of folder replaced by mark.
std::string withFolderAs(std::string text, const std::string& folder, const std::string& mark) {
  for (size_t at = text.find(folder); at != std::string::npos; at = text.find(folder, at + mark.size()))
    text.replace(at, folder.size(), mark);
  return text;
}

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

int errorLines(const std::string& text) {
  int count = 0;
  for (size_t at = text.find("# ERROR: "); at != std::string::npos; at = text.find("# ERROR: ", at + 1)) ++count;
  return count;
}

const char* const kScanStart = "# INFO: Sequence appears to be valid\n";

class OutputFaults : public ProgramTest {
 protected:
  void SetUp() override {
    fs::create_directory(dir.file("rec"));
    writeRecording(dir.file("rec/a.pelg"), 120, true);
    writeRecording(dir.file("rec/nogps.pelg"), 120, false);
  }
};

// How this machine can make a disk run full: a small tmpfs in a mount
// namespace of its own (root, where mounting is allowed), else a file-size
// limit (prlimit), which fails writes with "File too large" instead.
enum class FullDisk { kTmpfs, kFileSizeLimit, kNone };

FullDisk fullDiskMechanism() {
  static const FullDisk mechanism = [] {
    testsupport::TempDir probe;
    const RunResult mounted = runProgram(
        {"/usr/bin/unshare", "-m", "/bin/sh", "-c", "mount -t tmpfs -o size=64k tmpfs \"$0\"", probe.path()});
    if (mounted.status == 0) return FullDisk::kTmpfs;
    if (access("/usr/bin/prlimit", X_OK) == 0) return FullDisk::kFileSizeLimit;
    return FullDisk::kNone;
  }();
  return mechanism;
}

// Runs the program with the output folder `folder` holding at most `bytes`
// (tmpfs) or each file at most `bytes` (limit); the folder starts with the
// files of `seed` and its contents afterwards are copied to `after`.
RunResult runOnFullDisk(FullDisk mechanism, const std::string& workdir, const std::string& folder,
                        size_t bytes, const std::string& seed, const std::string& after,
                        const std::vector<std::string>& args) {
  // Standard output goes through a pipe, so that a file-size limit applies to
  // the outputs alone.
  const char* const tmpfs =
      "dir=$1 size=$2 seed=$3 after=$4; shift 4\n"
      "mount -t tmpfs -o size=$size tmpfs \"$dir\" || exit 77\n"
      "cp -a \"$seed/.\" \"$dir/\"\n"
      "\"$@\"; status=$?\n"
      "cp -a \"$dir/.\" \"$after/\"\n"
      "exit $status\n";
  const char* const limit =
      "dir=$1 size=$2 seed=$3 after=$4; shift 4\n"
      "cp -a \"$seed/.\" \"$dir/\"\n"
      "prlimit --fsize=$size \"$@\" | cat; status=${PIPESTATUS[0]}\n"
      "cp -a \"$dir/.\" \"$after/\"\n"
      "exit $status\n";
  std::vector<std::string> argv;
  if (mechanism == FullDisk::kTmpfs) argv = {"/usr/bin/unshare", "-m", "/bin/bash", "-c", tmpfs};
  else argv = {"/bin/bash", "-c", limit};
  argv.insert(argv.end(), {"bash", folder, std::to_string(bytes), seed, after, PELG_TO_MATLAB_BIN});
  argv.insert(argv.end(), args.begin(), args.end());
  return runProgram(argv, workdir);
}

TEST_F(OutputFaults, FullDiskEndsTheRunAndLeavesTheEarlierOutputs) {
  const FullDisk mechanism = fullDiskMechanism();
  if (mechanism == FullDisk::kNone) GTEST_SKIP() << "neither a tmpfs mount nor prlimit is possible here";
  const std::string reason = mechanism == FullDisk::kTmpfs ? "No space left on device" : "File too large";
  const struct {
    const char* name;
    std::vector<std::string> options;
    size_t bytes;
    bool tmpfsOnly;    // a file-size limit cannot make it fail
    std::string tail;  // the end of the transcript: '%' the folder, '@' the reason
    const char* sameAs = nullptr;  // a row above whose whole transcript this one repeats
    // A recording without GPS for the rows that compare transcripts: where the
    // disk fills up then depends on the order of the writes alone.
    const char* input = "rec/a.pelg";
  } cases[] = {
      // The WAV file fails during the write pass, at the first block that
      // does not fit.
      {"wav", {"-NoDataOut", "-NoCompleteData"}, 49152, false,
       "# ERROR: Unable to write %completeSensorAudio.wav: @\n# ERROR: Exiting\n"},
      {"wavOneThread", {"-NoDataOut", "-NoCompleteData", "-threads", "1", "-printProgress", "-printProgressMax", "50"},
       49152, false, "# ERROR: Unable to write %completeSensorAudio.wav: @\n# ERROR: Exiting\n", nullptr,
       "rec/nogps.pelg"},
      // Written on the outputs' thread, a short write ends the run where it
      // would have on one: no line of a packet read after it comes before
      // the error.
      {"wavOnTheOutputsThread",
       {"-NoDataOut", "-NoCompleteData", "-threads", "2", "-printProgress", "-printProgressMax", "50"}, 49152, false,
       "# ERROR: Unable to write %completeSensorAudio.wav: @\n# ERROR: Exiting\n", "wavOneThread", "rec/nogps.pelg"},
      {"wavWithMatFilesOneThread", {"-threads", "1", "-printProgress", "-printProgressMax", "50"}, 49152, false,
       "# ERROR: Unable to write %completeSensorAudio.wav: @\n# ERROR: Exiting\n", nullptr, "rec/nogps.pelg"},
      {"wavWithMatFilesOnTheOutputsThread", {"-threads", "2", "-printProgress", "-printProgressMax", "50"}, 49152,
       false, "# ERROR: Unable to write %completeSensorAudio.wav: @\n# ERROR: Exiting\n", "wavWithMatFilesOneThread",
       "rec/nogps.pelg"},
      // A MAT-file fails during the write pass, where a block does not fit;
      // the failure is reported when the file is closed.
      {"dataOut", {"-NoWavFile", "-NoCompleteData"}, 49152, false,
       "# INFO: Closing dataOut.mat\n# ERROR: Write error while closing dataOut.mat file\n"
       "# ERROR: Unable to write %dataOut.mat: @\n# ERROR: Exiting\n"},
      {"completeData", {"-NoWavFile", "-NoDataOut"}, 49152, false,
       "# INFO: Closing completeData.mat\n# ERROR: Write error while closing completeData.mat file\n"
       "# ERROR: Unable to write %completeData.mat: @\n# ERROR: Exiting\n"},
      {"dataOutMat73", {"-NoWavFile", "-NoCompleteData", "-mat73"}, 49152, false,
       "# INFO: Closing dataOut.mat\n# ERROR: Write error while closing dataOut.mat file\n"
       "# ERROR: Unable to write %dataOut.mat: @\n# ERROR: Exiting\n"},
      {"completeDataMat73", {"-NoWavFile", "-NoDataOut", "-mat73"}, 49152, false,
       "# INFO: Closing completeData.mat\n# ERROR: Write error while closing completeData.mat file\n"
       "# ERROR: Unable to write %completeData.mat: @\n# ERROR: Exiting\n"},
      // Both MAT-files fill the disk; dataOut.mat, closed first, is the one
      // reported, and completeData.mat's closing line never shows.
      {"bothMatFiles", {"-NoWavFile"}, 49152, false,
       "# INFO: Closing dataOut.mat\n# ERROR: Write error while closing dataOut.mat file\n"
       "# ERROR: Unable to write %dataOut.mat: @\n# ERROR: Exiting\n"},
      // Each MAT-file written behind the pass by a thread of its own.
      {"bothMatFilesWrittenBehind", {"-NoWavFile", "-threads", "5"}, 49152, false,
       "# INFO: Closing dataOut.mat\n# ERROR: Write error while closing dataOut.mat file\n"
       "# ERROR: Unable to write %dataOut.mat: @\n# ERROR: Exiting\n"},
      {"bothMat73WrittenBehind", {"-NoWavFile", "-mat73", "-threads", "5"}, 49152, false,
       "# INFO: Closing dataOut.mat\n# ERROR: Write error while closing dataOut.mat file\n"
       "# ERROR: Unable to write %dataOut.mat: @\n# ERROR: Exiting\n"},
      {"gps", {"-NoWavFile", "-NoDataOut", "-NoCompleteData"}, 49152, false,
       "# ERROR: Unable to write %sirfGPSOutput.bin: @\n# ERROR: Exiting\n"},
      {"timestamps", {"-write_timestampFile"}, 49152, false,
       "# INFO: Closing timestmap.txt file\n# ERROR: Unable to write %timestamps.txt: @\n# ERROR: Exiting\n"},
      // The earlier run's file fills the one page there is.
      {"stats", {"-write_summaryFile"}, 4096, true,
       "# ERROR: Unable to write %a.pelg.stats: @\n# ERROR: Exiting\n"},
  };
  std::map<std::string, std::string> transcripts;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.tmpfsOnly && mechanism != FullDisk::kTmpfs) continue;
    const std::string base = dir.file(c.name);
    const std::string folder = base + "/out", seed = base + "/seed", after = base + "/after";
    for (const std::string& d : {folder, seed, after}) fs::create_directories(d);
    writeFile(seed + "/dataOut.mat", kEarlierRun);
    std::vector<std::string> args{"-outputdir", folder};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(c.input);

    const RunResult r = runOnFullDisk(mechanism, dir.path(), folder, c.bytes, seed, after, args);
    if (r.status == 77) GTEST_SKIP() << "tmpfs could not be mounted";
    EXPECT_EQ(r.status, -8);
    EXPECT_TRUE(endsWith(r.out, expand(c.tail, folder + "/", reason))) << r.out;
    transcripts[c.name] = withFolderAs(r.out, folder + "/", "%");
    if (c.sameAs) {
      EXPECT_EQ(transcripts[c.name], transcripts[c.sameAs]);
    }
    // Nothing new under any name, no temporary left, the earlier file as it was.
    EXPECT_EQ(namesIn(after), std::vector<std::string>{"dataOut.mat"});
    EXPECT_EQ(readFile(after + "/dataOut.mat"), kEarlierRun);
  }
}

// The same outputs with room to spare: the disk is not what failed above.
TEST_F(OutputFaults, EnoughRoomWritesEveryOutput) {
  const FullDisk mechanism = fullDiskMechanism();
  if (mechanism == FullDisk::kNone) GTEST_SKIP() << "neither a tmpfs mount nor prlimit is possible here";
  const std::string folder = dir.file("out"), seed = dir.file("seed"), after = dir.file("after");
  for (const std::string& d : {folder, seed, after}) fs::create_directories(d);
  writeFile(seed + "/dataOut.mat", kEarlierRun);
  const RunResult r =
      runOnFullDisk(mechanism, dir.path(), folder, 8 << 20, seed, after, {"-outputdir", folder, "rec/a.pelg"});
  if (r.status == 77) GTEST_SKIP() << "tmpfs could not be mounted";
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(namesIn(after), (std::vector<std::string>{"completeData.mat", "completeSensorAudio.wav", "dataOut.mat",
                                                       "sirfGPSOutput.bin"}));
  EXPECT_EQ(readFile(after + "/sirfGPSOutput.bin").size(), 120u * 2 * 250);
  EXPECT_EQ(readback::doubles(readback::field(readback::load(after + "/dataOut.mat", "dataOut").get(), "compass")).size(),
            120u * 32);
}

// A folder that cannot take the outputs ends the run before the scan pass,
// naming the folder and the system's reason.
TEST_F(OutputFaults, UnusableFolderEndsTheRunBeforeTheScan) {
  writeFile(dir.file("plain"), "a file");
  ASSERT_EQ(symlink("nowhere", dir.file("dangling").c_str()), 0);
  const struct {
    const char* outputDir;
    std::string line;
  } cases[] = {
      {"plain", "# ERROR: Unable to write to output folder plain/: Not a directory\n"},
      {"plain/sub/", "# ERROR: Unable to create output folder plain/sub/: Not a directory\n"},
      {"dangling/sub", "# ERROR: Unable to create output folder dangling/sub/: No such file or directory\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outputDir);
    const RunResult r = run({"-NoWavFile", "-NoDataOut", "-NoCompleteData", "-outputdir", c.outputDir, "rec/a.pelg"});
    EXPECT_EQ(r.status, -8);
    EXPECT_TRUE(endsWith(r.out, c.line + "# ERROR: Exiting\n")) << r.out;
    EXPECT_EQ(r.out.find(kScanStart), std::string::npos);
  }
  EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"dangling", "plain", "rec"}));
}

// A read-only folder: a read-only mount where mounting is allowed (the
// system says "Read-only file system"), else a folder the user may not write:
// as root the program runs as nobody, since root may write anywhere.
TEST_F(OutputFaults, ReadOnlyFolderEndsTheRunBeforeTheScan) {
  const std::string folder = dir.file("ro");
  fs::create_directory(folder);
  writeFile(folder + "/dataOut.mat", kEarlierRun);
  const std::vector<std::string> args{PELG_TO_MATLAB_BIN, "-NoWavFile", "-NoDataOut", "-NoCompleteData",
                                      "-outputdir", folder, "rec/a.pelg"};
  std::vector<std::string> argv = {"/usr/bin/unshare", "-m", "/bin/sh", "-c",
                                   "mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" || exit 77\n"
                                   "exec \"$@\"",
                                   folder};
  argv.insert(argv.end(), args.begin(), args.end());
  RunResult r;
  r.status = 77;
  if (access(argv[0].c_str(), X_OK) == 0) r = runProgram(argv, dir.path());
  std::string reason = "Read-only file system";
  if (r.status == 77 || r.err.find("unshare") != std::string::npos) {
    reason = "Permission denied";
    argv.clear();
    if (geteuid() == 0) {
      // The scratch folder is private to its owner; nobody needs to pass it.
      fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
      argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    } else {
      fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    }
    argv.insert(argv.end(), args.begin(), args.end());
    r = runProgram(argv, dir.path());
    fs::permissions(folder, fs::perms::owner_all);
    if (r.err.find("setpriv") != std::string::npos) GTEST_SKIP() << "cannot run as another user: " << r.err;
  }
  EXPECT_EQ(r.status, -8) << r.out << r.err;
  EXPECT_TRUE(endsWith(r.out, "# ERROR: Unable to write to output folder " + folder + "/: " + reason +
                                  "\n# ERROR: Exiting\n"))
      << r.out;
  EXPECT_EQ(r.out.find(kScanStart), std::string::npos);
  EXPECT_EQ(namesIn(folder), std::vector<std::string>{"dataOut.mat"});
}

TEST_F(OutputFaults, MissingFolderAndItsParentsAreCreated) {
  const RunResult r = run({"-outputdir", "new/deeper/out", "rec/a.pelg"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("# INFO: Created output folder new/deeper/out/\n\n\n" + std::string(kScanStart)),
            std::string::npos)
      << r.out;
  EXPECT_EQ(namesIn(dir.file("new/deeper/out")),
            (std::vector<std::string>{"completeData.mat", "completeSensorAudio.wav", "dataOut.mat", "sirfGPSOutput.bin"}));
  // Inferred from the input's folder, which exists: nothing to say.
  const RunResult again = run({"-NoWavFile", "rec/a.pelg"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.out.find("Created output folder"), std::string::npos);
}

// A folder where an output should go is found when the outputs are created,
// before anything is written; the GPS file says so once, not once per file.
TEST_F(OutputFaults, NameTakenByAFolderEndsTheRun) {
  const struct {
    const char* taken;
    std::vector<std::string> options;
    std::string tail;  // '%' the folder
  } cases[] = {
      {"dataOut.mat", {"-NoWavFile"},
       "# ERROR: Unable to open dataOut.mat for writing, check path/permissions\n"
       "# ERROR: Unable to create %dataOut.mat: Is a directory\n# ERROR: Exiting\n"},
      {"completeSensorAudio.wav", {},
       "# ERROR: Unable to open the .wav file %completeSensorAudio.wav\n"
       "# ERROR: Unable to create %completeSensorAudio.wav: Is a directory\n# ERROR: Exiting\n"},
      {"sirfGPSOutput.bin", {"-NoWavFile", "-NoDataOut", "-NoCompleteData"},
       "# INFO: Data will be written to: '%'\n"
       "# ERROR: Unable to open SIRF GPS output file: %sirfGPSOutput.bin\n"
       "# ERROR: Unable to create %sirfGPSOutput.bin: Is a directory\n# ERROR: Exiting\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.taken);
    const std::string folder = dir.file(std::string("taken_") + c.taken);
    fs::create_directories(folder + "/" + c.taken);
    std::vector<std::string> args{"-outputdir", folder};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back("rec/a.pelg");
    const RunResult r = run(args);
    EXPECT_EQ(r.status, -8);
    EXPECT_TRUE(endsWith(r.out, expand(c.tail, folder + "/"))) << r.out;
    EXPECT_EQ(errorLines(r.out), errorLines(c.tail));  // no ERROR line but these
    EXPECT_EQ(r.out.find("//"), std::string::npos);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{c.taken});
  }
}

// Stopped by a signal in the middle of the write pass: the temporaries go,
// the earlier run's file stays, the last line says why, and the process ends
// by the signal.
TEST_F(OutputFaults, StoppedRunRemovesItsTemporaries) {
  writeRecording(dir.file("rec/long.pelg"), 1200, false);
  const struct {
    int number;
    const char* line;
  } cases[] = {
      {SIGTERM, "# ERROR: Stopped by SIGTERM, unfinished outputs removed\n"},
      {SIGINT, "# ERROR: Stopped by SIGINT, unfinished outputs removed\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string folder = dir.file("stopped" + std::to_string(c.number));
    fs::create_directory(folder);
    writeFile(folder + "/dataOut.mat", kEarlierRun);
    BackgroundRun run({PELG_TO_MATLAB_BIN, "-outputdir", folder, "rec/long.pelg"}, dir.path());
    // The WAV temporary appears when the outputs are created, after the scan.
    const std::string temporary = folder + "/.completeSensorAudio.wav.partial";
    while (run.running() && !testsupport::fileExists(temporary)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(run.running()) << "the run ended before it could be stopped";
    kill(run.pid(), c.number);
    const RunResult r = run.wait();
    EXPECT_EQ(r.status, 1000 + c.number);
    EXPECT_TRUE(endsWith(r.out, c.line)) << r.out.substr(r.out.size() > 500 ? r.out.size() - 500 : 0);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"dataOut.mat"});
    EXPECT_EQ(readFile(folder + "/dataOut.mat"), kEarlierRun);
  }
}

// Paths far beyond 1024 bytes (libsndfile's own limit for names) work for
// every output.
TEST_F(OutputFaults, LongPathsWorkForEveryOutput) {
  std::string folder = dir.path();
  for (int i = 0; i < 6; ++i) folder += "/" + std::string(200, static_cast<char>('a' + i));
  fs::create_directories(folder);
  ASSERT_GT(folder.size(), 1200u);
  const RunResult r = run({"-outputdir", folder, "rec/a.pelg"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(namesIn(folder),
            (std::vector<std::string>{"completeData.mat", "completeSensorAudio.wav", "dataOut.mat", "sirfGPSOutput.bin"}));
  const int fd = open((folder + "/completeSensorAudio.wav").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  SF_INFO info{};
  SNDFILE* wav = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
  ASSERT_NE(wav, nullptr);
  EXPECT_EQ(info.frames, 120 * kMicHz);
  sf_close(wav);
  EXPECT_EQ(readback::shape(readback::field(readback::load(folder + "/completeData.mat", "completeData").get(), "accel")),
            (readback::Shape{120 * 32, 3}));
}

TEST_F(OutputFaults, DirectoryGivenAsInputIsNamed) {
  const RunResult r = run({"-NoWavFile", "rec"});
  EXPECT_EQ(r.status, -10);
  EXPECT_EQ(r.err, "ERROR: can't open file rec\nERROR: rec is a directory\n");
}

}  // namespace
