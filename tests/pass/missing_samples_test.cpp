#include "pass/missing_samples.h"

#include <gtest/gtest.h>

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
