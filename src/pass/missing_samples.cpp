#include "pass/missing_samples.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

constexpr const char* kExceedsExpected =
    "# ERROR: Algorithm error, computeNumMissingSamples, data exceeds expected amount, expected %" PRId64
    " recieved %" PRId64 "\n";

constexpr int64_t kCountLimit = std::numeric_limits<int64_t>::max();

// A whole double as a count, saturating where it does not fit.
int64_t toCount(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(kCountLimit)) return kCountLimit;
  if (value <= -static_cast<double>(kCountLimit)) return -kCountLimit;
  return static_cast<int64_t>(value);
}

// a + b, saturating at the ends of the count range.
int64_t addCounts(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? kCountLimit : -kCountLimit;
  return sum;
}

}  // namespace

int64_t computeNumMissingSamples(int32_t rate, int32_t baseRate, int32_t& newCount,
                                 int64_t& alignedCount, int64_t timeIndex, Console& console) {
  if (newCount == 0) return 0;

  int64_t missing = 0;
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
    if (static_cast<double>(alignedCount) > ceiling) reportExceedsExpected(toCount(ceiling), alignedCount, console);
  }

  alignedCount = addCounts(alignedCount, newCount);
  newCount = 0;
  return missing;
}

void reportExceedsExpected(int64_t expectedCeiling, int64_t alignedCount, Console& console) {
  console.out(kExceedsExpected, expectedCeiling, alignedCount);
}

RateForm rateFormOf(int32_t rate, int32_t baseRate) {
  RateForm form;
  if (rate <= 0 || baseRate <= 0) return form;
  const int64_t denominator = baseRate / std::gcd(rate, baseRate);
  if (!std::has_single_bit(static_cast<uint64_t>(denominator))) return form;
  const int k = std::countr_zero(static_cast<uint64_t>(denominator));
  form.exact = true;
  form.rate = rate;
  form.baseRate = baseRate;
  form.expectedLimit = int64_t{1} << (52 - k);
  if (__builtin_mul_overflow(form.expectedLimit, form.baseRate, &form.numeratorLimit))
    form.numeratorLimit = std::numeric_limits<int64_t>::max();
  form.timeIndexLimit = (form.numeratorLimit - 1) / form.rate;
  const int64_t productLimit =
      std::numeric_limits<int64_t>::max() / form.baseRate - std::numeric_limits<int32_t>::max();
  form.alignedLimit = std::min(form.expectedLimit, productLimit);
  return form;
}
