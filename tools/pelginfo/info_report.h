// pelginfo's two forms of its findings, text for a person and JSON for
// scripts: every file's header, packet span and counts, and the recordings
// with the pelgToMatlab command that converts each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_scan.h"
#include "recording_groups.h"

struct ReportOptions {
  int32_t maxGap_sec = 3000;                 // the converter's -maxGap_sec
  std::string outdir = "converted";          // each recording converts into outdir/<name>/
  std::string converter = "pelgToMatlab";    // the program the commands name
};

struct RecordingCommand {
  std::string outputDir;          // ends with "/"
  std::vector<std::string> args;  // the converter and its arguments
  std::string text() const;       // args joined, quoted for a POSIX shell
};

RecordingCommand commandFor(const Recording& recording, const std::vector<FileScan>& scans,
                            const ReportOptions& options);

// A word quoted for a POSIX shell when it needs quoting.
std::string shellQuoted(const std::string& word);

// "2024-03-14T09:00:00.000Z" of milliseconds since 1970.
std::string utcText(uint64_t ms);

std::string textReport(const std::vector<FileScan>& scans, const std::vector<Recording>& recordings,
                       const ReportOptions& options);

// One object: "files" (an entry per file, in the order given) and
// "recordings" (each with its files in start order and its command).
std::string jsonReport(const std::vector<FileScan>& scans, const std::vector<Recording>& recordings,
                       const ReportOptions& options);
