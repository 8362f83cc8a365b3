#include "driver/sequence_validation.h"

#include <array>
#include <map>

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "driver/board_listing.h"
#include "driver/header_checks.h"
#include "driver/header_rates.h"
#include "driver/start_order.h"

namespace {

constexpr const char* kOpenFile = "# INFO: open file [%2d] '%s'\n";
constexpr const char* kUnableToOpen = "# ERROR: Unable to open file %s\n";
constexpr const char* kNoPelgHeader = "# ERROR: file does not have a PELG v2 header\n";
constexpr const char* kNoInfoData = "# WARNING: no calibration/info data\n";
constexpr const char* kTivAfterNoTiv =
    "# ERROR: File %s, contains TIV data wheareas the previous files do not!\n";
constexpr const char* kBadInterruptRate = "# ERROR: File %s, interrupt rate must be positive\n";
constexpr const char* kSameFile = "# ERROR: File %s is the same file as %s\n";

constexpr const char* kCalibrationDiffers =
    "# ERROR: File %s has a different calibration matrix than the other PELG files\n";
constexpr const char* kReferenceBaro[6] = {
    "# ERROR:  hux2 bar C1 %d\n", "# ERROR:  hux2 bar C2 %d\n", "# ERROR:  hux2 bar C3 %d\n",
    "# ERROR:  hux2 bar C4 %d\n", "# ERROR:  hux2 bar C5 %d\n", "# ERROR:  hux2 bar C6 %d\n"};
constexpr const char* kFileBaro[6] = {
    "# ERROR:  hux bar C1 %d\n", "# ERROR:  hux bar C2 %d\n", "# ERROR:  hux bar C3 %d\n",
    "# ERROR:  hux bar C4 %d\n", "# ERROR:  hux bar C5 %d\n", "# ERROR:  hux bar C6 %d\n"};
constexpr const char* kVersus = "# ERROR: versus:\n";

constexpr const char* kScheduleDiffers =
    "# ERROR: File %s has a different schedule than the other PELG files\n";
constexpr const char* kInterruptCount = "# ERROR:  interrupt_count     %d\n";
constexpr const char* kMicHz = "# ERROR:  mic_hz              %d\n";
constexpr const char* kCompassHz = "# ERROR:  compass_hz          %d\n";
constexpr const char* kAmbLightHz = "# ERROR:  amb_light_hz        %d\n";
constexpr const char* kBarometerHz = "# ERROR:  barometer_hz        %d\n";
constexpr const char* kHumidityHz = "# ERROR:  humidity_hz         %d\n";
constexpr const char* kAccelerometerHz = "# ERROR:  accelerometer_hz    %d\n";
constexpr const char* kDalsHz = "# ERROR:  dals_hz             %d\n";
constexpr const char* kGyro = "# ERROR:  gyro                %d\n";
constexpr const char* kMagnetometer = "# ERROR:  magnetometer        %d\n";

constexpr const char* kSerialDiffers =
    "# ERROR: PELG files have different board serial numbers: 0x%04X [%2d] versus 0x%04X [%2d]\n";

std::array<int32_t, 6> coefficients(const BaroCoefficients& b) {
  return {b.C1, b.C2, b.C3, b.C4, b.C5, b.C6};
}

void printHuxSchedule(const HuxInfo& h, Console& console) {
  console.out(kInterruptCount, h.interrupt_count);
  console.out(kMicHz, h.mic_hz);
  console.out(kCompassHz, h.compass_hz);
  console.out(kAmbLightHz, h.amb_light_hz);
  console.out(kBarometerHz, h.barometer_hz);
  console.out(kHumidityHz, h.humidity_hz);
  console.out(kAccelerometerHz, h.accelerometer_hz);
  console.out(kDalsHz, h.dals_hz);
}

void printTivSchedule(const TivInfo& t, Console& console) {
  console.out(kInterruptCount, t.interrupt_count);
  console.out(kGyro, t.gyro);
  console.out(kMagnetometer, t.magnetometer);
}

// Compares file t (> 0) with the first named file; ends the run at the first
// difference with its messages.
void compareWithFirst(const FileHeader& header, const ReferenceHeader& reference,
                      const InputFileInfo& record, const InputFileInfo& first, int t,
                      int32_t tivFileTally, const std::string& name, Console& console) {
  switch (firstDifference(header, reference, record, first, tivFileTally)) {
    case HeaderDifference::none:
      return;
    case HeaderDifference::calibration: {
      const auto referenceBaro = coefficients(reference.baro);
      const auto fileBaro = coefficients(header.baro);
      console.out(kCalibrationDiffers, name.c_str());
      for (int i = 0; i < 6; ++i) console.out(kReferenceBaro[i], referenceBaro[i]);
      console.out(kVersus);
      for (int i = 0; i < 6; ++i) console.out(kFileBaro[i], fileBaro[i]);
      exitRun(console, exit_status::kCalibrationDiffers);
    }
    case HeaderDifference::huxSchedule:
      console.out(kScheduleDiffers, name.c_str());
      printHuxSchedule(reference.hux, console);
      console.out(kVersus);
      printHuxSchedule(header.huxInfo, console);
      exitRun(console, exit_status::kScheduleDiffers);
    case HeaderDifference::tivSchedule:
      console.out(kScheduleDiffers, name.c_str());
      printTivSchedule(reference.tiv, console);
      console.out(kVersus);
      printTivSchedule(header.tivInfo, console);
      exitRun(console, exit_status::kScheduleDiffers);
    case HeaderDifference::huxSerial:
      console.out(kSerialDiffers, static_cast<unsigned>(record.huxBoardNumber), t,
                  static_cast<unsigned>(first.huxBoardNumber), 0);
      exitRun(console, exit_status::kSerialDiffers);
    case HeaderDifference::tivSerial:
      console.out(kSerialDiffers, static_cast<unsigned>(record.tivBoardNumber), t,
                  static_cast<unsigned>(first.tivBoardNumber), 0);
      exitRun(console, exit_status::kSerialDiffers);
  }
}

}  // namespace

