#include "output/wav_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <ctime>

#include "common/fatal_error.h"
#include "common/output_file.h"
#include "output/provenance.h"
#include "output/wav_container.h"

namespace {

constexpr const char* kNoAudio = "# WARNING: No audio samples found, disabling .wav file writing\n";
constexpr const char* kOpening = "# INFO: Opening .wav file:             '%s'\n";
constexpr const char* kOpenFailed = "# ERROR: Unable to open the .wav file %s\n";
constexpr const char* kLibraryReason = "# ERROR:  libsndfile: %s\n";
constexpr const char* kFilling =
    "# WARNING: Packet %6d, WAV, Filling %3" PRId64 " missing samples at pos %7" PRId64 "\n";
constexpr const char* kAhead = "# ERROR: WAV, Current audio data exceeds expected amount, expected %" PRId64
                               " recieved %" PRId64 "\n";
constexpr const char* kShortWrite =
    "# WARNING: WAV, Error writing %3d samples at pos %7" PRId64 ", %" PRId64 " written\n";
constexpr const char* kClosing = "# INFO: Closing completeSensorAudio.wav\n";
constexpr const char* kCommentShortened =
    "# WARNING: WAV, comment holds the first %d of %d source file lines\n";

// libsndfile builds the WAV header in memory and refuses a header above about
// 50 KB, which loses the whole file; the comment is kept within this size.
constexpr size_t kCommentLimit = 48 * 1024;

constexpr const char* kTitle = "HUX2 Sensor audio file";
constexpr const char* kFileName = "completeSensorAudio.wav";

// The file's format: mono 16-bit PCM at the microphone rate in hertz, in the
// container chosen for its length (WAV, or RF64 where a WAV cannot hold it).
SF_INFO wavFormat(const InputFileInfo& reference, int container) {
  SF_INFO format{};
  format.samplerate = reference.huxChannelRates[kHuxAudio] / 10;
  format.channels = 1;
  format.format = container;
  return format;
}

[[noreturn]] void failWrite(ParseState& state, int error, Console& console) {
  state.wav.output.fail(error);
  exitOnOutputFailure(state.wav.output, console);
}

// Writes count samples; returns the count written, with errno as the write
// left it.
sf_count_t writeSamples(ParseState& state, const int16_t* samples, sf_count_t count) {
  errno = 0;
  return count > 0 ? sf_write_short(state.wav.file.get(), samples, count) : 0;
}

// Writes count samples from block and asks the disk to start writing every
// kWavWritebackSamples. A write that falls short (a full disk) ends the run:
// the file could only hold a shorter recording than the time line says.
void writeBlock(ParseState& state, const int16_t* block, sf_count_t count, Console& console) {
  WavWriter& wav = state.wav;
  const sf_count_t written = writeSamples(state, block, count);
  if (written < count) failWrite(state, errno, console);
  wav.samplesSinceWriteback += count;
  if (wav.samplesSinceWriteback >= kWavWritebackSamples) {
    wav.samplesSinceWriteback = 0;
    if (!wav.output.startWriteback()) exitOnOutputFailure(wav.output, console);
  }
}

// Writes the buffered samples, or hands them to the sink, and empties the
// buffer.
void flushBuffer(ParseState& state) {
  WavWriter& wav = state.wav;
  const int32_t count = wav.bufferFill;
  wav.bufferFill = 0;
  if (wav.sink) {
    if (count > 0) wav.sink->writeBlock(wav.buffer.data(), count);
    return;
  }
  writeBlock(state, wav.buffer.data(), count, *wav.console);
}

// After closing: the header that libsndfile rewrote must announce every
// sample accounted for; a header that could not be rewritten would not.
void verifyHeader(ParseState& state, int closeError) {
  OutputFile& output = state.wav.output;
  if (output.failed()) return;
  SF_INFO read{};
  SNDFILE* check = nullptr;
  if (lseek(output.descriptor(), 0, SEEK_SET) == 0) {
    check = sf_open_fd(output.descriptor(), SFM_READ, &read, SF_FALSE);
  }
  const bool complete = check && read.frames == state.wav.position;
  if (check) sf_close(check);
  if (!complete) output.fail(closeError);
}

// The local time of creation as asctime renders it (with its line feed).
std::string creationDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64] = {};
  asctime_r(&local, text);
  return text;
}

// The source list as the file's comment: whole, or its leading whole lines
// when it would not fit into the header.
std::string commentText(const std::string& sourceFiles, Console& console) {
  if (sourceFiles.size() <= kCommentLimit) return sourceFiles;
  const size_t cut = sourceFiles.rfind('\n', kCommentLimit - 1);
  const size_t kept = cut == std::string::npos ? 0 : cut + 1;
  const auto lines = [](const std::string& text, size_t end) {
    return static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(end), '\n'));
  };
  console.out(kCommentShortened, lines(sourceFiles, kept), lines(sourceFiles, sourceFiles.size()));
  return sourceFiles.substr(0, kept);
}

}  // namespace

