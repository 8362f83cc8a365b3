#include "driver/header_rates.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <optional>
#include <string>

#include "common/fatal_error.h"
#include "support/test_support.h"

namespace {

// A schedule the platform produces: every rate well inside its limits.
HuxInfo plausibleHux() {
  HuxInfo h;
  h.interrupt_count = 5120;
  h.mic_hz = 8000;
  h.accelerometer_hz = h.amb_light_hz = h.barometer_hz = h.compass_hz = h.dals_hz = h.humidity_hz = 100;
  return h;
}

TivInfo plausibleTiv() {
  TivInfo t;
  t.interrupt_count = 5120;
  t.gyro = 1000;
  t.magnetometer = 100;
  return t;
}

// Each rate at both its limits is accepted, one past either is refused with
// its tag and limits.
TEST(HeaderRates, EveryRateIsCheckedAgainstItsOwnLimits) {
  struct Rate {
    const char* tag;
    std::function<int32_t&(HuxInfo&, TivInfo&)> field;
    int32_t low, high;
    bool tiv;
  };
  const Rate rates[] = {
      {"intr", [](HuxInfo& h, TivInfo&) -> int32_t& { return h.interrupt_count; }, 1, 1000000, false},
      {"mic ", [](HuxInfo& h, TivInfo&) -> int32_t& { return h.mic_hz; }, 0, 192000, false},
      {"acc ", [](HuxInfo& h, TivInfo&) -> int32_t& { return h.accelerometer_hz; }, 0, 1000000, false},
      {"amb ", [](HuxInfo& h, TivInfo&) -> int32_t& { return h.amb_light_hz; }, 0, 1000000, false},
      {"bar ", [](HuxInfo& h, TivInfo&) -> int32_t& { return h.barometer_hz; }, 0, 1000000, false},
      {"comp", [](HuxInfo& h, TivInfo&) -> int32_t& { return h.compass_hz; }, 0, 1000000, false},
      {"dals", [](HuxInfo& h, TivInfo&) -> int32_t& { return h.dals_hz; }, 0, 1000000, false},
      {"hum ", [](HuxInfo& h, TivInfo&) -> int32_t& { return h.humidity_hz; }, 0, 1000000, false},
      {"intr", [](HuxInfo&, TivInfo& t) -> int32_t& { return t.interrupt_count; }, 1, 1000000, true},
      {"gyro", [](HuxInfo&, TivInfo& t) -> int32_t& { return t.gyro; }, 0, 1000000, true},
      {"mag ", [](HuxInfo&, TivInfo& t) -> int32_t& { return t.magnetometer; }, 0, 1000000, true},
  };
  for (const Rate& rate : rates) {
    for (const int64_t value : {int64_t{INT_MIN}, int64_t{rate.low} - 1, int64_t{rate.low}, int64_t{rate.high},
                                int64_t{rate.high} + 1, int64_t{INT_MAX}}) {
      SCOPED_TRACE(std::string(rate.tag) + (rate.tiv ? " (TIV) " : " ") + std::to_string(value));
      HuxInfo hux = plausibleHux();
      TivInfo tiv = plausibleTiv();
      rate.field(hux, tiv) = static_cast<int32_t>(value);
      const auto fault = firstRateOutOfRange(hux, &tiv);
      if (value >= rate.low && value <= rate.high) {
        EXPECT_FALSE(fault.has_value());
        continue;
      }
      ASSERT_TRUE(fault.has_value());
      EXPECT_STREQ(fault->tag, rate.tag);
      EXPECT_EQ(fault->value, value);
      EXPECT_EQ(fault->low, rate.low);
      EXPECT_EQ(fault->high, rate.high);
      // The TIV rates count only for a file that carries TIV data.
      EXPECT_EQ(firstRateOutOfRange(hux, nullptr).has_value(), !rate.tiv);
    }
  }
}

TEST(HeaderRates, TheFirstRateOutOfRangeIsNamed) {
  HuxInfo hux = plausibleHux();
  TivInfo tiv = plausibleTiv();
  tiv.gyro = -1;
  hux.humidity_hz = 2000000;
  hux.compass_hz = -7;
  const auto fault = firstRateOutOfRange(hux, &tiv);
  ASSERT_TRUE(fault.has_value());
  EXPECT_STREQ(fault->tag, "comp");
  EXPECT_EQ(fault->value, -7);
  EXPECT_FALSE(firstRateOutOfRange(plausibleHux(), nullptr).has_value());
}

TEST(HeaderRates, ARefusedFileEndsTheRunWithItsNameAndTheLimits) {
  FileHeader header;
  header.huxInfo = plausibleHux();
  header.tivInfo = plausibleTiv();
  header.tivInfo.magnetometer = 1000001;
  testsupport::CapturedConsole captured;
  refuseImplausibleRates(header, false, "x.pelg", captured.console());  // no TIV data: accepted
  EXPECT_EQ(captured.out(), "");
  try {
    refuseImplausibleRates(header, true, "x.pelg", captured.console());
    ADD_FAILURE() << "not refused";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.status(), -12);
  }
  EXPECT_EQ(captured.out(),
            "# ERROR: File x.pelg, mag  rate 1000001 is out of range (allowed 0 to 1000000)\n"
            "# ERROR: Exiting\n");
}

}  // namespace