void validateInputSequence(const std::vector<std::string>& args,
                           const std::vector<int32_t>& inputArgIndex, const RunOptions& options,
                           std::vector<InputFileInfo>& files, int32_t& tivFileTally,
                           InputFile& file, InputOpener& opener, Console& console) {
  const int count = static_cast<int>(inputArgIndex.size());
  ReferenceHeader reference;
  // The files named so far, by the file each name stands for, with the name.
  std::map<FileIdentity, const std::string*> named;
  for (int t = 0; t < count; ++t) {
    const int32_t fileNumber = inputArgIndex[static_cast<size_t>(t)];
    const std::string& name = args[static_cast<size_t>(fileNumber)];
    InputFileInfo& record = files[static_cast<size_t>(t)];
    FileHeader& header = file.header;

    console.out(kOpenFile, t + 1, name.c_str());
    // A file named twice would be converted twice over, its samples repeated
    // and its times running backwards. Looked up before opening, as opening a
    // FIFO a second time would wait for a writer that never comes.
    if (const auto identity = opener.identify(name)) {
      const auto [earlier, added] = named.emplace(*identity, &name);
      if (!added) {
        console.out(kSameFile, name.c_str(), earlier->second->c_str());
        exitRun(console, exit_status::kSameFile);
      }
    }
    bool carriesTiv = false;
    switch (readInputHeader(file, name, opener, carriesTiv)) {
      case HeaderReadResult::ok:
        break;
      case HeaderReadResult::cannotOpen:
        console.out(kUnableToOpen, name.c_str());
        exitRun(console, exit_status::kCannotOpen);
      case HeaderReadResult::noPelgHeader:
        console.out(kNoPelgHeader);
        exitRun(console, exit_status::kNoPelgHeader);
      case HeaderReadResult::noInfoData:
        console.out(kNoInfoData);
        exitRun(console, exit_status::kNoInfoData);
    }
    if (!advanceTivTally(tivFileTally, carriesTiv)) {
      console.out(kTivAfterNoTiv, name.c_str());
      exitRun(console, exit_status::kTivAfterNoTiv);
    }
    if (carriesTiv) record.hasTiv = 1;
    if (!interruptRatesUsable(header, carriesTiv)) {
      console.out(kBadInterruptRate, name.c_str());
      exitRun(console, exit_status::kBadInterruptRate);
    }
    refuseImplausibleRates(header, carriesTiv, name, console);

    fillInputFileInfo(record, header, fileNumber, tivFileTally);
    if (t == 0) {
      reference = referenceOf(header);
      fillTivBoardInfo(record, header.tivInfo);
    } else if (options.checkHeaders) {
      compareWithFirst(header, reference, record, files[0], t, tivFileTally, name, console);
    }
    closeInput(file);
  }

  if (count > 0) printBoardListing(files[0], reference.baro, console);
  orderByStartTime(files.data(), count, options, console);
}
