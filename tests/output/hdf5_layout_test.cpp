// A MAT v7.3 file is in place only when it reaches the end that its HDF5
// superblock records: the check on the bytes of real files, whole, cut short
// and damaged (MatFile's own test covers a file-size limit).
#include "output/hdf5_layout.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "output/mat_file.h"
#include "support/test_support.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

// A committed file holding a struct of one column of `rows` doubles.
std::string writeMat(const TempDir& dir, const char* name, MatVersion version, int32_t rows) {
  MatLayout layout;
  layout.setRoot("s");
  const int32_t node = layout.addColumns(layout.root(), "v", rows, 1);
  std::vector<double> values(static_cast<size_t>(rows));
  for (int32_t i = 0; i < rows; ++i) values[static_cast<size_t>(i)] = i;
  MatFile file;
  EXPECT_TRUE(file.open(dir.file(name), version, layout));
  file.writeColumn(node, 0, 0, values.data(), values.size());
  EXPECT_TRUE(file.close(layout));
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

}  // namespace
