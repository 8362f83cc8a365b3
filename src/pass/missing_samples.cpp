#include "pass/missing_samples.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr const char* kExceedsExpected =
    "# ERROR: Algorithm error, computeNumMissingSamples, data exceeds expected amount, expected %d "
    "recieved %d\n";

// A whole double as a 32-bit count, saturating where it does not fit.
int32_t toCount(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
    return std::numeric_limits<int32_t>::max();
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min()))
    return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

// a + b, saturating at the ends of the 32-bit range.
int32_t addCounts(int32_t a, int32_t b) {
  const int64_t sum = static_cast<int64_t>(a) + b;
  if (sum > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (sum < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(sum);
}

}  // namespace

int32_t computeNumMissingSamples(int32_t rate, int32_t baseRate, int32_t& newCount,
                                 int32_t& alignedCount, int32_t timeIndex, Console& console) {
  if (newCount == 0) return 0;

  int32_t missing = 0;
  if (baseRate > 0) {
    // Samples the channel owes up to and including interrupt timeIndex.
    const double expected =
        static_cast<double>(rate) / static_cast<double>(baseRate) * (static_cast<double>(timeIndex) + 1.0);
    const double shortfall =
        expected - (static_cast<double>(newCount) + static_cast<double>(alignedCount));
    // Below two samples nothing is counted, and one sample of slack always stays.
    if (shortfall >= 2.0) {
      missing = toCount(std::trunc(shortfall)) - 1;
      alignedCount = addCounts(alignedCount, missing);
    }
    const double ceiling = std::ceil(expected);
    if (static_cast<double>(alignedCount) > ceiling)
      console.out(kExceedsExpected, toCount(ceiling), alignedCount);
  }

  alignedCount = addCounts(alignedCount, newCount);
  newCount = 0;
  return missing;
}
