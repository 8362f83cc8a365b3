#include "output/fill_rule.h"

#include <cmath>

namespace {

bool shortBy2(double expected, int64_t position, int32_t n) {
  return expected - (static_cast<double>(position) + n) >= 2.0;
}

}  // namespace

int64_t rowsToFillGap(double expected, int64_t position, int32_t n) {
  if (!std::isfinite(expected) || !shortBy2(expected, position, n)) return 0;
  // The closed form, then the comparison itself decides the last step.
  const double estimate = std::floor(expected - n - 2.0 - static_cast<double>(position)) + 1.0;
  int64_t k = estimate > 0 ? static_cast<int64_t>(estimate) : 1;
  while (k > 1 && !shortBy2(expected, position + k - 1, n)) --k;
  while (shortBy2(expected, position + k, n)) ++k;
  return k;
}
