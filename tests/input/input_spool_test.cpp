#include "input/input_spool.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "input_test_util.h"

namespace {

using inputtest::ByteStream;

const std::string kLead("PELG\2\0\0\0", 8);

std::string readAll(FILE* stream) {
  std::string out;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) out.append(chunk, got);
  return out;
}

std::string bytesOf(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 13 + 1);
  return s;
}

// What a copy holds and how far into the source it read, for each kind of
// source: a PELG lead is followed to the end; anything else stops after the
// first 8 bytes (or fewer, at the end of the stream).
TEST(InputSpool, CopiesARecordingWholeAndStopsAfterTheLeadOfAnythingElse) {
  const std::string recording = kLead + bytesOf(150000);  // more than two copy chunks
  const std::string otherVersion = std::string("PELG\3\0\0\0", 8) + bytesOf(100);
  const struct {
    const char* what;
    std::string source;
    SpoolResult result;
    size_t copied;
  } cases[] = {
      {"recording", recording, SpoolResult::copied, recording.size()},
      {"lead only", kLead, SpoolResult::copied, 8},
      {"lead and one byte", kLead + "x", SpoolResult::copied, 9},
      {"empty", "", SpoolResult::notPelg, 0},
      {"short", "PELG\2", SpoolResult::notPelg, 5},
      {"zeros", std::string(100000, '\0'), SpoolResult::notPelg, 8},
      {"other magic", "PELX" + kLead + bytesOf(1000), SpoolResult::notPelg, 8},
      {"other version", otherVersion, SpoolResult::notPelg, 8},
  };
  for (const auto& c : cases) {
    for (bool regularFile : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (regularFile ? " from a file" : " from a stream of unknown size"));
      ByteStream source(inputtest::Bytes(c.source.begin(), c.source.end()), regularFile);
      FILE* copy = std::tmpfile();
      ASSERT_NE(copy, nullptr);
      int error = -1;
      EXPECT_EQ(copyStream(source.get(), copy, error), c.result);
      EXPECT_EQ(error, 0);
      EXPECT_EQ(source.tell(), static_cast<long>(c.copied));
      std::rewind(copy);
      EXPECT_EQ(readAll(copy), c.source.substr(0, c.copied));
      std::fclose(copy);
    }
  }
}

// A full disk: every write to /dev/full fails with ENOSPC, at the latest
// when the copy is flushed.
TEST(InputSpool, AFailedWriteIsReportedWithTheSystemsReason) {
  for (size_t size : {size_t{8}, size_t{100}, size_t{300000}}) {
    SCOPED_TRACE(size);
    const std::string bytes = kLead + bytesOf(size - 8);
    ByteStream source(inputtest::Bytes(bytes.begin(), bytes.end()));
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    int error = 0;
    EXPECT_EQ(copyStream(source.get(), full, error), SpoolResult::cannotWrite);
    EXPECT_EQ(error, ENOSPC);
    std::fclose(full);
  }
}

TEST(InputSpool, AFailedReadIsReportedWithTheSystemsReason) {
  testsupport::TempDir dir;
  FILE* writeOnly = std::fopen(dir.file("w").c_str(), "wb");  // reading it fails
  ASSERT_NE(writeOnly, nullptr);
  FILE* copy = std::tmpfile();
  int error = 0;
  EXPECT_EQ(copyStream(writeOnly, copy, error), SpoolResult::cannotRead);
  EXPECT_EQ(error, EBADF);
  std::fclose(copy);
  std::fclose(writeOnly);
}

// The copy is made in the given folder, has no name there, and reads back
// from its start.
TEST(InputSpool, TheCopyIsAnonymousInTheGivenFolder) {
  testsupport::TempDir dir;
  const std::string bytes = kLead + bytesOf(5000);
  ByteStream source(inputtest::Bytes(bytes.begin(), bytes.end()), false);
  const std::string folder = dir.file("spool");
  std::filesystem::create_directory(folder);
  const Spool spool = spoolStream(source.get(), folder);
  ASSERT_EQ(spool.result, SpoolResult::copied);
  ASSERT_NE(spool.copy, nullptr);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  std::rewind(spool.copy);
  EXPECT_EQ(readAll(spool.copy), bytes);
  std::fclose(spool.copy);
}

TEST(InputSpool, AFolderThatCannotHoldTheCopyIsReported) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir.file("plain"), "x");
  const struct {
    std::string folder;
    int error;
  } cases[] = {{dir.file("none"), ENOENT}, {dir.file("plain"), ENOTDIR}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    ByteStream source(kLead);
    const Spool spool = spoolStream(source.get(), c.folder);
    EXPECT_EQ(spool.result, SpoolResult::cannotCreate);
    EXPECT_EQ(spool.copy, nullptr);
    EXPECT_EQ(spool.error, c.error);
  }
}

TEST(InputSpool, TheTemporaryFolderIsTmpdirOrTmp) {
  const char* saved = std::getenv("TMPDIR");
  const std::string before = saved ? saved : "";
  for (const auto& [value, folder] : {std::pair<const char*, std::string>{"/var/spool/x", "/var/spool/x"},
                                      {"", "/tmp"},
                                      {nullptr, "/tmp"}}) {
    if (value) {
      setenv("TMPDIR", value, 1);
    } else {
      unsetenv("TMPDIR");
    }
    EXPECT_EQ(temporaryFolder(), folder);
  }
  if (saved) {
    setenv("TMPDIR", before.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

}  // namespace
