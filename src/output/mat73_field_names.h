// Field names in MAT v7.3 files. A v7.3 file is an HDF5 file in which every
// struct field is an HDF5 object named after the field, and an HDF5 name
// cannot hold "/" (it separates the parts of a path). The schedule fields of
// dataOut, named after the sensor sources ("hux/audio", "tiv/x_gyro", ...),
// are therefore spelt with "_" in a v7.3 file ("hux_audio", "tiv_x_gyro");
// every other name, and every name in a MAT v5 file, stays as it is.
#pragma once

#include <string>

#include "output/mat_file.h"

// The name under which a field called name is stored in a file of version.
std::string matFieldName(const char* name, MatVersion version);
