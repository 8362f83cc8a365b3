#include "driver/progress_display.h"

#include <chrono>
#include <cinttypes>

namespace {

// "scan pass 1 of 2, file 2 of 5, 43.2%, 85.3 MB/s, 0:12 left"
constexpr const char* kLineFormat = "pelgToMatlab: %s pass %d of %d, file %d of %d, %s, %s, %s";
constexpr const char* kPercentFormat = "%.1f%%";
constexpr const char* kBytesFormat = "%.1f MB";
constexpr const char* kRateFormat = "%.1f MB/s";
constexpr const char* kRateUnknown = "-- MB/s";
constexpr const char* kHoursLeft = "%d:%02d:%02d left";
constexpr const char* kMinutesLeft = "%d:%02d left";
constexpr const char* kTimeLeftUnknown = "--:-- left";

constexpr const char* kReturn = "\r";
constexpr const char* kEraseToEnd = "\x1b[K";  // clears from the cursor to the end of the line

// The clock is looked at once per this many bytesRead calls (one per packet).
constexpr uint32_t kCallsPerClockLook = 64;
// Speed and time left are shown once this much of the pass has passed.
constexpr double kSettleSeconds = 0.5;

constexpr double kBytesPerMegabyte = 1e6;

std::string formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string timeLeftText(double seconds) {
  if (!(seconds >= 0) || seconds > 360000) return kTimeLeftUnknown;
  const int64_t s = static_cast<int64_t>(seconds + 0.5);
  char text[64];
  if (s >= 3600)
    std::snprintf(text, sizeof text, kHoursLeft, static_cast<int>(s / 3600),
                  static_cast<int>(s / 60 % 60), static_cast<int>(s % 60));
  else
    std::snprintf(text, sizeof text, kMinutesLeft, static_cast<int>(s / 60), static_cast<int>(s % 60));
  return text;
}

}  // namespace

double ProgressDisplay::steadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

ProgressDisplay::ProgressDisplay(FILE* terminal, std::vector<int64_t> fileSizes, bool sharesTerminal,
                                 Clock clock)
    : terminal_(terminal),
      fileSizes_(std::move(fileSizes)),
      sharesTerminal_(sharesTerminal),
      clock_(std::move(clock)) {
  for (int64_t size : fileSizes_) totalBytes_ += size > 0 ? size : 0;
}

ProgressDisplay::~ProgressDisplay() {
  erase();
  if (console_) console_->setInterruption(nullptr);
}

void ProgressDisplay::attach(Console& console) {
  console_ = &console;
  console.setInterruption(this);
}

bool ProgressDisplay::write(const std::string& text) {
  if (!enabled_) return false;
  if (std::fputs(text.c_str(), terminal_) < 0 || std::fflush(terminal_) != 0) {
    enabled_ = false;
    return false;
  }
  return true;
}

void ProgressDisplay::erase() {
  std::lock_guard<std::mutex> lock(screen_);
  if (!shown_) return;
  shown_ = false;
  write(std::string(kReturn) + kEraseToEnd);
}

void ProgressDisplay::startPass(const char* name, int number, int count) {
  passName_ = name;
  passNumber_ = number;
  passCount_ = count;
  passStart_ = clock_();
  file_ = -1;
  bytesBefore_ = 0;
  offset_ = 0;
}

void ProgressDisplay::finishPass() {
  erase();
  passName_.clear();
}

void ProgressDisplay::fileStarted(int index) {
  if (passName_.empty()) return;
  bytesBefore_ = 0;
  for (int i = 0; i < index && i < static_cast<int>(fileSizes_.size()); ++i)
    bytesBefore_ += fileSizes_[static_cast<size_t>(i)] > 0 ? fileSizes_[static_cast<size_t>(i)] : 0;
  file_ = index;
  offset_ = 0;
  draw(clock_());
}

void ProgressDisplay::bytesRead(int64_t offset) {
  offset_ = offset;
  if (passName_.empty() || ++calls_ < kCallsPerClockLook) return;
  calls_ = 0;
  const double now = clock_();
  if (now - lastDraw_ >= kRefreshSeconds) draw(now);
}

void ProgressDisplay::beforeConsoleLine() {
  if (sharesTerminal_) erase();
}

std::string ProgressDisplay::lineText(double now) const {
  const int64_t done = bytesBefore_ + (offset_ > 0 ? offset_ : 0);
  const double elapsed = now - passStart_;
  std::string share;
  if (totalBytes_ > 0) {
    const double fraction = done >= totalBytes_ ? 1.0 : static_cast<double>(done) / totalBytes_;
    share = formatted(kPercentFormat, 100.0 * fraction);
  } else {
    share = formatted(kBytesFormat, done / kBytesPerMegabyte);
  }
  std::string rate = kRateUnknown;
  std::string left = kTimeLeftUnknown;
  if (elapsed >= kSettleSeconds && done > 0) {
    const double bytesPerSecond = done / elapsed;
    rate = formatted(kRateFormat, bytesPerSecond / kBytesPerMegabyte);
    if (totalBytes_ > 0) left = timeLeftText(done >= totalBytes_ ? 0.0 : (totalBytes_ - done) / bytesPerSecond);
  }
  char line[256];
  std::snprintf(line, sizeof line, kLineFormat, passName_.c_str(), passNumber_, passCount_,
                file_ + 1, static_cast<int>(fileSizes_.size()), share.c_str(), rate.c_str(),
                left.c_str());
  return line;
}

void ProgressDisplay::draw(double now) {
  lastDraw_ = now;
  const std::string line = std::string(kReturn) + lineText(now) + kEraseToEnd;
  std::lock_guard<std::mutex> lock(screen_);
  if (write(line)) shown_ = true;
}
