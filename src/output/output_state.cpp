#include "output/output_state.h"

#include <exception>
#include <thread>

#include "common/early_writeback.h"
#include "common/held_console.h"
#include "output/complete_data_writer.h"
#include "output/data_out_writer.h"
#include "output/parse_state.h"
#include "output/provenance.h"
#include "output/sirf_gps_file.h"
#include "output/wav_writer.h"

namespace {

constexpr const char* kDataDirectory = "# INFO: Data will be written to: '%s'\n";

}  // namespace

void initParseState(ParseState& state, Console& console) {
  state = ParseState{};
  state.console = &console;
}

bool createOutputs(ParseState& state, const OutputRequest& request, const InputFileInfo* files,
                   int fileCount, const std::vector<std::string>& args, const PassCounters& scan) {
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

  createWavFile(state, request.outputDir, scan.huxSampleTotals[kHuxAudio], provenance.sourceFiles);
  if (state.dataOutEnabled) createDataOut(state, request.outputDir, scan, provenance);
  if (state.completeDataEnabled) createCompleteData(state, request.outputDir, scan, provenance);
  createSirfGpsFile(state, request.outputDir);
  return true;
}

OutputFile* sirfGpsOutputOf(ParseState& state) {
  return state.sirfOutput.isOpen() ? &state.sirfOutput : nullptr;
}

int writePacketSamples(ParseState& state, int32_t packetNumber, int64_t huxTimeIndex,
                       const HuxSamples& hux, const HuxCalibrationState& calibration,
                       int64_t tivTimeIndex, const TivSamples& tiv) {
  appendWavSamples(state, packetNumber, huxTimeIndex, hux);
  appendDataOut(state, packetNumber, huxTimeIndex, hux, calibration, tivTimeIndex, tiv);
  appendCompleteData(state, packetNumber, huxTimeIndex, hux, tivTimeIndex, tiv);
  return 0;
}

namespace {

// dataOut.mat is written on a thread of its own while completeData.mat is
// gathered and written here: the two files share nothing but the disk. The
// console reads as if they were closed in turn: completeData's lines are held
// until dataOut.mat is known to be whole, and a dataOut failure ends the run
// first. MAT v7.3 files are written by HDF5, which is not built for threads:
// they are closed in turn.
void closeMatFilesTogether(ParseState& state) {
  gatherDataOut(state);
  EarlyWriteback writeback{state.dataOutFile.output().descriptor(),
                           state.completeDataFile.output().descriptor()};
  bool dataOutWhole = false;
  std::thread writer([&state, &dataOutWhole] { dataOutWhole = storeDataOut(state); });

  Console& console = *state.console;
  HeldConsole held(console);
  std::exception_ptr ended;
  bool completeDataWhole = false;
  state.console = &held.console();
  try {
    gatherCompleteData(state);
    completeDataWhole = storeCompleteData(state);
  } catch (...) {
    ended = std::current_exception();
  }
  state.console = &console;
  writer.join();

  if (!dataOutWhole) failDataOutStore(state);
  held.release();
  if (ended) std::rethrow_exception(ended);
  if (!completeDataWhole) failCompleteDataStore(state);
}

bool matFilesCanCloseTogether(const ParseState& state) {
  return state.dataOutFile.isOpen() && state.completeDataFile.isOpen() &&
         state.dataOutFile.version() == MatVersion::kMat5 &&
         state.completeDataFile.version() == MatVersion::kMat5;
}

}  // namespace

void closeOutputs(ParseState& state) {
  closeWavFile(state);
  if (matFilesCanCloseTogether(state)) {
    closeMatFilesTogether(state);
  } else {
    closeDataOut(state);
    closeCompleteData(state);
  }
  closeSirfGpsFile(state);
  // Only now, with every output written whole, do they take their names:
  // a failure above leaves the files of an earlier run as they were.
  for (OutputFile* output : {&state.wavOutput, &state.sirfOutput}) {
    if (output->isFinished() && !output->commit()) exitOnOutputFailure(*output, *state.console);
  }
  for (MatFile* file : {&state.dataOutFile, &state.completeDataFile}) {
    if (file->output().isFinished() && !file->commit()) {
      exitOnOutputFailure(file->output(), *state.console);
    }
  }
}
