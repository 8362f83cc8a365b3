// The container of completeSensorAudio.wav. A RIFF WAV counts its bytes in
// 32 bits, so it ends at 4 GiB: about 2^31 mono 16-bit samples, 74.6 hours at
// 8 kHz. Audio beyond that goes into RF64, the EBU's WAV with 64-bit sizes,
// which libsndfile writes and soundfile, sox and libsndfile read. Audio that
// fits keeps the plain RIFF WAV.
#pragma once

#include <cstdint>

// Room kept below the RIFF limit for the header and its strings (libsndfile
// keeps the header under 64 KB) and for a write pass that fills a few more
// samples than the scan pass counted.
inline constexpr uint64_t kWavHeaderAllowance = uint64_t{1} << 20;

// The largest file a RIFF WAV describes: its chunk size (file size - 8) is a
// 32-bit count.
inline constexpr uint64_t kRiffFileLimit = uint64_t{0xFFFFFFFF} + 8;

// True when a mono 16-bit recording of frames samples fits a RIFF WAV.
bool fitsRiffWav(int64_t frames);

// The libsndfile format for the file: SF_FORMAT_WAV | SF_FORMAT_PCM_16 when
// the frames fit a RIFF WAV, SF_FORMAT_RF64 | SF_FORMAT_PCM_16 otherwise.
int wavFileFormat(int64_t frames);

// True for the RF64 format of wavFileFormat.
bool isRf64Format(int format);
