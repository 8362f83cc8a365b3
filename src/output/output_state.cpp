#include "output/output_state.h"

#include "output/complete_data_writer.h"
#include "output/data_out_writer.h"
#include "output/parse_state.h"
#include "output/provenance.h"
#include "output/sirf_gps_file.h"
#include "output/wav_writer.h"

namespace {

constexpr const char* kDataDirectory = "# INFO: Data will be written to: '%s'\n";

// Gives the MAT-files their write-behind threads, at most `threads` of them:
// one for both, then completeData one of its own. libhdf5 takes one caller
// at a time, so MAT v7.3 files share one thread.
void assignWriteBehind(ParseState& state, int32_t threads) {
  if (threads < 1 || !(state.dataOutEnabled || state.completeDataEnabled)) return;
  const auto worker = [&state]() {
    state.workers.push_back(std::make_unique<WriteBehind>());
    return state.workers.back().get();
  };
  WriteBehind* mats = worker();
  WriteBehind* completeData = mats;
  const bool hdf5 = state.formats.dataOut == MatVersion::kMat73 || state.formats.completeData == MatVersion::kMat73;
  if (threads >= 2 && !hdf5 && state.dataOutEnabled && state.completeDataEnabled) completeData = worker();
  state.dataOut.file.useWriteBehind(mats);
  state.completeData.file.useWriteBehind(completeData);
}

// Takes the writing back from every thread once each has written what it was
// handed: the outputs close on this thread alone.
void stopWriteBehind(ParseState& state) {
  state.dataOut.file.stopWriteBehind();
  state.completeData.file.stopWriteBehind();
}

}  // namespace

void initParseState(ParseState& state, Console& console) {
  state = ParseState{};
  state.console = &console;
}

bool createOutputs(ParseState& state, const OutputRequest& request, const InputFileInfo* files,
                   int fileCount, const std::vector<std::string>& args, const PassCounters& scan,
                   const CompleteDataPlan* plan) {
  state.alignedCounts = &scan.huxAlignedCounts;
  state.reference = &files[0];
  state.fileCount = fileCount;
  state.programName = args.empty() ? std::string() : args[0];
  state.integerOutput = request.integerOutput;
  state.wavEnabled = request.writeWavFile;
  state.dataOutEnabled = request.writeDataOut;
  state.completeDataEnabled = request.writeCompleteData;
  state.console->out(kDataDirectory, request.outputDir.c_str());

  ProvenanceTexts provenance;
  provenance.createdBy = createdByText();
  provenance.sourceFiles = sourceFilesText(files, fileCount, args);

  OutputSelection selection;
  selection.wav = state.wavEnabled;
  selection.dataOut = state.dataOutEnabled;
  selection.completeData = state.completeDataEnabled;
  selection.forceMat73 = request.forceMat73;
  state.formats = chooseOutputFormats(selection, files[0], scan,
                                      provenance.createdBy.size() + provenance.sourceFiles.size(),
                                      *state.console);

  assignWriteBehind(state, request.writeBehindThreads);
  createWavFile(state, request.outputDir, scan.huxSampleTotals[kHuxAudio], provenance.sourceFiles);
  if (state.dataOutEnabled) createDataOut(state, request.outputDir, scan, provenance);
  if (state.completeDataEnabled) createCompleteData(state, request.outputDir, scan, provenance, plan);
  createSirfGpsFile(state, request.outputDir);
  return true;
}

OutputFile* sirfGpsOutputOf(ParseState& state) {
  return state.sirfOutput.isOpen() ? &state.sirfOutput : nullptr;
}

int writePacketSamples(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                       const HuxSamples& hux, const HuxCalibrationState& calibration,
                       int64_t tivTimeIndex, const TivSamples& tiv) {
  writePacketAudio(state, packetNumber, huxTimeIndex, hux);
  writePacketReadings(state, packetNumber, huxTimeIndex, hux, calibration, tivTimeIndex, tiv);
  return 0;
}

void writePacketAudio(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex, const HuxSamples& hux) {
  appendWavSamples(state, packetNumber, huxTimeIndex, hux);
}

void writePacketReadings(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex, const HuxSamples& hux,
                         const HuxCalibrationState& calibration, int64_t tivTimeIndex, const TivSamples& tiv) {
  appendDataOut(state, packetNumber, huxTimeIndex, hux, calibration, tivTimeIndex, tiv);
  appendCompleteData(state, packetNumber, huxTimeIndex, hux, tivTimeIndex, tiv);
}

void closeOutputs(ParseState& state) {
  stopWriteBehind(state);
  closeWavFile(state);
  closeDataOut(state);
  closeCompleteData(state);
  closeSirfGpsFile(state);
  // Only now, with every output written whole, do they take their names:
  // a failure above leaves the files of an earlier run as they were.
  for (OutputFile* output : {&state.wav.output, &state.sirfOutput}) {
    if (output->isFinished() && !output->commit()) exitOnOutputFailure(*output, *state.console);
  }
  for (MatFile* file : {&state.dataOut.file, &state.completeData.file}) {
    if (file->output().isFinished() && !file->commit()) {
      exitOnOutputFailure(file->output(), *state.console);
    }
  }
}
