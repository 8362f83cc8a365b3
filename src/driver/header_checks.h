// The checks that decide whether PELG files belong to one recording, on their
// own: reading a file's header and board information, filling its
// InputFileInfo record, and finding the first way in which it differs from
// the recording's first file. Sequence validation turns the results into its
// messages and statuses; pelginfo uses the same checks to group files into
// recordings.
#pragma once

#include <cstdint>
#include <string>

#include "common/input_file_info.h"
#include "input/file_header.h"
#include "input/input_file.h"

// The first named file's values that every later file must repeat.
struct ReferenceHeader {
  BaroCoefficients baro;
  HuxInfo hux;  // the schedule words interrupt_count .. power are compared
  TivInfo tiv;  // interrupt_count, gyro, magnetometer and power are compared
};

enum class HeaderReadResult { ok, cannotOpen, noPelgHeader, noInfoData };

// Opens `name` into file and reads its header and HUX information; on ok,
// carriesTiv tells whether the file has TIV information. The stream stays
// open (at the first packet) until closeInput.
HeaderReadResult readInputHeader(InputFile& file, const std::string& name, InputOpener& opener,
                                 bool& carriesTiv);

// Every time line divides by the interrupt rates: false when the HUX rate, or
// the TIV rate of a file that carries TIV data, is not positive.
bool interruptRatesUsable(const FileHeader& header, bool carriesTiv);

// Copies what a file's header says into its record. The TIV rates are filled
// only while tivFileTally (counting this file) is 1 or more.
void fillInputFileInfo(InputFileInfo& record, const FileHeader& header, int32_t fileNumber,
                       int32_t tivFileTally);

// The reference values of a recording's first file, and the TIV board words
// that only the first file's record keeps.
ReferenceHeader referenceOf(const FileHeader& header);
void fillTivBoardInfo(InputFileInfo& record, const TivInfo& tiv);

// The comparisons with the first file, in the order they are made.
enum class HeaderDifference { none, calibration, huxSchedule, tivSchedule, huxSerial, tivSerial };

// The first difference of a later file (header, record) from the first file
// (reference, first); the TIV comparisons count only while tivFileTally,
// counting this file, is above 0.
HeaderDifference firstDifference(const FileHeader& header, const ReferenceHeader& reference,
                                 const InputFileInfo& record, const InputFileInfo& first,
                                 int32_t tivFileTally);

// The tally of leading files with TIV data after one more file: -1 once a file
// without it was read. False (tally unchanged) for TIV data after a file
// without it, which no recording may hold.
bool advanceTivTally(int32_t& tivFileTally, bool carriesTiv);
