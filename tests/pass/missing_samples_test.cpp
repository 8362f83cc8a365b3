#include "pass/missing_samples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "support/test_support.h"

namespace {

struct MissingCase {
  const char* name;
  int32_t rate, baseRate, timeIndex;
  int32_t alignedBefore, newCount;
  int32_t missing, alignedAfter;
  const char* console;  // expected standard output
};

class MissingSamples : public ::testing::TestWithParam<MissingCase> {};

TEST_P(MissingSamples, CountsAndReports) {
  const MissingCase& c = GetParam();
  testsupport::CapturedConsole captured;
  int32_t newCount = c.newCount;
  int64_t aligned = c.alignedBefore;
  EXPECT_EQ(computeNumMissingSamples(c.rate, c.baseRate, newCount, aligned, c.timeIndex,
                                     captured.console()),
            c.missing);
  EXPECT_EQ(aligned, c.alignedAfter);
  EXPECT_EQ(newCount, 0);
  EXPECT_EQ(captured.out(), c.console);
  EXPECT_EQ(captured.err(), "");
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, MissingSamples,
    ::testing::Values(
        // expected 100.0: shortfall 5.0 counts 4
        MissingCase{"Shortfall5", 100, 1000, 999, 90, 5, 4, 99, ""},
        // shortfall exactly 2.0 counts 1
        MissingCase{"Shortfall2", 100, 1000, 999, 97, 1, 1, 99, ""},
        // shortfall 3.0 counts 2
        MissingCase{"Shortfall3", 100, 1000, 999, 96, 1, 2, 99, ""},
        // expected 101.9: shortfall 1.9 counts nothing
        MissingCase{"Shortfall1_9", 100, 1000, 1018, 99, 1, 0, 100, ""},
        // no samples in the packet: nothing at all, however far behind
        MissingCase{"NoNewSamples", 100, 1000, 999999, 0, 0, 0, 0, ""},
        // expected 50.0 but 51 already held: reported, run goes on
        MissingCase{"ExceedsExpected", 100, 1000, 499, 51, 3, 0, 54,
                    "# ERROR: Algorithm error, computeNumMissingSamples, data exceeds expected "
                    "amount, expected 50 recieved 51\n"},
        // expected 2.2 rounds up to 3: holding 3 is not an excess
        MissingCase{"AtRoundedUpExpectation", 100, 1000, 21, 3, 1, 0, 4, ""},
        // a board without an interrupt rate gives no expectation
        MissingCase{"ZeroBaseRate", 100, 0, 999, 10, 5, 0, 15, ""},
        MissingCase{"ZeroRates", 0, 0, 999, 10, 5, 0, 15, ""},
        MissingCase{"NegativeBaseRate", 100, -5, 999, 10, 5, 0, 15, ""}),
    [](const ::testing::TestParamInfo<MissingCase>& info) { return std::string(info.param.name); });

}  // namespace

// The whole-number accounting gives exactly the double arithmetic's counts
// and console lines, for the rates the platform uses and for rates where the
// double arithmetic is inexact (which then take the double path).
TEST(AccountSamples, AgreesWithTheDoubleArithmetic) {
  const struct {
    int32_t rate, baseRate;
    bool exact;
  } forms[] = {
      {80000, 5120, true}, {1000, 5120, true}, {100, 5120, true}, {1000, 1000, true},
      {160000, 10240, true}, {10240, 5120, true}, {333, 5120, false}, {1000, 3000, false}, {0, 5120, false},
  };
  std::mt19937_64 random(7);
  for (const auto& f : forms) {
    SCOPED_TRACE(testing::Message() << f.rate << "/" << f.baseRate);
    const RateForm form = rateFormOf(f.rate, f.baseRate);
    EXPECT_EQ(form.exact, f.exact);
    testsupport::CapturedConsole a, b;
    for (int i = 0; i < 30000; ++i) {
      // Then around the last time index and the largest count the whole
      // numbers take, and below zero.
      const int64_t near = static_cast<int64_t>(random() % 8) - 4;
      int64_t timeIndex = static_cast<int64_t>(random() % (i < 10000 ? 100000 : (int64_t{1} << 38)));
      if (i >= 20000 && form.exact) timeIndex = form.timeIndexLimit + near;
      if (i >= 29990) timeIndex = near - 4;
      const double expected = static_cast<double>(f.rate) / f.baseRate * (static_cast<double>(timeIndex) + 1);
      // Aligned counts around the expected one, ahead of it now and then.
      int64_t aligned =
          std::max<int64_t>(0, static_cast<int64_t>(expected) - static_cast<int64_t>(random() % 200) + 3);
      if (i >= 25000 && i < 29990 && form.exact) aligned = form.expectedLimit + near;
      const int32_t fresh = static_cast<int32_t>(random() % 64);
      int32_t newA = fresh, newB = fresh;
      int64_t alignedA = aligned, alignedB = aligned;
      const int64_t missingA = computeNumMissingSamples(f.rate, f.baseRate, newA, alignedA, timeIndex, a.console());
      const int64_t missingB = accountSamples(form, f.rate, f.baseRate, newB, alignedB, timeIndex, b.console());
      ASSERT_EQ(std::tie(missingA, newA, alignedA), std::tie(missingB, newB, alignedB)) << timeIndex << " " << aligned;
    }
    EXPECT_EQ(a.out(), b.out());
  }
}
