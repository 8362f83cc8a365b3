#include "driver/board_listing.h"

namespace {

constexpr const char* kHuxScheduleHeading = "# INFO: HUX2 sensor schedule:\n";
constexpr const char* kHuxCalibrationHeading = "# INFO: HUX2 Calibration data:\n";
constexpr const char* kTivScheduleHeading = "# INFO: TIV sensor schedule:\n";
constexpr const char* kTivCalibrationHeading = "# INFO: TIV Calibration data:\n";
constexpr const char* kValueLine = "# INFO:  %-20s %7d\n";
constexpr const char* kHexLine = "# INFO:  %-20s 0x%08x\n";

// Positions of the words in InputFileInfo::huxBoardInfo and tivBoardInfo.
constexpr int kHardwareVersion = 1;
constexpr int kMajorVersion = 2;
constexpr int kMinorVersion = 3;
constexpr int kWord1 = 4;
constexpr int kMicGain = 14;

unsigned hex(int32_t value) { return static_cast<unsigned>(value); }

}  // namespace

void printBoardListing(const InputFileInfo& first, const BaroCoefficients& baro, Console& console) {
  console.out(kHuxScheduleHeading);
  for (int c = 0; c < kHuxChannelCount; ++c)
    console.out(kValueLine, kHuxChannelLabels[c], first.huxChannelRates[c]);
  console.out(kValueLine, "interrupt count", first.huxInterruptRate);

  console.out(kHuxCalibrationHeading);
  const int32_t coefficients[6] = {baro.C1, baro.C2, baro.C3, baro.C4, baro.C5, baro.C6};
  const char* const coefficientLabels[6] = {"hux2 bar C1", "hux2 bar C2", "hux2 bar C3",
                                            "hux2 bar C4", "hux2 bar C5", "hux2 bar C6"};
  for (int i = 0; i < 6; ++i) console.out(kValueLine, coefficientLabels[i], coefficients[i]);
  console.out(kHexLine, "hux2 board number", hex(first.huxBoardNumber));
  console.out(kHexLine, "hux2 hardware ver", hex(first.huxBoardInfo[kHardwareVersion]));
  console.out(kHexLine, "hux2 major ver", hex(first.huxBoardInfo[kMajorVersion]));
  console.out(kHexLine, "hux2 minor ver", hex(first.huxBoardInfo[kMinorVersion]));
  console.out(kHexLine, "hux2 micr gain", hex(first.huxBoardInfo[kMicGain]));

  if (first.hasTiv != 1) return;
  console.out(kTivScheduleHeading);
  for (int c = 0; c < kTivChannelCount; ++c)
    console.out(kValueLine, kTivChannelLabels[c], first.tivChannelRates[c]);
  console.out(kValueLine, "interrupt count", first.tivInterruptRate);
  console.out(kTivCalibrationHeading);
  const char* const wordLabels[4] = {"tiv word 1", "tiv word 2", "tiv word 3", "tiv word 4"};
  for (int i = 0; i < 4; ++i) console.out(kValueLine, wordLabels[i], first.tivBoardInfo[kWord1 + i]);
  console.out(kHexLine, "tiv board number", hex(first.tivBoardNumber));
  console.out(kHexLine, "tiv hardware ver", hex(first.tivBoardInfo[kHardwareVersion]));
  console.out(kHexLine, "tiv major ver", hex(first.tivBoardInfo[kMajorVersion]));
  console.out(kHexLine, "tiv minor ver", hex(first.tivBoardInfo[kMinorVersion]));
}
