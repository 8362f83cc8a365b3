// One output file of a run, complete or absent.
//
// Contract: create() makes a temporary next to the final path, "." + name +
// ".partial" in the same folder; everything is written there, through the
// buffered stream (write, print) or by a library through descriptor() or
// temporaryPath(). finish() flushes, syncs to disk and closes it; commit()
// then renames it to its final path, replacing what was there. The first
// failure of any step is kept with the system's error number, and every later
// write is skipped, so a writer may check once at the end. A file that is not
// committed is removed when the object goes, or by interrupt_cleanup when a
// signal stops the run: nothing cut short ever appears under the final path,
// and a file that existed there before a failed run stays as it was.
#pragma once

#include <cstdio>
#include <string>

#include "common/console.h"

class OutputFile {
 public:
  enum class Step { kNone, kCreate, kWrite, kFinish, kCommit };

  OutputFile() = default;
  ~OutputFile();
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&& other) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the temporary for path (any earlier one is removed first). False
  // when it cannot be made, or when path itself is a directory.
  bool create(const std::string& path);

  // Open for writing: created, not yet finished or abandoned.
  bool isOpen() const { return fd_ >= 0; }
  explicit operator bool() const { return isOpen(); }
  // Finished without error and waiting to be committed.
  bool isFinished() const { return finished_; }

  // Appends through the buffered stream. False once anything has failed.
  bool write(const void* data, size_t size);
  bool print(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // For libraries that write the file themselves: its descriptor (open for
  // reading and writing) and the temporary's path.
  int descriptor() const { return fd_; }
  const std::string& temporaryPath() const { return temporaryPath_; }
  const std::string& path() const { return path_; }

  // Starts the system writing what the file holds so far to the disk,
  // without waiting for it: the disk then works while the run goes on, and
  // the sync in finish() has less left to wait for. For files written
  // through descriptor(). False when the system reports a failed write.
  bool startWriteback();

  // Records a failure that a library reported (error: a system error number).
  void fail(int error);

  // Flushes the stream, syncs the file to disk and closes it.
  bool finish();
  // Renames the finished temporary to the final path.
  bool commit();
  // Closes and removes the temporary, unless it was committed.
  void abandon();

  bool failed() const { return failedStep_ != Step::kNone; }
  Step failedStep() const { return failedStep_; }
  int error() const { return error_; }
  // The path whose step failed: the temporary, or the final path when that
  // is a directory in the way.
  const std::string& failedPath() const { return failedPath_; }

 private:
  bool failAt(Step step, int error, const std::string& path);
  void release();

  std::string path_;
  std::string temporaryPath_;
  std::string failedPath_;
  int fd_ = -1;
  FILE* stream_ = nullptr;  // on fd_, made on first use
  int slot_ = -1;           // interrupt_cleanup registration of the temporary
  bool exists_ = false;     // the temporary exists on disk
  bool finished_ = false;
  Step failedStep_ = Step::kNone;
  int error_ = 0;
};

// The temporary of path: "." + base name + ".partial" in the same folder
// (the base name cut so that the name fits the system's limit).
std::string temporaryPathFor(const std::string& path);

// Prints the line that says which step of file failed and why:
//   "# ERROR: Unable to create %s: %s\n"  (the path that failed)
//   "# ERROR: Unable to write %s: %s\n"   (the final path)
//   "# ERROR: Unable to rename %s to %s: %s\n"
void reportOutputFailure(const OutputFile& file, Console& console);

// Reports the failure, prints "# ERROR: Exiting\n" and ends the run with
// exit_status::kOutputFailed.
[[noreturn]] void exitOnOutputFailure(const OutputFile& file, Console& console);
