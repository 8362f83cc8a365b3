#include "driver/summary_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver_test_util.h"

using namespace drivertest;

namespace {

using testsupport::CapturedConsole;

// A file at the standard rates, TIV interrupts at 512 Hz.
InputFileInfo record(InputFileInfo info) {
  info.huxChannelRates = {80000, 100, 100, 100, 100, 100, 100, 100, 100, 100, 1000, 1000, 1000, 1000};
  info.tivInterruptRate = 5120;
  info.tivChannelRates = {1000, 1000, 1000, 1000, 1000, 1000, 100, 100, 100};
  return info;
}

// The rows of HUX2 channels that found nothing, common to both reports below.
const std::string kQuietHuxRows =
    "# INFO:      hux/humidity     10.00Hz               0             0      +0   (  0.0000%)\n"
    "# INFO:      hux/ir_light     10.00Hz               0             0      +0   (  0.0000%)\n"
    "# INFO:     hux/amb_light     10.00Hz               0             0      +0   (  0.0000%)\n"
    "# INFO:          hux/temp     10.00Hz               0             0      +0   (  0.0000%)\n"
    "# INFO: hux/temp_sensiron     10.00Hz               0             0      +0   (  0.0000%)\n"
    "# INFO:     hux/vis_light     10.00Hz               0             0      +0   (  0.0000%)\n";
const std::string kQuietAccelRows =
    "# INFO:       hux/y_accel    100.00Hz               0             0      +0   (  0.0000%)\n"
    "# INFO:       hux/z_accel    100.00Hz               0             0      +0   (  0.0000%)\n";

TEST(SummaryReport, WithoutTivSpansTotalsAndRows) {
  std::vector<InputFileInfo> files{record(huxSpan(3, 5120, 0, 10, 3, 0, 100)),  // 10 to 15460: 15450 interrupts
                                   record(huxSpan(1, 5120, 0, 0, 3661, 0, 0)),   // 36610 seconds at 512 Hz
                                   record(huxSpan(2, 5120, -1, -1, -1, 0, -1))};  // no timed HUX packet
  PassCounters counters;
  counters.huxAlignedCounts = {0, 1000, 990, 5, 0, 0, 0, 0, 0, 0, 123456, 0, 0, 777};
  counters.huxSampleTotals = {0, 990, 1000, 5, 0, 0, 0, 0, 0, 0, 123000, 0, 0, 777};
  counters.tivAlignedCounts.fill(9);  // not shown without TIV data

  for (int32_t tally : {0, -1}) {
    CapturedConsole captured;
    printSummaryReport({files.data(), 3, tally, 5120, 5120}, counters, captured.console());
    EXPECT_EQ(captured.out(),
              std::string("# INFO: File [ 3], HUX2 spans      10 to    15460      30.18 seconds (  0 hours  0 mins 30.18 seconds)\n"
                          "# INFO: File [ 1], HUX2 spans       0 to 18744320   36610.00 seconds ( 10 hours 10 mins 10.00 seconds)\n"
                          "# INFO: File [ 2], HUX2 spans   -5121 to    -5121       0.00 seconds (  0 hours  0 mins  0.00 seconds)\n"
                          "# INFO:  18759770 HUX2 interrupt counts\n"
                          "# INFO: HUX2  36640.18 seconds ( 10 hours 10 mins 40.18 seconds)\n") +
                  kTableHeader +
                  "# INFO:         hux/audio   8000.00Hz               0             0      +0   (  0.0000%)\n"
                  "# INFO:     hux/bar_press     10.00Hz            1000           990     -10   ( 99.0000%)\n"
                  "# INFO:       hux/compass     10.00Hz             990          1000     +10   (101.0101%)\n"
                  "# INFO:  hux/hf_vis_light     10.00Hz               5             5      +0   (100.0000%)\n" +
                  kQuietHuxRows +
                  "# INFO:       hux/x_accel    100.00Hz          123456        123000    -456   ( 99.6306%)\n" +
                  kQuietAccelRows)
        << "tivFileTally " << tally;
  }
}

TEST(SummaryReport, RolloverInterruptsCountInTheSpan) {
  // 254*5120+5000 to 5120+1310720+20
  std::vector<InputFileInfo> files{record(huxSpan(2, 5120, 254, 5000, 1, 256 * 5120, 20))};
  CapturedConsole captured;
  printSummaryReport({files.data(), 1, -1, 5120, 0}, PassCounters{}, captured.console());
  const std::string out = captured.out();
  EXPECT_EQ(out.substr(0, out.find('\n') + 1),
            "# INFO: File [ 2], HUX2 spans 1305480 to  1315860      20.27 seconds (  0 hours  0 mins 20.27 seconds)\n");
}

TEST(SummaryReport, WithTivAddsSpansTotalsAndNineRows) {
  std::vector<InputFileInfo> files{record(huxSpan(1, 5120, 0, 0, 1, 0, 0))};
  files[0].tivFirstTimeCounter = 1;
  files[0].tivFirstInterruptCounter = 0;
  files[0].tivLastTimeCounter = 2;
  files[0].tivLastInterruptCounter = 5119;
  PassCounters counters;
  counters.tivAlignedCounts = {2000, 0, 0, 0, 0, 0, 0, 0, 50};
  counters.tivSampleTotals = {2000, 0, 0, 0, 0, 0, 0, 0, 49};
  CapturedConsole captured;
  printSummaryReport({files.data(), 1, 1, 5120, 5120}, counters, captured.console());
  EXPECT_EQ(captured.out(),
            std::string("# INFO: File [ 1], HUX2 spans       0 to     5120      10.00 seconds (  0 hours  0 mins 10.00 seconds)\n"
                        "\n"
                        "# INFO: File [ 1], TIV  spans    5120 to    15359      20.00 seconds (  0 hours  0 mins 20.00 seconds)\n"
                        "# INFO:      5120 HUX2 interrupt counts\n"
                        "# INFO:     10239 TIV  interrupt counts\n"
                        "# INFO: HUX2     10.00 seconds (  0 hours  0 mins 10.00 seconds)\n"
                        "# INFO: TIV      20.00 seconds (  0 hours  0 mins 20.00 seconds)\n") +
                kTableHeader +
                "# INFO:         hux/audio   8000.00Hz               0             0      +0   (  0.0000%)\n"
                "# INFO:     hux/bar_press     10.00Hz               0             0      +0   (  0.0000%)\n"
                "# INFO:       hux/compass     10.00Hz               0             0      +0   (  0.0000%)\n"
                "# INFO:  hux/hf_vis_light     10.00Hz               0             0      +0   (  0.0000%)\n" +
                kQuietHuxRows +
                "# INFO:       hux/x_accel    100.00Hz               0             0      +0   (  0.0000%)\n" +
                kQuietAccelRows +
                "# INFO:        tiv/x_gyro    100.00Hz            2000          2000      +0   (100.0000%)\n"
                "# INFO:        tiv/y_gyro    100.00Hz               0             0      +0   (  0.0000%)\n"
                "# INFO:        tiv/z_gyro    100.00Hz               0             0      +0   (  0.0000%)\n"
                "# INFO:    tiv/x_gyroTemp    100.00Hz               0             0      +0   (  0.0000%)\n"
                "# INFO:    tiv/y_gyroTemp    100.00Hz               0             0      +0   (  0.0000%)\n"
                "# INFO:    tiv/z_gyroTemp    100.00Hz               0             0      +0   (  0.0000%)\n"
                "# INFO:         tiv/x_mag     10.00Hz               0             0      +0   (  0.0000%)\n"
                "# INFO:         tiv/y_mag     10.00Hz               0             0      +0   (  0.0000%)\n"
                "# INFO:         tiv/z_mag     10.00Hz              50            49      -1   ( 98.0000%)\n");
}

}  // namespace
