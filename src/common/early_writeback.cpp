#include "common/early_writeback.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>

namespace {

constexpr std::chrono::milliseconds kInterval{50};

}  // namespace

EarlyWriteback::EarlyWriteback(std::initializer_list<int> descriptors) {
  for (const int fd : descriptors) {
    const int copy = fd >= 0 ? ::dup(fd) : -1;
    if (copy >= 0) descriptors_.push_back(copy);
  }
  if (!descriptors_.empty()) thread_ = std::thread(&EarlyWriteback::run, this);
}

EarlyWriteback::~EarlyWriteback() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  for (const int fd : descriptors_) ::close(fd);
}

void EarlyWriteback::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, kInterval, [this] { return stopping_; })) {
    for (const int fd : descriptors_) static_cast<void>(::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE));
  }
}
