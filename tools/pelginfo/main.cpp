// pelginfo: what PELG files hold, without converting them. Prints each file's
// header (start, boards, schedules, calibration), the span of its packets and
// the counts of packets and damaged packets, then groups the files into
// recordings by the converter's rules and prints the pelgToMatlab command of
// each. Folders are searched for *.pelg files.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/console.h"
#include "input/file_identity.h"
#include "file_scan.h"
#include "info_report.h"
#include "recording_groups.h"

namespace {

constexpr int kStatusAllUsable = 0;
constexpr int kStatusSomeUnusable = 1;
constexpr int kStatusUsage = 2;

constexpr const char* kUsage =
    "pelginfo [options] FILE|FOLDER...\n"
    "  Prints the header, packet span and packet counts of PELG files, groups them into\n"
    "  recordings by pelgToMatlab's rules and prints the command that converts each.\n"
    "  Folders are searched, with their sub-folders, for files ending in .pelg.\n"
    "   --json              one JSON object: \"files\" and \"recordings\"\n"
    "   --max-gap-sec N     largest start-time distance of consecutive files (default 3000,\n"
    "                       as pelgToMatlab's -maxGap_sec)\n"
    "   --outdir DIR        the commands convert each recording into DIR/<recording>/\n"
    "                       (default converted)\n"
    "   --converter PATH    the program the commands name (default pelgToMatlab)\n"
    "   --no-count          read each file only up to its first packet: the grouping and\n"
    "                       the headers without the packet counts, at once for any size\n"
    "   -h, --help          this text\n"
    "  Exit status 0; 1 when a file belongs to no recording (its reason is listed);\n"
    "  2 for bad options.\n";
constexpr const char* kBadFile = "pelginfo: %s: %s\n";
constexpr const char* kUsageError = "pelginfo: %s\n";

struct Options {
  bool json = false;
  bool countPackets = true;
  ReportOptions report;
  std::vector<std::string> inputs;
};

bool endsWithPelg(const std::string& name) {
  if (name.size() < 5) return false;
  std::string ending = name.substr(name.size() - 5);
  std::transform(ending.begin(), ending.end(), ending.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ending == ".pelg";
}

// The files named, with every folder replaced by its *.pelg files in path order.
std::vector<std::string> expandInputs(const std::vector<std::string>& inputs) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  for (const std::string& input : inputs) {
    std::error_code error;
    if (!fs::is_directory(input, error)) {
      files.push_back(input);
      continue;
    }
    std::vector<std::string> found;
    for (auto it = fs::recursive_directory_iterator(input, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      if (it->is_regular_file(error) && endsWithPelg(it->path().filename().string()))
        found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

// Parses the arguments; returns -1 to go on, else the exit status.
int parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    std::string text;
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return std::fflush(stdout) == 0 ? kStatusAllUsable : kStatusUsage;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg == "--no-count") {
      options.countPackets = false;
    } else if (arg == "--max-gap-sec") {
      char* end = nullptr;
      if (!value(text)) break;
      const long gap = std::strtol(text.c_str(), &end, 10);
      if (end == text.c_str() || *end != '\0' || gap < 0 || gap > 2147483647L) {
        std::fprintf(stderr, kUsageError, "--max-gap-sec takes a whole number of seconds");
        return kStatusUsage;
      }
      options.report.maxGap_sec = static_cast<int32_t>(gap);
    } else if (arg == "--outdir") {
      if (!value(options.report.outdir)) break;
    } else if (arg == "--converter") {
      if (!value(options.report.converter)) break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, kUsageError, ("unknown option " + arg + " (see --help)").c_str());
      return kStatusUsage;
    } else {
      options.inputs.push_back(arg);
    }
    continue;
  }
  if (argc > 1) {
    const std::string last = argv[argc - 1];
    if (last == "--max-gap-sec" || last == "--outdir" || last == "--converter") {
      std::fprintf(stderr, kUsageError, (last + " needs a value").c_str());
      return kStatusUsage;
    }
  }
  if (options.inputs.empty()) {
    std::fputs(kUsage, stderr);
    return kStatusUsage;
  }
  return -1;
}

// Counts every usable file's packets; the files of a recording in start
// order, each judged at its start by the boards' clocks as the file before
// left them, as the converter reads them.
void countAllFiles(std::vector<FileScan>& scans, const std::vector<Recording>& recordings) {
  FILE* null = std::fopen("/dev/null", "w");
  Console quiet(null ? null : stderr, null ? null : stderr);
  {
    InputOpener opener(quiet);
    std::vector<bool> counted(scans.size(), false);
    for (const Recording& recording : recordings) {
      BoardsCarried carried;
      for (size_t index : recording.files) {
        countFile(scans[index], opener, &carried);
        counted[index] = true;
      }
    }
    for (size_t i = 0; i < scans.size(); ++i)
      if (!counted[i] && (scans[i].usable() || scans[i].problem == kNoPackets))
        countFile(scans[i], opener, nullptr);
  }
  if (null) std::fclose(null);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int parsed = parseOptions(argc, argv, options);
  if (parsed >= 0) return parsed;

  FILE* null = std::fopen("/dev/null", "w");
  Console quiet(null ? null : stderr, null ? null : stderr);
  std::vector<FileScan> scans;
  {
    InputOpener opener(quiet);
    // A file named twice (again, through a link, inside a folder also named)
    // is listed once; the converter refuses a file named twice.
    std::map<FileIdentity, std::string> seen;
    for (const std::string& path : expandInputs(options.inputs)) {
      if (const auto identity = identityOfPath(path)) {
        const auto [earlier, added] = seen.emplace(*identity, path);
        if (!added) {
          FileScan twice;
          twice.path = path;
          twice.problem = kSameFileAs + earlier->second;
          scans.push_back(twice);
          continue;
        }
      }
      // The headers and first packets group the files; the counts follow.
      scans.push_back(scanFile(path, opener, false));
    }
  }
  if (null) std::fclose(null);

  const std::vector<Recording> recordings = groupIntoRecordings(scans, options.report.maxGap_sec);
  if (options.countPackets) countAllFiles(scans, recordings);
  const std::string report = options.json ? jsonReport(scans, recordings, options.report)
                                          : textReport(scans, recordings, options.report);
  if (std::fwrite(report.data(), 1, report.size(), stdout) != report.size() ||
      std::fflush(stdout) != 0) {
    std::perror("pelginfo: writing the report");
    return kStatusUsage;
  }
  int status = kStatusAllUsable;
  for (const FileScan& scan : scans) {
    if (scan.usable()) continue;
    std::fprintf(stderr, kBadFile, scan.path.c_str(), scan.problem.c_str());
    status = kStatusSomeUnusable;
  }
  if (scans.empty()) {
    std::fprintf(stderr, kUsageError, "no PELG file found");
    status = kStatusSomeUnusable;
  }
  return status;
}
