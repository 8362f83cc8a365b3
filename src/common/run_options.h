// The settings of one run, filled from the command line and read by every
// later phase. The driver owns the one RunOptions of a run; the passes read
// it only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RunOptions {
  int32_t buffSize = 204800;         // read-buffer capacity in bytes ("-buffSize")
  int32_t maxGap_sec = 3000;         // largest start-time distance of consecutive files
  int32_t printProgressMax = 10000;  // packets between two progress lines
  bool writeSummaryFile = false;     // "-write_summaryFile": .stats files, then end
  bool checkHeaders = true;          // cleared by "-disableChecks"
  bool checkRollover = true;         // cleared by "-ignoreRollover"
  bool printProgress = false;        // "-printProgress"
  bool writeDataOut = true;          // cleared by "-NoDataOut"
  bool writeCompleteData = true;     // cleared by "-NoCompleteData"
  bool writeWavFile = true;          // cleared by "-NoWavFile"
  bool writeTimestampFile = false;   // "-write_timestampFile": timestamps.txt, then end
  bool useBlacklist = false;         // a blacklist was loaded
  bool integerOutput = false;        // MAT files get the decoders' integer forms
  bool forceMat73 = false;           // "-mat73": both MAT-files as MAT v7.3 (HDF5)
  int32_t threads = 1;               // "-threads": threads at work; the cores available by default
  std::string blacklistPath;
  std::string jsonReportPath;        // "-jsonReport": the run's account as JSON; empty for none
  std::string outputDir;             // ends with a separator once set
  std::vector<int32_t> blacklist;    // packet numbers to skip, ascending once loaded
};
