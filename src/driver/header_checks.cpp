#include "driver/header_checks.h"

HeaderReadResult readInputHeader(InputFile& file, const std::string& name, InputOpener& opener,
                                 bool& carriesTiv) {
  carriesTiv = false;
  if (!opener.open(file, name)) return HeaderReadResult::cannotOpen;
  if (!readHeader(file.header, file.stream)) return HeaderReadResult::noPelgHeader;
  if (!extractHuxInfo(file.header)) return HeaderReadResult::noInfoData;
  carriesTiv = extractTivInfo(file.header);
  return HeaderReadResult::ok;
}

bool interruptRatesUsable(const FileHeader& header, bool carriesTiv) {
  return header.huxInfo.interrupt_count > 0 && (!carriesTiv || header.tivInfo.interrupt_count > 0);
}

void fillInputFileInfo(InputFileInfo& record, const FileHeader& header, int32_t fileNumber,
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
  // The schedule gives the microphone rate in hertz; validation keeps it at
  // most kMaxMicrophoneRate, so the tenths fit (computed in 64 bits for any
  // other caller).
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

ReferenceHeader referenceOf(const FileHeader& header) {
  ReferenceHeader reference;
  reference.baro = header.baro;
  reference.hux = header.huxInfo;
  reference.tiv = header.tivInfo;
  return reference;
}

void fillTivBoardInfo(InputFileInfo& record, const TivInfo& tiv) {
  record.tivBoardInfo = {tiv.boardNumber, tiv.hardwareVersion, tiv.majorVersion, tiv.minorVersion,
                         tiv.word1,       tiv.word2,           tiv.word3,        tiv.word4};
}

namespace {

bool sameCalibration(const BaroCoefficients& a, const BaroCoefficients& b) {
  return a.C1 == b.C1 && a.C2 == b.C2 && a.C3 == b.C3 && a.C4 == b.C4 && a.C5 == b.C5 &&
         a.C6 == b.C6;
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

}  // namespace

HeaderDifference firstDifference(const FileHeader& header, const ReferenceHeader& reference,
                                 const InputFileInfo& record, const InputFileInfo& first,
                                 int32_t tivFileTally) {
  if (!sameCalibration(header.baro, reference.baro)) return HeaderDifference::calibration;
  if (!sameHuxSchedule(header.huxInfo, reference.hux)) return HeaderDifference::huxSchedule;
  if (tivFileTally > 0 && !sameTivSchedule(header.tivInfo, reference.tiv))
    return HeaderDifference::tivSchedule;
  if (record.huxBoardNumber != first.huxBoardNumber) return HeaderDifference::huxSerial;
  if (tivFileTally > 0 && record.tivBoardNumber != first.tivBoardNumber)
    return HeaderDifference::tivSerial;
  return HeaderDifference::none;
}

bool advanceTivTally(int32_t& tivFileTally, bool carriesTiv) {
  if (!carriesTiv) {
    tivFileTally = -1;
    return true;
  }
  if (tivFileTally == -1) return false;
  ++tivFileTally;
  return true;
}
