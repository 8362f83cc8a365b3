// completeSensorAudio.wav: the microphone stream of the whole sequence as one
// mono 16-bit PCM recording at the microphone rate, on the uniform time base.
// Gaps before an audio packet are filled with silence; samples are collected
// in a fixed buffer and written in blocks.
#pragma once

#include <cstdint>
#include <string>

#include "decoders/sample_buffers.h"
#include "output/parse_state.h"

// Opens the file (under its temporary name, see OutputFile) and stores its
// strings, unless WAV writing is disabled or the scan pass found no audio
// (then it is disabled with a warning). Needs state.reference set. Throws
// FatalError(-8) when the file cannot be opened.
void createWavFile(ParseState& state, const std::string& outputDir, int64_t audioSampleTotal,
                   const std::string& sourceFiles);

// Appends the packet's audio samples (integer form), after filling the gap
// before them with zeros. Nothing happens for a packet without audio. A write
// that falls short ends the run with FatalError(-8).
void appendWavSamples(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                      const HuxSamples& hux);

// Writes count samples that the writer handed to its sink, on the thread
// that writes them; a write that falls short ends the run with
// FatalError(-8), its lines on console.
void writeWavBlock(ParseState& state, const int16_t* samples, int32_t count, Console& console);

// Writes what the buffer holds and closes the file, when one is open; checks
// that its header announces every sample and syncs it to disk. The file is
// moved into place by commitOutputs. Throws FatalError(-8) on any failure.
void closeWavFile(ParseState& state);
