// A MAT-file is in place only when libmatio wrote all of it: libmatio does not
// report a failed write, so the file's length is checked against what its
// variable says.
#include "output/mat_file.h"

#include <gtest/gtest.h>
#include <matio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "output/mat_read_back.h"
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

TEST(MatFile, WrittenFileTakesItsNameAtCommit) {
  TempDir dir;
  const std::string path = dir.file("v.mat");
  writeFile(path, "earlier run");
  MatFile file;
  ASSERT_TRUE(file.open(path));
  EXPECT_TRUE(fileExists(dir.file(".v.mat.partial")));
  file.putVariable("v", column(1000));
  EXPECT_TRUE(file.close());
  EXPECT_EQ(readFile(path), "earlier run");
  EXPECT_TRUE(file.commit());
  EXPECT_FALSE(fileExists(dir.file(".v.mat.partial")));
  EXPECT_EQ(readback::doubles(readback::load(path, "v").get()).size(), 1000u);
}

// Text keeps every character of the Basic Multilingual Plane through the file.
TEST(MatFile, TextRoundTrip) {
  TempDir dir;
  const std::string text = "Source [ 0] Z\xC3\xBCrich/\xE6\x9D\xB1\xE4\xBA\xAC/donn\xC3\xA9" "es.pelg\n";
  MatFile file;
  ASSERT_TRUE(file.open(dir.file("t.mat")));
  file.putVariable("t", MatArray::string(text));
  ASSERT_TRUE(file.close() && file.commit());
  readback::Var var = readback::load(dir.file("t.mat"), "t");
  EXPECT_EQ(var->data_type, MAT_T_UTF16);
  EXPECT_EQ(readback::shape(var.get()), (readback::Shape{1, 35}));  // characters, not bytes
  EXPECT_EQ(readback::text(var.get()), text);
}

// Under a file-size limit libmatio writes a short file and says nothing; the
// check finds it and names the system's reason. Run in a child, whose limit
// is its own; the child's exit code says what it saw.
TEST(MatFile, ShortFileIsAFailureWithTheReason) {
  TempDir dir;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    MatFile file;
    if (!file.open(dir.file("v.mat"))) _exit(2);
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

TEST(MatFile, UnopenableFileSaysWhy) {
  TempDir dir;
  MatFile file;
  EXPECT_FALSE(file.open(dir.file("missing/v.mat")));
  EXPECT_FALSE(file.isOpen());
  EXPECT_EQ(file.output().failedStep(), OutputFile::Step::kCreate);
  EXPECT_EQ(file.output().error(), ENOENT);
  EXPECT_FALSE(file.close());
}

}  // namespace
