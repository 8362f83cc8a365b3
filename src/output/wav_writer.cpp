#include "output/wav_writer.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <ctime>

#include "common/fatal_error.h"
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

// Writes the buffered samples and empties the buffer; returns the count written.
sf_count_t flushBuffer(ParseState& state) {
  const sf_count_t written =
      sf_write_short(state.wavFile.get(), state.wavBuffer.data(), state.wavBufferFill);
  state.wavBufferFill = 0;
  return written;
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
  if (audioSampleTotal == 0 && state.wavEnabled) {
    console.out(kNoAudio);
    state.wavEnabled = false;
  }
  if (!state.wavEnabled) return;

  state.wavFormat = SF_INFO{};
  state.wavFormat.samplerate = state.reference->huxChannelRates[kHuxAudio] / 10;
  state.wavFormat.channels = 1;
  state.wavFormat.format = state.formats.wavFormat;
  state.wavPath = outputDir + "completeSensorAudio.wav";
  console.out(kOpening, state.wavPath.c_str());
  state.wavFile.reset(sf_open(state.wavPath.c_str(), SFM_WRITE, &state.wavFormat));
  if (!state.wavFile) {
    char reason[1024] = {};
    sf_error_str(nullptr, reason, sizeof reason);
    console.out(kOpenFailed, state.wavPath.c_str());
    console.out(kLibraryReason, reason);
    exitRun(console, -8);
  }

  SNDFILE* file = state.wavFile.get();
  // RF64 is chosen from the scan's count; should the file end within the RIFF
  // limit after all, libsndfile writes it as a RIFF WAV.
  if (isRf64Format(state.wavFormat.format)) sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  sf_set_string(file, SF_STR_TITLE, kTitle);
  sf_set_string(file, SF_STR_SOFTWARE, createdByText().c_str());
  sf_set_string(file, SF_STR_DATE, creationDate().c_str());
  sf_set_string(file, SF_STR_COMMENT, commentText(sourceFiles, console).c_str());
}

void appendWavSamples(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                      const HuxSamples& hux) {
  const int32_t n = hux.counts[kHuxAudio];
  if (!state.wavEnabled || !state.wavFile || n < 1) return;
  Console& console = *state.console;
  const InputFileInfo& reference = *state.reference;

  // Samples a gap-free stream holds up to and including interrupt t.
  const double expected = static_cast<double>(reference.huxChannelRates[kHuxAudio]) /
                          static_cast<double>(reference.huxInterruptRate) *
                          (static_cast<double>(huxTimeIndex) + 1.0);
  const auto shortfall = [&] { return expected - (static_cast<double>(state.wavPosition) + n); };

  // An endless expectation (interrupt rate 0) is not filled towards.
  if (std::isfinite(expected) && shortfall() >= 2.0) {
    console.out(kFilling, packetNumber, static_cast<int64_t>(shortfall()), state.wavPosition);
    while (shortfall() >= 2.0) {
      if (state.wavBufferFill >= kWavFlushThreshold) flushBuffer(state);
      state.wavBuffer[state.wavBufferFill++] = 0;
      ++state.wavPosition;
    }
  }
  if (state.wavPosition > expected) {
    console.out(kAhead, static_cast<int64_t>(expected), state.wavPosition);
  }

  sf_count_t written = n;
  if (state.wavBufferFill + n > kWavFlushThreshold) flushBuffer(state);
  if (n > kWavBufferSize) {
    written = sf_write_short(state.wavFile.get(), hux.values16[kHuxAudio].data(), n);
  } else {
    std::copy_n(hux.values16[kHuxAudio].data(), n, state.wavBuffer.data() + state.wavBufferFill);
    state.wavBufferFill += n;
  }
  if (written < n) {
    console.out(kShortWrite, n, state.wavPosition, static_cast<int64_t>(written));
  }
  state.wavPosition += n;
}

void closeWavFile(ParseState& state) {
  if (!state.wavFile) return;
  state.console->out(kClosing);
  flushBuffer(state);
  state.wavFile.reset();
}
