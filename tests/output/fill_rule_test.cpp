// The fill rule's count against the comparison it stands for, applied row
// by row.
#include "output/fill_rule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

int64_t rowByRow(double expected, int64_t position, int32_t n) {
  int64_t k = 0;
  while (expected - (static_cast<double>(position + k) + n) >= 2.0) ++k;
  return k;
}

TEST(FillRule, RowsToFillIsTheLeastThatLeavesAShortfallBelowTwo) {
  const double expectations[] = {0.0, 1.9, 2.0, 2.5, 3.0, 7.999999999, 8.0, 123456.75, 1e6 + 0.3};
  for (const double expected : expectations) {
    for (const int64_t position : {int64_t{0}, int64_t{5}, int64_t{100}, int64_t{123454}}) {
      for (const int32_t n : {1, 4}) {
        EXPECT_EQ(rowsToFill(expected, position, n), rowByRow(expected, position, n))
            << expected << " " << position << " " << n;
      }
    }
  }
  EXPECT_EQ(rowsToFill(std::numeric_limits<double>::infinity(), 0, 1), 0);  // interrupt rate 0
  EXPECT_EQ(rowsToFill(std::nan(""), 0, 1), 0);
}

}  // namespace
