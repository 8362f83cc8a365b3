// An output file is complete under its name or not there at all: written
// under a temporary name, moved into place only after it was finished, and
// removed when it is not.
#include "common/output_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "common/fatal_error.h"
#include "support/test_support.h"

namespace {

using testsupport::CapturedConsole;
using testsupport::fileExists;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
using testsupport::namesIn;

TEST(OutputFile, TemporaryNameSitsNextToTheFinalOne) {
  const std::string longName(250, 'n');
  const struct {
    std::string path, temporary;
  } cases[] = {
      {"out/dataOut.mat", "out/.dataOut.mat.partial"},
      {"dataOut.mat", ".dataOut.mat.partial"},
      {"/a/b/x.pelg.stats", "/a/b/.x.pelg.stats.partial"},
      // A backslash is no separator here: the name keeps it.
      {"c:\\rec\\dataOut.mat", ".c:\\rec\\dataOut.mat.partial"},
      // Cut so that the name stays within the system's 255 bytes.
      {"d/" + longName, "d/." + longName.substr(0, 246) + ".partial"},
  };
  for (const auto& c : cases) EXPECT_EQ(temporaryPathFor(c.path), c.temporary) << c.path;
}

TEST(OutputFile, TakesItsNameOnlyWhenCommitted) {
  TempDir dir;
  const std::string path = dir.file("out.bin");
  writeFile(path, "earlier run");
  {
    OutputFile file;
    ASSERT_TRUE(file.create(path));
    EXPECT_TRUE(file.isOpen());
    EXPECT_TRUE(file.write("abc", 3));
    EXPECT_TRUE(file.print(" %d %s\n", 42, "x"));
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{".out.bin.partial", "out.bin"}));
    EXPECT_EQ(readFile(path), "earlier run");
    EXPECT_TRUE(file.finish());
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.isFinished());
    EXPECT_EQ(readFile(path), "earlier run");
    EXPECT_TRUE(file.commit());
    EXPECT_FALSE(file.isFinished());
    EXPECT_FALSE(file.commit());  // once
  }
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"out.bin"});
  EXPECT_EQ(readFile(path), "abc 42 x\n");
}

// Asking the disk to write early changes nothing in the file, and is refused
// once the file has failed or is closed.
TEST(OutputFile, EarlyWritebackKeepsTheBytes) {
  TempDir dir;
  const std::string path = dir.file("audio.wav");
  OutputFile file;
  ASSERT_TRUE(file.create(path));
  const std::string block(1 << 20, 'w');
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(::write(file.descriptor(), block.data(), block.size()), static_cast<ssize_t>(block.size()));
    EXPECT_TRUE(file.startWriteback());
  }
  ASSERT_TRUE(file.finish());
  EXPECT_FALSE(file.startWriteback());
  ASSERT_TRUE(file.commit());
  EXPECT_EQ(readFile(path), block + block + block);

  OutputFile failed;
  ASSERT_TRUE(failed.create(dir.file("failed.wav")));
  failed.fail(ENOSPC);
  EXPECT_FALSE(failed.startWriteback());
}

// Whatever stops the writing before commit, the temporary goes and the file
// of an earlier run stays as it was.
TEST(OutputFile, UncommittedFileLeavesNothing) {
  const struct {
    const char* name;
    void (*stop)(OutputFile&);
  } cases[] = {
      {"dropped while open", [](OutputFile&) {}},
      {"dropped after finish", [](OutputFile& f) { EXPECT_TRUE(f.finish()); }},
      {"abandoned", [](OutputFile& f) { f.abandon(); }},
      {"replaced by a move", [](OutputFile& f) { f = OutputFile(); }},
      {"failed, then finished", [](OutputFile& f) {
         f.fail(ENOSPC);
         EXPECT_FALSE(f.write("x", 1));
         EXPECT_FALSE(f.finish());
         EXPECT_FALSE(f.commit());
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeFile(dir.file("out.bin"), "earlier run");
    {
      OutputFile file;
      ASSERT_TRUE(file.create(dir.file("out.bin")));
      file.write("new", 3);
      c.stop(file);
    }
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"out.bin"});
    EXPECT_EQ(readFile(dir.file("out.bin")), "earlier run");
  }
}

TEST(OutputFile, MovedFileKeepsItsTemporary) {
  TempDir dir;
  OutputFile first;
  ASSERT_TRUE(first.create(dir.file("out.bin")));
  first.write("moved", 5);
  OutputFile second(std::move(first));
  EXPECT_FALSE(first.isOpen());
  first.abandon();  // the moved-from object owns nothing any more
  EXPECT_TRUE(fileExists(dir.file(".out.bin.partial")));
  EXPECT_TRUE(second.finish() && second.commit());
  EXPECT_EQ(readFile(dir.file("out.bin")), "moved");
}

