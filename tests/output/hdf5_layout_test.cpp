// A MAT v7.3 file is in place only when it reaches the end that its HDF5
// superblock records: the check on the bytes of real files, whole, cut short
// and damaged, and through MatFile under a file-size limit.
#include "output/hdf5_layout.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "output/mat_file.h"
#include "support/test_support.h"

namespace {

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

MatArray column(int32_t rows) {
  MatArray values = MatArray::doubleMatrix(rows, 1);
  for (int32_t i = 0; i < rows; ++i) values.elements()[i] = i;
  return values;
}

// A committed file holding one variable v of `rows` doubles.
std::string writeMat(const TempDir& dir, const char* name, MatVersion version, int32_t rows) {
  MatFile file;
  EXPECT_TRUE(file.open(dir.file(name), version));
  file.putVariable("v", column(rows));
  EXPECT_TRUE(file.close());
  EXPECT_TRUE(file.commit());
  return readFile(dir.file(name));
}

bool whole(const TempDir& dir, const std::string& bytes) {
  const std::string path = dir.file("probe.bin");
  writeFile(path, bytes);
  const int fd = open(path.c_str(), O_RDONLY);
  const bool result = hdf5FileIsWhole(fd, static_cast<off_t>(bytes.size()));
  close(fd);
  return result;
}

TEST(Hdf5Layout, OnlyAFileThatReachesItsRecordedEndIsWhole) {
  TempDir dir;
  const std::string v73 = writeMat(dir, "v73.mat", MatVersion::kMat73, 5000);
  const std::string v5 = writeMat(dir, "v5.mat", MatVersion::kMat5, 5000);
  ASSERT_GT(v73.size(), 40000u);
  ASSERT_EQ(v73.substr(0, 19), "MATLAB 7.3 MAT-file");
  std::string badSignature = v73;
  badSignature[513] = 'X';
  std::string badVersion = v73;
  badVersion[512 + 8] = 9;
  const struct {
    const char* name;
    std::string bytes;
    bool whole;
  } cases[] = {
      {"as written", v73, true},
      {"with bytes after its end", v73 + std::string(100, '\0'), true},
      {"one byte short", v73.substr(0, v73.size() - 1), false},
      {"cut in its data", v73.substr(0, v73.size() / 2), false},
      {"only the user block and superblock", v73.substr(0, 600), false},
      {"only the user block", v73.substr(0, 512), false},
      {"empty", "", false},
      {"superblock signature damaged", badSignature, false},
      {"unknown superblock version", badVersion, false},
      {"a MAT v5 file", v5, false},
  };
  for (const auto& c : cases) EXPECT_EQ(whole(dir, c.bytes), c.whole) << c.name;
}

// Under a file-size limit the v7.3 file cannot be written whole; closing
// fails with the system's reason and nothing takes the final name. Run in a
// child, whose limit is its own; the child's exit code says what it saw.
TEST(Hdf5Layout, ShortMatV73FileIsAFailureWithTheReason) {
  TempDir dir;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    freopen("/dev/null", "w", stderr);  // HDF5 prints its error stack there
    MatFile file;
    if (!file.open(dir.file("v.mat"), MatVersion::kMat73)) _exit(2);
    const struct rlimit limit = {20000, 20000};
    setrlimit(RLIMIT_FSIZE, &limit);
    file.putVariable("v", column(10000));  // 80 kB
    const bool closed = file.close();
    const bool seen = !closed && file.output().failed() && file.output().error() == EFBIG;
    const bool committed = file.commit();
    file = MatFile();  // removes the temporary
    _exit(seen && !committed ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(fileExists(dir.file("v.mat")));
  EXPECT_FALSE(fileExists(dir.file(".v.mat.partial")));
}

}  // namespace
