#include "output/output_catalogue.h"

#include "common/channels.h"

const std::array<DataOutEntry, kDataOutChannels> kDataOutCatalogue = {{
    {"accelX", Board::kHux, kHuxXAccel, kHuxXAccel, true},
    {"accelY", Board::kHux, kHuxYAccel, kHuxYAccel, false},
    {"accelZ", Board::kHux, kHuxZAccel, kHuxZAccel, false},
    {"compass", Board::kHux, kHuxCompass, kHuxCompass, true},
    {"visFreqLightGain", Board::kHux, -1, kHuxHfVisLight, false},
    {"visFreqLight", Board::kHux, kHuxHfVisLight, kHuxHfVisLight, true},
    {"VisLight", Board::kHux, kHuxVisLight, kHuxVisLight, true},
    {"IRLight", Board::kHux, kHuxIrLight, kHuxIrLight, true},
    {"AmbientLight", Board::kHux, kHuxAmbLight, kHuxAmbLight, true},
    {"BarTemp", Board::kHux, kHuxTemp, kHuxTemp, true},
    {"BarPres", Board::kHux, kHuxBarPress, kHuxBarPress, true},
    {"ShtTemp", Board::kHux, kHuxTempSensiron, kHuxTempSensiron, true},
    {"ShtHumid", Board::kHux, kHuxHumidity, kHuxHumidity, true},
    {"gyroX", Board::kTiv, kTivXGyro, kTivXGyro, true},
    {"gyroY", Board::kTiv, kTivYGyro, kTivYGyro, false},
    {"gyroZ", Board::kTiv, kTivZGyro, kTivZGyro, false},
    {"gyroTempX", Board::kTiv, kTivXGyroTemp, kTivXGyroTemp, false},
    {"gyroTempY", Board::kTiv, kTivYGyroTemp, kTivYGyroTemp, false},
    {"gyroTempZ", Board::kTiv, kTivZGyroTemp, kTivZGyroTemp, false},
    {"magX", Board::kTiv, kTivXMag, kTivXMag, true},
    {"magY", Board::kTiv, kTivYMag, kTivYMag, true},
    {"magZ", Board::kTiv, kTivZMag, kTivZMag, true},
}};

const std::array<CompleteDataEntry, kCompleteDataChannels> kCompleteDataCatalogue = {{
    {"accel", Board::kHux, kHuxXAccel, -1, 0, 3},
    {"visFreqLight", Board::kHux, kHuxHfVisLight, -1, 0, 1},
    {"compass", Board::kHux, kHuxCompass, -1, 0, 1},
    {"VisLight", Board::kHux, kHuxVisLight, -1, 0, 1},
    {"IRLight", Board::kHux, kHuxIrLight, -1, 0, 1},
    {"AmbientLight", Board::kHux, kHuxAmbLight, -1, 0, 1},
    {"BarPres", Board::kHux, kHuxBarPress, -1, 0, 1},
    {"BarTemp", Board::kHux, kHuxTemp, -1, 0, 1},
    {"ShtHumid", Board::kHux, kHuxHumidity, -1, 0, 1},
    {"ShtTemp", Board::kHux, kHuxTempSensiron, -1, 0, 1},
    {"accelY", Board::kHux, kHuxYAccel, 0, 1, 1},
    {"accelZ", Board::kHux, kHuxZAccel, 0, 2, 1},
    {"gyro", Board::kTiv, kTivXGyro, -1, 0, 3},
    {"gyroTemp", Board::kTiv, kTivXGyroTemp, -1, 0, 3},
    {"mag", Board::kTiv, kTivXMag, -1, 0, 3},
    {"gyroY", Board::kTiv, kTivYGyro, 12, 1, 1},
    {"gyroZ", Board::kTiv, kTivZGyro, 12, 2, 1},
    {"gyroTempY", Board::kTiv, kTivYGyroTemp, 13, 1, 1},
    {"gyroTempZ", Board::kTiv, kTivZGyroTemp, 13, 2, 1},
    {"magY", Board::kTiv, kTivYMag, 14, 1, 1},
    {"magZ", Board::kTiv, kTivZMag, 14, 2, 1},
}};

const std::array<int32_t, kCompleteDataHuxChannels> kCompleteDataHuxCreation = {
    0, 10, 11, 1, 2, 3, 4, 5, 6, 7, 8, 9};

const std::array<int32_t, kCompleteDataChannels - kCompleteDataHuxChannels>
    kCompleteDataTivCreation = {12, 15, 16, 13, 17, 18, 14, 19, 20};