TEST(OutputFile, LeftoverTemporaryIsReplacedAndALinkIsNotFollowed) {
  TempDir dir;
  writeFile(dir.file("victim"), "keep me");
  for (const bool link : {false, true}) {
    SCOPED_TRACE(link);
    const std::string temporary = dir.file(".out.bin.partial");
    if (link) {
      ASSERT_EQ(symlink(dir.file("victim").c_str(), temporary.c_str()), 0);
    } else {
      writeFile(temporary, "left by a killed run");
    }
    OutputFile file;
    ASSERT_TRUE(file.create(dir.file("out.bin")));
    file.write("fresh", 5);
    EXPECT_TRUE(file.finish() && file.commit());
    EXPECT_EQ(readFile(dir.file("out.bin")), "fresh");
    EXPECT_FALSE(fileExists(temporary));
  }
  EXPECT_EQ(readFile(dir.file("victim")), "keep me");
}

// What cannot be created is reported with the path in the way and the
// system's reason, and leaves nothing.
TEST(OutputFile, CreationFailuresNameThePathAndTheReason) {
  const struct {
    const char* name;
    const char* folder;  // made in the scratch directory
    const char* path;    // relative to it
    std::string line;    // '%' stands for the scratch directory
  } cases[] = {
      {"missing folder", nullptr, "missing/out.bin",
       "# ERROR: Unable to create %/missing/.out.bin.partial: No such file or directory\n"},
      {"folder in the way", "out.bin", "out.bin", "# ERROR: Unable to create %/out.bin: Is a directory\n"},
      {"folder in the temporary's way", ".out.bin.partial", "out.bin",
       "# ERROR: Unable to create %/.out.bin.partial: Is a directory\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    if (c.folder) std::filesystem::create_directory(dir.file(c.folder));
    OutputFile file;
    EXPECT_FALSE(file.create(dir.file(c.path)));
    EXPECT_TRUE(file.failed());
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(file.write("x", 1));
    EXPECT_FALSE(file.finish());
    CapturedConsole captured;
    reportOutputFailure(file, captured.console());
    std::string line;
    for (char ch : c.line) line += ch == '%' ? dir.path() : std::string(1, ch);
    EXPECT_EQ(captured.out(), line);
    EXPECT_EQ(namesIn(dir.path()), c.folder ? std::vector<std::string>{c.folder} : std::vector<std::string>{});
  }
}

TEST(OutputFile, FailureLinesByStep) {
  TempDir dir;
  const std::string path = dir.file("out.bin");
  const struct {
    const char* name;
    void (*make)(OutputFile&, const std::string&);
    std::string line;  // '%' stands for the path
  } cases[] = {
      {"write", [](OutputFile& f, const std::string& p) {
         ASSERT_TRUE(f.create(p));
         f.fail(ENOSPC);
       },
       "# ERROR: Unable to write %: No space left on device\n"},
      {"write without a reason", [](OutputFile& f, const std::string& p) {
         ASSERT_TRUE(f.create(p));
         f.fail(0);
       },
       "# ERROR: Unable to write %: Input/output error\n"},
      {"first failure kept", [](OutputFile& f, const std::string& p) {
         ASSERT_TRUE(f.create(p));
         f.fail(EFBIG);
         f.fail(ENOSPC);
       },
       "# ERROR: Unable to write %: File too large\n"},
      {"rename", [](OutputFile& f, const std::string& p) {
         ASSERT_TRUE(f.create(p));
         ASSERT_TRUE(f.finish());
         // A folder appearing under the name after creation stops the rename.
         std::filesystem::create_directory(p);
         writeFile(p + "/inside", "x");
         EXPECT_FALSE(f.commit());
       },
       "# ERROR: Unable to rename @ to %: Is a directory\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(path);
    OutputFile file;
    c.make(file, path);
    CapturedConsole captured;
    reportOutputFailure(file, captured.console());
    std::string line;
    for (char ch : c.line) {
      line += ch == '%' ? path : ch == '@' ? temporaryPathFor(path) : std::string(1, ch);
    }
    EXPECT_EQ(captured.out(), line);
  }
}

TEST(OutputFile, ExitOnFailureEndsTheRunWithMinusEight) {
  TempDir dir;
  OutputFile file;
  ASSERT_TRUE(file.create(dir.file("out.bin")));
  file.fail(ENOSPC);
  CapturedConsole captured;
  int status = 0;
  try {
    exitOnOutputFailure(file, captured.console());
  } catch (const FatalError& e) {
    status = e.status();
  }
  EXPECT_EQ(status, -8);
  EXPECT_EQ(captured.out(), "# ERROR: Unable to write " + dir.file("out.bin") +
                                ": No space left on device\n# ERROR: Exiting\n");
}

// A file-size limit turns into a failed write with its reason, not a
// process killed by SIGXFSZ. Run in a child, whose limit is its own.
TEST(OutputFile, FileSizeLimitIsAWriteFailure) {
  TempDir dir;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    OutputFile file;
    if (!file.create(dir.file("out.bin"))) _exit(2);
    const struct rlimit limit = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    const std::string block(1000, 'x');
    for (int i = 0; i < 10; ++i) file.write(block.data(), block.size());
    const bool finished = file.finish();
    const bool reported = !finished && file.error() == EFBIG && file.failedStep() == OutputFile::Step::kWrite;
    file.abandon();
    _exit(reported ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{});
}

}  // namespace
