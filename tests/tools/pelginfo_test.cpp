// pelginfo's grouping of files into recordings (the converter's validation
// rules on synthetic headers), its JSON writer and its commands; and the tool
// on real pelgsim files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/header_checks.h"
#include "file_scan.h"
#include "info_report.h"
#include "common/json_writer.h"
#include "recording_groups.h"
#include "support/test_support.h"

namespace {

constexpr uint64_t kStart = 1710406800000ull;  // 2024-03-14 09:00:00 UTC
constexpr uint64_t kMinute = 60000;

// One usable file of a device: serial, start, and what may differ.
struct FileSpec {
  const char* path;
  uint64_t start;
  int32_t serial = 0x1234;
  bool tiv = false;
  int32_t tivSerial = 0x42;
  int32_t c1 = 100;       // a calibration coefficient
  int32_t accelRate = 1000;
  bool usable = true;
};

FileScan scanOf(const FileSpec& plan) {
  FileScan scan;
  scan.path = plan.path;
  scan.headerRead = true;
  HuxInfo& hux = scan.header.huxInfo;
  hux.interrupt_count = 5120;
  hux.mic_hz = 8000;
  hux.accelerometer_hz = plan.accelRate;
  hux.barometer_hz = hux.compass_hz = hux.amb_light_hz = hux.dals_hz = hux.humidity_hz = 100;
  hux.power = 1;
  hux.boardNumber = plan.serial;
  scan.header.baro = BaroCoefficients{plan.c1, 2, 3, 4, 5, 6};
  scan.header.startTime = plan.start;
  scan.carriesTiv = plan.tiv;
  if (plan.tiv) {
    scan.header.tivInfo = TivInfo{5120, 1000, 100, 1, plan.tivSerial, 1, 3, 2, 11, 22, 33, 44};
  }
  fillInputFileInfo(scan.record, scan.header, 0, plan.tiv ? 1 : -1);
  scan.packets = 1000;
  scan.firstPacketMs = 0;
  scan.lastPacketMs = 299998;
  if (!plan.usable) scan.problem = kNoPelgHeader;
  return scan;
}

// The recordings as lists of paths.
std::vector<std::vector<std::string>> grouped(const std::vector<FileSpec>& plans,
                                              int32_t maxGap = 3000) {
  std::vector<FileScan> scans;
  for (const FileSpec& plan : plans) scans.push_back(scanOf(plan));
  std::vector<std::vector<std::string>> paths;
  for (const Recording& r : groupIntoRecordings(scans, maxGap)) {
    paths.emplace_back();
    for (size_t i : r.files) paths.back().push_back(scans[i].path);
  }
  return paths;
}

using Groups = std::vector<std::vector<std::string>>;

struct GroupingCase {
  const char* what;
  std::vector<FileSpec> files;
  Groups expected;
  int32_t maxGap = 3000;
};

class Grouping : public ::testing::TestWithParam<GroupingCase> {};

TEST_P(Grouping, FollowsTheConvertersRules) {
  const GroupingCase& c = GetParam();
  EXPECT_EQ(grouped(c.files, c.maxGap), c.expected) << c.what;
}

FileSpec at(const char* path, uint64_t minutes) { return FileSpec{path, kStart + minutes * kMinute}; }
FileSpec withSerial(FileSpec f, int32_t serial) { f.serial = serial; return f; }
FileSpec withTiv(FileSpec f, int32_t tivSerial = 0x42) { f.tiv = true; f.tivSerial = tivSerial; return f; }
FileSpec withC1(FileSpec f, int32_t c1) { f.c1 = c1; return f; }
FileSpec withAccel(FileSpec f, int32_t rate) { f.accelRate = rate; return f; }
FileSpec unusable(FileSpec f) { f.usable = false; return f; }

INSTANTIATE_TEST_SUITE_P(
    Files, Grouping,
    ::testing::Values(
        GroupingCase{"consecutive files of one device", {at("a1", 0), at("a2", 30), at("a3", 60)},
                     {{"a1", "a2", "a3"}}},
        GroupingCase{"named out of order: start order", {at("a3", 60), at("a1", 0), at("a2", 30)},
                     {{"a1", "a2", "a3"}}},
        GroupingCase{"a gap of more than maxGap_sec starts a recording",
                     {at("d1", 0), at("d2", 30), at("e1", 24 * 60), at("e2", 24 * 60 + 30)},
                     {{"d1", "d2"}, {"e1", "e2"}}},
        GroupingCase{"exactly maxGap_sec apart is one recording, one second more is two",
                     {FileSpec{"x1", kStart}, FileSpec{"x2", kStart + 3000 * 1000},
                      FileSpec{"x3", kStart + 6001 * 1000}},
                     {{"x1", "x2"}, {"x3"}}},
        GroupingCase{"the gap is measured from the previous file, not the first",
                     {at("y1", 0), at("y2", 45), at("y3", 90), at("y4", 135)},
                     {{"y1", "y2", "y3", "y4"}}},
        GroupingCase{"a larger -maxGap_sec joins what the default splits",
                     {at("z1", 0), at("z2", 60)}, {{"z1", "z2"}}, 3600},
        GroupingCase{"two devices at the same time, interleaved",
                     {at("p1", 0), withSerial(at("q1", 1), 0x2222), at("p2", 30),
                      withSerial(at("q2", 31), 0x2222)},
                     {{"p1", "p2"}, {"q1", "q2"}}},
        GroupingCase{"other calibration: another device's board",
                     {at("c1", 0), withC1(at("c2", 30), 101)}, {{"c1"}, {"c2"}}},
        GroupingCase{"other schedule", {at("s1", 0), withAccel(at("s2", 30), 500)},
                     {{"s1"}, {"s2"}}},
        GroupingCase{"TIV data after a file without it is refused",
                     {at("t1", 0), withTiv(at("t2", 30))}, {{"t1"}, {"t2"}}},
        GroupingCase{"a file without TIV data after files with it is accepted",
                     {withTiv(at("u1", 0)), withTiv(at("u2", 30)), at("u3", 60)},
                     {{"u1", "u2", "u3"}}},
        GroupingCase{"another TIV board", {withTiv(at("v1", 0)), withTiv(at("v2", 30), 0x43)},
                     {{"v1"}, {"v2"}}},
        GroupingCase{"files that belong to no recording are left out",
                     {at("w1", 0), unusable(at("bad", 10)), at("w2", 30)}, {{"w1", "w2"}}},
        GroupingCase{"nothing usable", {unusable(at("bad", 0))}, {}}),
    [](const ::testing::TestParamInfo<GroupingCase>& info) {
      return "Case" + std::to_string(info.index);
    });

TEST(RecordingNames, SerialAndStartAndUniqueness) {
  EXPECT_EQ(recordingName(0x1234, kStart), "0x1234_20240314T090000Z");
  EXPECT_EQ(recordingName(0xBEEF, kStart + 999), "0xBEEF_20240314T090000Z");
  // The same device and start second twice (two schedules): the second is _2.
  std::vector<FileScan> scans = {scanOf(at("a", 0)), scanOf(withAccel(at("b", 0), 500))};
  const auto recordings = groupIntoRecordings(scans, 3000);
  ASSERT_EQ(recordings.size(), 2u);
  EXPECT_EQ(recordings[0].name, "0x1234_20240314T090000Z");
  EXPECT_EQ(recordings[1].name, "0x1234_20240314T090000Z_2");
}

TEST(Commands, ConverterArgumentsAndQuoting) {
  std::vector<FileScan> scans = {scanOf(at("rec/b two.pelg", 30)), scanOf(at("rec/a.pelg", 0))};
  const auto recordings = groupIntoRecordings(scans, 3000);
  ASSERT_EQ(recordings.size(), 1u);
  ReportOptions options;
  RecordingCommand command = commandFor(recordings[0], scans, options);
  EXPECT_EQ(command.outputDir, "converted/0x1234_20240314T090000Z/");
  EXPECT_EQ(command.args, (std::vector<std::string>{"pelgToMatlab", "-outputdir",
                                                    "converted/0x1234_20240314T090000Z/",
                                                    "rec/a.pelg", "rec/b two.pelg"}));
  EXPECT_EQ(command.text(),
            "pelgToMatlab -outputdir converted/0x1234_20240314T090000Z/ rec/a.pelg 'rec/b two.pelg'");
  options.maxGap_sec = 7200;
  options.outdir = "out/";
  options.converter = "build/release/pelgToMatlab";
  command = commandFor(recordings[0], scans, options);
  EXPECT_EQ(command.text(),
            "build/release/pelgToMatlab -maxGap_sec 7200 -outputdir out/0x1234_20240314T090000Z/ "
            "rec/a.pelg 'rec/b two.pelg'");
}

TEST(ShellQuoting, Words) {
  const std::pair<const char*, const char*> cases[] = {
      {"plain/path-1.pelg", "plain/path-1.pelg"}, {"two words", "'two words'"},
      {"it's", "'it'\\''s'"}, {"", "''"}, {"$HOME", "'$HOME'"}};
  for (const auto& [word, quoted] : cases) EXPECT_EQ(shellQuoted(word), quoted) << word;
}

TEST(JsonWriter, NestingCommasAndEscapes) {
  std::string out;
  JsonWriter json(out);
  json.beginObject();
  json.key("name");
  json.value("a \"b\"\n\\");
  json.key("list");
  json.beginArray();
  json.value(int64_t{1});
  json.value(2.5);
  json.value(true);
  json.null();
  json.endArray();
  json.key("empty");
  json.beginObject();
  json.endObject();
  json.key("big");
  json.value(uint64_t{1710406800000ull});
  json.endObject();
  EXPECT_EQ(out,
            "{\n  \"name\": \"a \\\"b\\\"\\n\\\\\",\n  \"list\": [\n    1,\n    2.5,\n    true,\n"
            "    null\n  ],\n  \"empty\": {},\n  \"big\": 1710406800000\n}\n");
  EXPECT_EQ(JsonWriter::quoted(std::string("\x01", 1)), "\"\\u0001\"");
}

TEST(UtcText, Milliseconds) {
  EXPECT_EQ(utcText(kStart), "2024-03-14T09:00:00.000Z");
  EXPECT_EQ(utcText(kStart + 1234), "2024-03-14T09:00:01.234Z");
}

}  // namespace