void createWavFile(ParseState& state, const std::string& outputDir, int64_t audioSampleTotal,
                   const std::string& sourceFiles) {
  Console& console = *state.console;
  state.wav.console = state.console;
  if (audioSampleTotal == 0 && state.wavEnabled) {
    console.out(kNoAudio);
    state.wavEnabled = false;
  }
  if (!state.wavEnabled) return;

  state.wav.format = wavFormat(*state.reference, state.formats.wavFormat);
  state.wav.path = outputDir + kFileName;
  console.out(kOpening, state.wav.path.c_str());
  if (!state.wav.output.create(state.wav.path)) {
    console.out(kOpenFailed, state.wav.path.c_str());
    exitOnOutputFailure(state.wav.output, console);
  }
  // Through the descriptor: libsndfile's own open refuses paths longer than
  // its name buffer, far below what the system accepts.
  errno = 0;
  state.wav.file.reset(sf_open_fd(state.wav.output.descriptor(), SFM_WRITE, &state.wav.format, SF_FALSE));
  if (!state.wav.file) {
    // libsndfile writes the header at once: a full disk already shows here.
    const int error = errno;
    char reason[1024] = {};
    sf_error_str(nullptr, reason, sizeof reason);
    console.out(kOpenFailed, state.wav.path.c_str());
    console.out(kLibraryReason, reason);
    failWrite(state, error, console);
  }

  SNDFILE* file = state.wav.file.get();
  // RF64 is chosen from the scan's count; should the file end within the RIFF
  // limit after all, libsndfile writes it as a RIFF WAV.
  if (isRf64Format(state.wav.format.format)) sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  sf_set_string(file, SF_STR_TITLE, kTitle);
  sf_set_string(file, SF_STR_SOFTWARE, createdByText().c_str());
  sf_set_string(file, SF_STR_DATE, creationDate().c_str());
  sf_set_string(file, SF_STR_COMMENT, commentText(sourceFiles, console).c_str());
}

void appendWavSamples(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                      const HuxSamples& hux) {
  const int32_t n = hux.counts[kHuxAudio];
  if (!state.wavEnabled || !state.wav.file || n < 1) return;
  Console& console = *state.wav.console;
  const InputFileInfo& reference = *state.reference;

  // Samples a gap-free stream holds up to and including interrupt t.
  const double expected = static_cast<double>(reference.huxChannelRates[kHuxAudio]) /
                          static_cast<double>(reference.huxInterruptRate) *
                          (static_cast<double>(huxTimeIndex) + 1.0);
  const auto shortfall = [&] { return expected - (static_cast<double>(state.wav.position) + n); };

  // An endless expectation (interrupt rate 0) is not filled towards.
  if (std::isfinite(expected) && shortfall() >= 2.0) {
    console.out(kFilling, packetNumber, static_cast<int64_t>(shortfall()), state.wav.position);
    while (shortfall() >= 2.0) {
      if (state.wav.bufferFill >= kWavFlushThreshold) flushBuffer(state);
      state.wav.buffer[state.wav.bufferFill++] = 0;
      ++state.wav.position;
    }
  }
  if (state.wav.position > expected) {
    console.out(kAhead, static_cast<int64_t>(expected), state.wav.position);
  }

  if (state.wav.bufferFill + n > kWavFlushThreshold) flushBuffer(state);
  if (n > kWavBufferSize) {
    // Written at once, after what the buffer held (a sink writes it first).
    if (state.wav.sink) {
      state.wav.sink->writeBlock(hux.values16[kHuxAudio].data(), n);
    } else {
      const sf_count_t written = writeSamples(state, hux.values16[kHuxAudio].data(), n);
      if (written < n) {
        const int error = errno;
        console.out(kShortWrite, n, state.wav.position, static_cast<int64_t>(written));
        failWrite(state, error, console);
      }
    }
  } else {
    std::copy_n(hux.values16[kHuxAudio].data(), n, state.wav.buffer.data() + state.wav.bufferFill);
    state.wav.bufferFill += n;
  }
  state.wav.position += n;
}

void writeWavBlock(ParseState& state, const int16_t* samples, int32_t count, Console& console) {
  writeBlock(state, samples, count, console);
}

void closeWavFile(ParseState& state) {
  if (!state.wav.file) return;
  Console& console = *state.wav.console;
  console.out(kClosing);
  flushBuffer(state);
  const bool libraryFailed = sf_error(state.wav.file.get()) != SF_ERR_NO_ERROR;
  errno = 0;
  const bool closeFailed = sf_close(state.wav.file.release()) != 0;
  const int closeError = errno;
  if (libraryFailed || closeFailed) state.wav.output.fail(closeError);
  verifyHeader(state, closeError);
  if (!state.wav.output.finish()) exitOnOutputFailure(state.wav.output, console);
}
