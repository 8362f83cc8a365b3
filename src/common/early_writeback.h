// Early writeback of files that a library writes in one long call (libmatio
// writes a whole MAT-file at closing): while an EarlyWriteback lives, a
// thread of its own asks the system every 50 ms to start writing the files'
// bytes to the disk, so that the disk works while the library still copies,
// and the sync that finishes each file has less left to wait for.
//
// Contract: the descriptors are duplicated at construction and closed by the
// object, so the files may be closed by their owners meanwhile. The requests
// are hints and their results are not reported: a write that fails on the
// way to the disk shows at the file's own sync (OutputFile::finish), which
// is checked. The destructor stops and joins the thread.
#pragma once

#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <vector>

class EarlyWriteback {
 public:
  explicit EarlyWriteback(std::initializer_list<int> descriptors);
  ~EarlyWriteback();
  EarlyWriteback(const EarlyWriteback&) = delete;
  EarlyWriteback& operator=(const EarlyWriteback&) = delete;

 private:
  void run();

  std::vector<int> descriptors_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};
