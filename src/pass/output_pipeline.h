// The write pass's hand-over to the outputs on a thread of their own: the
// pass reads, screens, decodes and places the packets, and the thread writes
// the WAV file's blocks and fills dataOut and completeData from what it hands
// over, so that both run at once on two cores.
//
// Contract: the pass appends, in its order, records into chunks of a fixed
// pool (taken at construction; appending allocates nothing and waits while
// every chunk is full): each timed packet's readings as the MAT writers read
// them (per channel but audio its count and first reading in both forms, and
// the high-frequency light gain; a packet of audio alone, and every packet
// when no MAT-file is written, is left out), each
// block of samples the WAV writer buffered (as its sink), and every console
// line the pass and the WAV writer print, as a forwarding console
// (ConsoleForward) formats it. The thread writes the blocks
// (writeWavBlock), hands the packets to writePacketReadings and prints the
// lines through the run's console, in that one order, among the writers' own
// lines: the outputs get the same calls and the console the same lines in the
// same order as in a serial pass. A failure on the thread (a short write of
// the WAV file, a fatal condition of the writers) stops it at its record, and
// what follows is dropped, as a serial run never got there; the pass learns
// of it when it hands over its next chunk, and finish() rethrows it.
// finish() hands over what is left, waits for the thread and rethrows its
// failure; the destructor of a pipeline not finished drops what is queued
// and joins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <thread>

#include "common/chunk_queue.h"
#include "common/console.h"
#include "decoders/hux2_decoder.h"
#include "decoders/sample_buffers.h"
#include "output/parse_state.h"

class OutputPipeline : public ConsoleForward, public WavBlockSink {
 public:
  // state: the outputs, created; console: where the lines are printed.
  OutputPipeline(ParseState& state, Console& console);
  ~OutputPipeline() override;
  OutputPipeline(const OutputPipeline&) = delete;
  OutputPipeline& operator=(const OutputPipeline&) = delete;

  // One timed packet, as writePacketReadings takes it.
  void packet(int32_t packetNumber, int64_t huxTimeIndex, const HuxSamples& hux,
              const HuxCalibrationState& calibration, int64_t tivTimeIndex, const TivSamples& tiv);
  void forwardLine(bool toErr, const char* format, const char* text, size_t length) override;
  // A block of the WAV file's samples, written by the thread in its place.
  void writeBlock(const int16_t* samples, int32_t count) override;
  // Hands over the last records, waits until the thread has done them all,
  // and rethrows a failure it met.
  void finish();

 private:
  void work();
  void play(const ChunkQueue::Chunk& chunk);

  ParseState& state_;
  Console& console_;
  const bool readingsWanted_;  // a MAT-file is written: it takes the packets' readings
  ChunkQueue queue_;
  std::exception_ptr failure_;  // what stopped the thread; read after it ended
  std::thread thread_;

  // The thread's own sample buffers, which the records are laid back into.
  HuxSamples hux_;
  TivSamples tiv_;
  HuxCalibrationState calibration_;
};
