#include "output/wav_container.h"

#include <sndfile.h>

bool fitsRiffWav(int64_t frames) {
  if (frames < 0) return true;
  if (static_cast<uint64_t>(frames) > kRiffFileLimit) return false;
  const uint64_t dataBytes = static_cast<uint64_t>(frames) * 2;
  return dataBytes <= kRiffFileLimit - kWavHeaderAllowance;
}

int wavFileFormat(int64_t frames) {
  return (fitsRiffWav(frames) ? SF_FORMAT_WAV : SF_FORMAT_RF64) | SF_FORMAT_PCM_16;
}

bool isRf64Format(int format) { return (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64; }
