// MAT-files written into place from a layout, in both versions, read back
// through libmatio's reader: every kind of field, arrays that end with fewer
// rows and masks with other entry counts than laid out, and the failures that
// keep a file from its name.
#include "output/mat_file.h"

#include <gtest/gtest.h>
#include <matio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "output/mat_versions_read_back.h"
#include "support/test_support.h"

namespace {

using readback::field;
using readback::Shape;
using testsupport::fileExists;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

const MatVersion kVersions[] = {MatVersion::kMat5, MatVersion::kMat73};

const char* nameOf(MatVersion version) { return version == MatVersion::kMat5 ? "v5" : "v7.3"; }

// A struct "s" of every kind of field; each streamed array receives `written`
// of its `rows` rows (column c of row i holds 1000 c + i), each mask `marked`
// entries where `planned` were laid out.
struct Sample {
  int64_t rows = 20000;
  int64_t written = 20000;
  int64_t planned = 5;
  int64_t marked = 5;
};

// 0 once written and in place, else the system's reason of the failure.
int writeSample(const std::string& path, MatVersion version, const Sample& sample) {
  MatLayout layout;
  layout.setRoot("s");
  layout.addScalar(layout.root(), "scalar", 2.5);
  layout.addText(layout.root(), "text", u"Z\u00fcrich \u6771\u4eac");
  const int32_t inner = layout.addStruct(layout.root(), "inner");
  layout.addDoubles(inner, "pair", 1, 2, {-1.0, 7.0});
  const int32_t masks = layout.addStruct(inner, "masks");
  const int32_t mask = layout.addMask(masks, "m", sample.rows, sample.planned);
  const int32_t none = layout.addMask(masks, "none", sample.rows, 0);
  const int32_t one = layout.addColumns(layout.root(), "one", sample.rows, 1);
  const int32_t three = layout.addColumns(layout.root(), "three", sample.rows, 3);
  layout.addColumns(layout.root(), "empty", 0, 1);

  MatFile file;
  if (!file.open(path, version, layout)) return file.output().error();
  for (int32_t c = 0; c < 3; ++c) {
    std::vector<double> column;
    for (int64_t i = 0; i < sample.written; ++i) column.push_back(1000.0 * c + i);
    // In blocks, as the buffers hand them over.
    for (size_t at = 0; at < column.size(); at += 7000) {
      const size_t n = std::min<size_t>(7000, column.size() - at);
      if (c == 0) file.writeColumn(one, 0, static_cast<int64_t>(at), column.data() + at, n);
      file.writeColumn(three, c, static_cast<int64_t>(at), column.data() + at, n);
    }
  }
  std::vector<uint32_t> rows;
  for (int64_t k = 0; k < sample.marked; ++k) rows.push_back(static_cast<uint32_t>(3 * k + 1));
  file.writeMaskRows(mask, 0, rows.data(), rows.size() / 2);
  file.writeMaskRows(mask, static_cast<int64_t>(rows.size() / 2), rows.data() + rows.size() / 2,
                     rows.size() - rows.size() / 2);
  layout.node(one).rows = sample.written;
  layout.node(mask).entries = sample.marked;
  layout.node(none).entries = 0;
  return file.close(layout) && file.commit() ? 0 : file.output().error();
}

void expectSample(const std::string& path, MatVersion version, const Sample& sample) {
  const readback::Loaded loaded = readback::loadAnyVersion(path, "s");
  ASSERT_TRUE(loaded.var);
  EXPECT_EQ(loaded.version, version == MatVersion::kMat5 ? MAT_FT_MAT5 : MAT_FT_MAT73);
  // The header text as MATLAB writes it.
  const std::string head = readFile(path).substr(0, 116);
  EXPECT_EQ(head.rfind(version == MatVersion::kMat5 ? "MATLAB 5.0 MAT-file, Platform: " : "MATLAB 7.3 MAT-file, Platform: ", 0), 0u);
  EXPECT_NE(head.find(", Created on: "), std::string::npos) << head;
  matvar_t* s = loaded.var.get();
  EXPECT_EQ(readback::fieldNames(s),
            (std::vector<std::string>{"scalar", "text", "inner", "one", "three", "empty"}));
  EXPECT_EQ(readback::scalar(s, "scalar"), 2.5);
  EXPECT_EQ(readback::text(field(s, "text")), "Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC");
  matvar_t* inner = field(s, "inner");
  EXPECT_EQ(readback::doubles(field(inner, "pair")), (std::vector<double>{-1.0, 7.0}));
  EXPECT_EQ(readback::shape(field(inner, "pair")), (Shape{1, 2}));
  matvar_t* masks = field(inner, "masks");
  std::vector<uint32_t> marked;
  for (int64_t k = 0; k < sample.marked; ++k) marked.push_back(static_cast<uint32_t>(3 * k + 1));
  EXPECT_EQ(readback::trueRows(field(masks, "m")), marked);
  EXPECT_EQ(readback::shape(field(masks, "m")), (Shape{static_cast<size_t>(sample.rows), 1}));
  EXPECT_TRUE(readback::trueRows(field(masks, "none")).empty());

  const std::vector<double> one = readback::doubles(field(s, "one"));
  ASSERT_EQ(one.size(), static_cast<size_t>(sample.written));
  EXPECT_EQ(one.back(), static_cast<double>(sample.written - 1));
  // A three-column array keeps its rows; those never written read as 0.
  const std::vector<double> three = readback::doubles(field(s, "three"));
  ASSERT_EQ(three.size(), static_cast<size_t>(3 * sample.rows));
  for (int32_t c = 0; c < 3; ++c) {
    EXPECT_EQ(three[static_cast<size_t>(c * sample.rows + sample.written - 1)],
              1000.0 * c + static_cast<double>(sample.written - 1));
    if (sample.written < sample.rows) {
      EXPECT_EQ(three[static_cast<size_t>((c + 1) * sample.rows - 1)], 0.0);
    }
  }
  EXPECT_EQ(readback::shape(field(s, "empty")), (Shape{0, 1}));
}

TEST(MatFile, EveryKindOfFieldReadsBackAsLaidOut) {
  const struct {
    const char* name;
    Sample sample;
  } cases[] = {
      {"as laid out", {}},
      {"an array with fewer rows", {20000, 15001, 5, 5}},
      {"a mask with fewer entries", {20000, 20000, 9, 4}},
      {"a mask with more entries than its room", {20000, 20000, 2, 7}},
      {"a mask laid out without room", {20000, 20000, 0, 6}},
      {"all of these at once", {20000, 13, 3, 8}},
  };
  for (const MatVersion version : kVersions) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(nameOf(version)) + ", " + c.name);
      TempDir dir;
      const std::string path = dir.file("s.mat");
      writeFile(path, "earlier run");
      ASSERT_EQ(writeSample(path, version, c.sample), 0);
      expectSample(path, version, c.sample);
      EXPECT_EQ(testsupport::namesIn(dir.path()), std::vector<std::string>{"s.mat"});
    }
  }
}

// Under a file-size limit the file cannot be written whole: closing fails
// with the system's reason and nothing takes the final name. Run in a child,
// whose limit is its own; the child's exit code says what it saw.
TEST(MatFile, ShortFileIsAFailureWithTheReason) {
  for (const MatVersion version : kVersions) {
    SCOPED_TRACE(nameOf(version));
    TempDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      signal(SIGXFSZ, SIG_IGN);
      const struct rlimit limit = {20000, 20000};
      setrlimit(RLIMIT_FSIZE, &limit);
      _exit(writeSample(dir.file("s.mat"), version, Sample{}) == EFBIG ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(testsupport::namesIn(dir.path()), std::vector<std::string>{});
  }
}

TEST(MatFile, UnopenableFileSaysWhy) {
  TempDir dir;
  MatLayout layout;
  layout.setRoot("s");
  MatFile file;
  EXPECT_FALSE(file.open(dir.file("missing/v.mat"), MatVersion::kMat5, layout));
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(file.output().failedStep(), OutputFile::Step::kCreate);
  EXPECT_EQ(file.output().error(), ENOENT);
}

}  // namespace
