#include "driver/sequence_validation.h"

#include <array>
#include <map>

#include "common/fatal_error.h"
#include "driver/board_listing.h"
#include "driver/driver_status.h"
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

bool sameHuxSchedule(const HuxInfo& a, const HuxInfo& b) {
  return a.interrupt_count == b.interrupt_count && a.mic_hz == b.mic_hz &&
         a.accelerometer_hz == b.accelerometer_hz && a.amb_light_hz == b.amb_light_hz &&
         a.barometer_hz == b.barometer_hz && a.compass_hz == b.compass_hz &&
         a.dals_hz == b.dals_hz && a.humidity_hz == b.humidity_hz && a.power == b.power;
}

bool sameTivSchedule(const TivInfo& a, const TivInfo& b) {
  return a.interrupt_count == b.interrupt_count && a.gyro == b.gyro &&
         a.magnetometer == b.magnetometer && a.power == b.power;
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

// Copies what validation learns from one file's header into its record.
void fillRecord(InputFileInfo& record, const FileHeader& header, int32_t fileNumber,
                int32_t tivFileTally) {
  const HuxInfo& hux = header.huxInfo;
  const TivInfo& tiv = header.tivInfo;
  const BaroCoefficients& baro = header.baro;
  record.startTime = header.startTime;
  record.fileNumber = fileNumber;
  record.huxBoardNumber = hux.boardNumber;
  record.tivBoardNumber = tiv.boardNumber;
  record.huxInterruptRate = hux.interrupt_count;

  HuxRates& rates = record.huxChannelRates;
  // The schedule gives the microphone rate in hertz; validated to at most
  // kMaxMicrophoneRate, so the tenths fit.
  rates[kHuxAudio] = static_cast<int32_t>(int64_t{hux.mic_hz} * 10);
  rates[kHuxBarPress] = hux.barometer_hz;
  rates[kHuxCompass] = hux.compass_hz;
  rates[kHuxHfVisLight] = hux.amb_light_hz;
  rates[kHuxHumidity] = hux.humidity_hz;
  rates[kHuxIrLight] = hux.dals_hz;
  rates[kHuxAmbLight] = hux.dals_hz;
  rates[kHuxTemp] = hux.barometer_hz;
  rates[kHuxTempSensiron] = hux.humidity_hz;
  rates[kHuxVisLight] = hux.dals_hz;
  rates[kHuxXAccel] = hux.accelerometer_hz;
  rates[kHuxYAccel] = hux.accelerometer_hz;
  rates[kHuxZAccel] = hux.accelerometer_hz;
  rates[kHuxMagAccel] = hux.accelerometer_hz;

  record.huxBoardInfo = {hux.boardNumber, hux.hardwareVersion, hux.majorVersion, hux.minorVersion,
                         hux.word1,       hux.word2,           hux.word3,        hux.word4,
                         baro.C1,         baro.C2,             baro.C3,          baro.C4,
                         baro.C5,         baro.C6,             0 /* micGain: no header entry */};

  if (tivFileTally >= 1) {
    record.tivInterruptRate = tiv.interrupt_count;
    TivRates& tivRates = record.tivChannelRates;
    for (int c = kTivXGyro; c <= kTivZGyroTemp; ++c) tivRates[c] = tiv.gyro;
    for (int c = kTivXMag; c <= kTivZMag; ++c) tivRates[c] = tiv.magnetometer;
  }
}

// Compares file t (> 0) with the first named file; ends the run at the first
// difference.
void compareWithFirst(const FileHeader& header, const ReferenceHeader& reference,
                      const InputFileInfo& record, const InputFileInfo& first, int t,
                      int32_t tivFileTally, const std::string& name, Console& console) {
  const auto referenceBaro = coefficients(reference.baro);
  const auto fileBaro = coefficients(header.baro);
  if (fileBaro != referenceBaro) {
    console.out(kCalibrationDiffers, name.c_str());
    for (int i = 0; i < 6; ++i) console.out(kReferenceBaro[i], referenceBaro[i]);
    console.out(kVersus);
    for (int i = 0; i < 6; ++i) console.out(kFileBaro[i], fileBaro[i]);
    exitRun(console, driver_status::kCalibrationDiffers);
  }
  if (!sameHuxSchedule(header.huxInfo, reference.hux)) {
    console.out(kScheduleDiffers, name.c_str());
    printHuxSchedule(reference.hux, console);
    console.out(kVersus);
    printHuxSchedule(header.huxInfo, console);
    exitRun(console, driver_status::kScheduleDiffers);
  }
  if (tivFileTally > 0 && !sameTivSchedule(header.tivInfo, reference.tiv)) {
    console.out(kScheduleDiffers, name.c_str());
    printTivSchedule(reference.tiv, console);
    console.out(kVersus);
    printTivSchedule(header.tivInfo, console);
    exitRun(console, driver_status::kScheduleDiffers);
  }
  const auto differentSerial = [&](int32_t mine, int32_t firsts) {
    if (mine == firsts) return;
    console.out(kSerialDiffers, static_cast<unsigned>(mine), t, static_cast<unsigned>(firsts), 0);
    exitRun(console, driver_status::kSerialDiffers);
  };
  differentSerial(record.huxBoardNumber, first.huxBoardNumber);
  if (tivFileTally > 0) differentSerial(record.tivBoardNumber, first.tivBoardNumber);
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
        exitRun(console, driver_status::kSameFile);
      }
    }
    if (!opener.open(file, name)) {
      console.out(kUnableToOpen, name.c_str());
      exitRun(console, driver_status::kCannotOpen);
    }
    if (!readHeader(header, file.stream)) {
      console.out(kNoPelgHeader);
      exitRun(console, driver_status::kNoPelgHeader);
    }
    if (!extractHuxInfo(header)) {
      console.out(kNoInfoData);
      exitRun(console, driver_status::kNoInfoData);
    }
    const bool carriesTiv = extractTivInfo(header);
    if (carriesTiv) {
      if (tivFileTally == -1) {
        console.out(kTivAfterNoTiv, name.c_str());
        exitRun(console, driver_status::kTivAfterNoTiv);
      }
      ++tivFileTally;
      record.hasTiv = 1;
    } else {
      tivFileTally = -1;
    }
    // Every time line divides by the interrupt rates.
    if (header.huxInfo.interrupt_count <= 0 || (carriesTiv && header.tivInfo.interrupt_count <= 0)) {
      console.out(kBadInterruptRate, name.c_str());
      exitRun(console, driver_status::kBadInterruptRate);
    }
    refuseImplausibleRates(header, carriesTiv, name, console);

    fillRecord(record, header, fileNumber, tivFileTally);
    if (t == 0) {
      reference.baro = header.baro;
      reference.hux = header.huxInfo;
      reference.tiv = header.tivInfo;
      const TivInfo& tiv = header.tivInfo;
      record.tivBoardInfo = {tiv.boardNumber, tiv.hardwareVersion, tiv.majorVersion, tiv.minorVersion,
                             tiv.word1,       tiv.word2,           tiv.word3,        tiv.word4};
    } else if (options.checkHeaders) {
      compareWithFirst(header, reference, record, files[0], t, tivFileTally, name, console);
    }
    closeInput(file);
  }

  if (count > 0) printBoardListing(files[0], reference.baro, console);
  orderByStartTime(files.data(), count, options, console);
}
