// The project file: a round trip gives the same bytes, Chinese included; damaged, foreign and
// newer files are refused or read with everything skipped named; members a sheet would not
// take are named; saving keeps the old file until the new one is complete, and keeps a backup.
#include "analysis/project/project.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "analysis/project/save_file.hpp"
#include "modules/registry.hpp"
#include "platform/processes.hpp"
#include "sheet/control_names.hpp"

namespace pellucor::analysis::project {
namespace {

namespace fs = std::filesystem;
using sheet::Control;

Project sample_project() {
  Project p;
  p.structure = {"跨海大桥耐久性评估",
                 "预应力混凝土连续梁桥",
                 "浙江 舟山",
                 "交通局",
                 "张工",
                 "2026年3月",
                 "第二次检测；\"引号\" 与反斜杠 \\ 保留"};
  p.assessment.assessmentAge = 22.5;
  p.assessment.targetLife = 100;
  p.assessment.gamma = 1.2;
  p.assessment.thresholdA = 2.0;
  p.assessment.thresholdB = 0.9;
  p.assessment.limitStates = {assess::LimitState::Cracking, assess::LimitState::EndOfLife};
  p.reliability = {20000, 42, 1.5};

  Member beam;
  beam.name = "主梁 B1（北侧）";
  beam.sheet = "chloride-constant";
  beam.boxes = {{Control::Text1, "1.5"}, {Control::Text2, " 20"}, {Control::Text3, "0.80"},
                {Control::Text4, "30"},  {Control::Text5, "40 "}, {Control::Text6, "20"},
                {Control::Text7, "1.5"}, {Control::Text8, "5"},   {Control::Text9, "1.4"},
                {Control::Text10, ""},   {Control::Text11, ""},   {Control::Text12, ""},
                {Control::Text13, "20"}, {Control::Text14, "20"}};
  beam.steel = "2 变形钢筋";
  beam.options = {Control::Option1};
  beam.limitStates = std::vector{assess::LimitState::EndOfLife};
  beam.scatter = {{Control::Text5, {0.15, mc::Distribution::Lognormal}},
                  {Control::Text7, {0.031, mc::Distribution::Lognormal}}};
  ProfileRecord core;
  core.name = "芯样 C1";
  core.input.depthMm = {1, 3, 5, 7, 9, 11, 13, 15};
  core.input.chloride = {0.21, 0.19, 0.15, 0.11, 0.08, 0.055, 0.04, 0.031};
  core.input.unit = inspect::ChlorideUnit::PercentOfConcrete;
  core.input.densityKgM3 = 2400;
  core.input.ageYears = 22.5;
  core.input.background = inspect::Background::Given;
  core.input.backgroundValue = 0.02;
  const auto fit = inspect::fit_profile(core.input);
  EXPECT_TRUE(fit.ok());
  if (fit.ok()) core.fit = record_of(*fit);
  beam.inspection.profiles.push_back(core);
  beam.inspection.cover = inspect::CoverInput{{38, 41.5, 36, 44, 40}, 40.0};

  Member column;
  column.name = "柱 C-3";
  column.sheet = "carbonation";
  column.boxes = {{Control::Text1, "2"},     {Control::Text2, "15"},  {Control::Text3, "0.7"},
                  {Control::Text4, "30"},    {Control::Text5, "30"},  {Control::Text6, "60"},
                  {Control::Text7, "0.000"}, {Control::Text8, "1.5"}, {Control::Text9, "20"}};
  column.steel = "1 圆钢筋";
  column.options = {Control::Option1, Control::Option4};
  column.inspection.carbonation = inspect::CarbonationInput{{12, 14.5, 9, 0}, 60};

  Member empty;  // a member just created: nothing typed yet
  empty.name = "板 S1";
  empty.sheet = "admixed";

  p.members = {beam, column, empty};
  return p;
}

fs::path scratch(const std::string& name) {
  const fs::path dir =
      fs::temp_directory_path() /
      ("pellucor-project-test-" + std::to_string(platform::current_process_id()) + "-" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string skipped_list(const OpenReport& r) {
  std::string s;
  for (const auto& k : r.skipped) s += k.where + ": " + k.message + "\n";
  return s;
}

// ---- Round trip ---------------------------------------------------------------------------

TEST(ProjectFile, SaveOpenSaveGivesTheSameBytesChineseIncluded) {
  const Project p = sample_project();
  const std::string bytes = project_bytes(p);
  // Chinese as UTF-8, not as escapes; the texts exactly as typed.
  EXPECT_NE(bytes.find("\"跨海大桥耐久性评估\""), std::string::npos);
  EXPECT_NE(bytes.find("\"Text2\": \" 20\""), std::string::npos);
  EXPECT_EQ(bytes.find("\\u"), std::string::npos);
  EXPECT_TRUE(bytes.starts_with("{\n  \"format\": \"pellucor-project\",\n  \"schemaVersion\": 1,"));

  const auto opened = parse_project(bytes);
  ASSERT_TRUE(opened.ok()) << opened.refusal().message;
  EXPECT_TRUE(opened->skipped.empty()) << skipped_list(*opened);
  EXPECT_FALSE(opened->lossy());
  EXPECT_TRUE(opened->project == p);
  EXPECT_EQ(project_bytes(opened->project), bytes);

  // The same through files on the disk.
  const fs::path dir = scratch("roundtrip");
  save_project((dir / "桥.pellucor").string(), p);
  const auto fromDisk = open_project((dir / "桥.pellucor").string());
  ASSERT_TRUE(fromDisk.ok());
  save_project((dir / "again.pellucor").string(), fromDisk->project);
  EXPECT_EQ(read(dir / "桥.pellucor"), read(dir / "again.pellucor"));
  fs::remove_all(dir);
}

// A number that is not a value (a reading not yet typed) is kept as null and comes back so.
TEST(ProjectFile, KeepsAMissingReadingAsNoValue) {
  Project p;
  Member m;
  m.name = "m";
  m.sheet = "carbonation";
  m.inspection.carbonation = inspect::CarbonationInput{{12, NAN, 9}, 30};
  p.members = {m};
  const std::string bytes = project_bytes(p);
  EXPECT_NE(bytes.find("null"), std::string::npos);
  const auto opened = parse_project(bytes);
  ASSERT_TRUE(opened.ok());
  ASSERT_EQ(opened->project.members.size(), 1U);
  EXPECT_TRUE(std::isnan(opened->project.members[0].inspection.carbonation->depthMm[1]));
  EXPECT_EQ(project_bytes(opened->project), bytes);
}

// ---- Files it refuses -----------------------------------------------------------------------

TEST(ProjectFile, RefusesADamagedOrForeignFileWithAMessage) {
  const std::string good = project_bytes(sample_project());
  struct Case {
    const char* what;
    std::string bytes;
    OpenRefusal expected;
  };
  const Case cases[] = {
      {"cut off", good.substr(0, good.size() / 2), OpenRefusal::Damaged},
      {"empty", "", OpenRefusal::Damaged},
      {"not JSON", "工程", OpenRefusal::Damaged},
      {"not UTF-8", "{\"format\": \"pellucor-project\", \"schemaVersion\": 1, \"x\": \"\xb9\xa4\"}",
       OpenRefusal::Damaged},
      {"a list", "[1, 2]", OpenRefusal::NotAProject},
      {"another program's", "{\"format\": \"other\", \"schemaVersion\": 1}",
       OpenRefusal::NotAProject},
      {"no version", "{\"format\": \"pellucor-project\"}", OpenRefusal::NoVersion},
      {"version as text", "{\"format\": \"pellucor-project\", \"schemaVersion\": \"1\"}",
       OpenRefusal::NoVersion},
      {"version negative", "{\"format\": \"pellucor-project\", \"schemaVersion\": -1}",
       OpenRefusal::NoVersion},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto r = parse_project(c.bytes);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.refusal().kind, c.expected);
    EXPECT_FALSE(r.refusal().text.empty());
  }
  EXPECT_EQ(open_project("/nonexistent/桥.pellucor").refusal().kind, OpenRefusal::Unreadable);
}

// Whether `r` names a part skipped at `where` with `part` in its message.
bool names(const OpenReport& r, const std::string& where, const std::string& part) {
  for (const auto& s : r.skipped) {
    if (s.where == where && s.message.find(part) != std::string::npos && !s.text.empty())
      return true;
  }
  return false;
}

// ---- Hostile files ---------------------------------------------------------------------------

// A project's beginning, for files that go wrong after it.
std::string head(const std::string& rest) {
  return "{\"format\": \"pellucor-project\", \"schemaVersion\": 1, " + rest + "}";
}

std::string member_named(const std::string& name, const std::string& more = {}) {
  return "{\"name\": \"" + name + "\", \"sheet\": \"carbonation\", \"boxes\": {}" + more + "}";
}

// Whatever the bytes, a refusal that says what and where (a line and column, or the path of
// the value); nothing is thrown, nothing overflows the stack, nothing is built beyond the limits.
TEST(ProjectFile, RefusesHostileFilesNamingThePlace) {
  struct Case {
    const char* what;
    std::string bytes;
    OpenRefusal expected;
    std::string place;  // in the English message
  };
  const std::string list100k = "[" + [] {
    std::string s = "0";
    for (int i = 0; i < 100000; ++i) s += ",0";
    return s;
  }() + "]";
  std::string keys1001 = "{";
  for (int i = 0; i <= 1000; ++i) keys1001 += (i > 0 ? ",\"k" : "\"k") + std::to_string(i) + "\":0";
  keys1001 += "}";
  const Case cases[] = {
      // Out of the number range: the library's own error escaped the reader before.
      {"1e400", head("\"assessment\": {\"targetLife\": 1e400}"), OpenRefusal::Damaged,
       "line 1, column 81: the number 1e400 is out of range"},
      // The format of another kind: a type error escaped the reader before.
      {"format a number", "{\"format\": 5, \"schemaVersion\": 1}", OpenRefusal::NotAProject,
       "/format"},
      // 100 000 nested lists in a member's options (200 kB): a stack overflow before.
      {"nested lists",
       head("\"members\": [{\"name\": \"m\", \"sheet\": \"admixed\", \"options\": " +
            std::string(100000, '[') + std::string(100000, ']') + "}]"),
       OpenRefusal::BeyondLimits, "(/members[0]/options[0][0][0][0][0]/…): nested more than 64"},
      {"nested objects",
       head("\"x\": " +
            [] {
              std::string s;
              for (int i = 0; i < 100000; ++i) s += "{\"a\":";
              return s + "0" + std::string(100000, '}');
            }()),
       OpenRefusal::BeyondLimits, "nested more than 64"},
      {"a key twice", head("\"members\": [], \"members\": []"), OpenRefusal::Damaged,
       "(/members): the key 'members' is given twice"},
      {"a key twice in a member",
       head("\"members\": [" + member_named("B1", ", \"name\": \"B2\"") + "]"),
       OpenRefusal::Damaged, "(/members[0]/name): the key 'name' is given twice"},
      {"a text of 2 MiB", head("\"structure\": {\"notes\": \"" + std::string(2 << 20, 'a') + "\"}"),
       OpenRefusal::BeyondLimits, "a text of 2097152 bytes"},
      {"a list of 100 001", head("\"x\": " + list100k), OpenRefusal::BeyondLimits,
       "a list of more than 100000"},
      {"an object of 1001 keys", head("\"x\": " + keys1001), OpenRefusal::BeyondLimits,
       "more than 1000 keys"},
      {"a key of 300 bytes", head("\"" + std::string(300, 'k') + "\": 0"),
       OpenRefusal::BeyondLimits, "a key of 300 bytes"},
      // Within the parser's bounds, beyond what a project holds.
      {"a member name of 350 000 characters",
       head("\"members\": [" + member_named(std::string(350000, 'x')) + "]"),
       OpenRefusal::BeyondLimits, "members[0]/name: the member name of 350000 characters"},
      {"notes of 100 001 characters",
       head("\"structure\": {\"notes\": \"" + std::string(100001, 'n') + "\"}"),
       OpenRefusal::BeyondLimits, "/structure/notes"},
      {"a box's text of 1001 characters",
       head("\"members\": [{\"name\": \"B1\", \"sheet\": \"carbonation\", \"boxes\": {\"Text5\": "
            "\"" +
            std::string(1001, '4') + "\"}}]"),
       OpenRefusal::BeyondLimits, "members[0] B1/boxes/Text5"},
      {"10 001 cover readings",
       head("\"members\": [" +
            member_named("B1", ", \"inspection\": {\"cover\": {\"readingsMm\": " +
                                   list100k.substr(0, 2 * 10001) + "]}}") +
            "]"),
       OpenRefusal::BeyondLimits, "10001 cover readings"},
      {"a control character in a text", head("\"x\": \"a\x1b[2J\""), OpenRefusal::Damaged,
       "line 1, column 59: a control character"},
      {"cut off in a member", head("\"members\": [{\"name\": \"B1\"").substr(0, 60),
       OpenRefusal::Damaged, "the file ends before the document does"},
      {"on the third line", "{\n  \"format\": \"pellucor-project\",\n  \"schemaVersion\": 1 1}",
       OpenRefusal::Damaged, "line 3, column 22: not valid JSON"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto r = parse_project(c.bytes);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.refusal().kind, c.expected);
    EXPECT_NE(r.refusal().message.find(c.place), std::string::npos) << r.refusal().message;
    EXPECT_FALSE(r.refusal().text.empty());
    // The Chinese text names the same place.
    EXPECT_TRUE(r.refusal().text.find("第 ") != std::string::npos ||
                r.refusal().text.find('/') != std::string::npos)
        << r.refusal().text;
  }
}

// What is not a regular file is refused before it is read (a pipe would wait for ever, a device
// give bytes without end), and so is a file larger than a project may be, by its size alone.
TEST(ProjectFile, RefusesPipesFoldersDevicesAndHugeFilesBeforeReading) {
  const fs::path dir = scratch("special");
  const fs::path huge = dir / "huge.pellucor";
  write(huge, "{");
  fs::resize_file(huge, kMaxProjectBytes + 1);  // sparse: nothing is written
  struct Case {
    fs::path path;
    OpenRefusal expected;
    std::string says;
  };
  std::vector<Case> cases = {
      {dir, OpenRefusal::Unreadable, "not a regular file"},
      {huge, OpenRefusal::BeyondLimits, "more than the 256 MiB"},
      {dir / "none.pellucor", OpenRefusal::Unreadable, "No such file"},
  };
#ifdef _WIN32
  cases.push_back({"NUL", OpenRefusal::Unreadable, "not a regular file"});
#else
  const fs::path pipe = dir / "pipe.pellucor";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  cases.push_back({pipe, OpenRefusal::Unreadable, "not a regular file"});
  cases.push_back({"/dev/zero", OpenRefusal::Unreadable, "not a regular file"});
#endif
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.string());
    const auto r = open_project(c.path.string());
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.refusal().kind, c.expected);
    EXPECT_NE(r.refusal().message.find(c.says), std::string::npos) << r.refusal().message;
  }
  fs::remove_all(dir);
}

// Read and kept as written, named as what no assessment can take: a name given twice (the file
// may come from the desktop program, which lets a member be renamed), a limit state twice.
TEST(ProjectFile, NamesMembersOfOneNameAndLimitStatesGivenTwice) {
  const std::string bytes = head("\"members\": [" + member_named("B1") + ", " + member_named("C1") +
                                 ", " + member_named("B1", ", \"limitStates\": [\"td\", \"td\"]") +
                                 ", " + member_named("B1") + "]");
  const auto r = parse_project(bytes);
  ASSERT_TRUE(r.ok()) << r.refusal().message;
  ASSERT_EQ(r->project.members.size(), 4U);
  ASSERT_EQ(r->repeatedNames.size(), 2U);
  EXPECT_EQ(r->repeatedNames[0].where, "members[2] B1");
  EXPECT_NE(r->repeatedNames[0].message.find("already the name of members[0]"), std::string::npos);
  EXPECT_EQ(r->repeatedNames[1].where, "members[3] B1");
  ASSERT_EQ(r->conflicts.size(), 1U);
  EXPECT_EQ(r->conflicts[0].where, "members[2] B1/limitStates");
  EXPECT_NE(r->conflicts[0].message.find("td is given twice"), std::string::npos);
  // As written, and saved as read.
  EXPECT_EQ(r->project.members[2].limitStates,
            (std::vector{assess::LimitState::EndOfLife, assess::LimitState::EndOfLife}));
  EXPECT_EQ(project_bytes(parse_project(project_bytes(r->project))->project),
            project_bytes(r->project));
}

// Settings that are numbers and still no settings: reset to the defaults and named.
TEST(ProjectFile, ResetsSettingsWithoutAMeaningAndNamesThem) {
  std::string bytes = project_bytes(sample_project());
  bytes.replace(bytes.find("\"gamma\": 1.2"), 12, "\"gamma\": 1e-308");
  bytes.replace(bytes.find("\"targetBeta\": 1.5"), 17, "\"targetBeta\": 1e300");
  const auto r = parse_project(bytes);
  ASSERT_TRUE(r.ok()) << r.refusal().message;
  EXPECT_TRUE(names(*r, "/assessment", "gamma must lie between 0.1 and 10")) << skipped_list(*r);
  EXPECT_TRUE(names(*r, "/reliability", "target reliability index")) << skipped_list(*r);
  EXPECT_EQ(r->project.assessment, assess::Settings{});
  EXPECT_EQ(r->project.reliability, ReliabilitySettings{});
  std::string target = project_bytes(sample_project());
  target.replace(target.find("\"targetLife\": 100.0"), 19, "\"targetLife\": 1e308");
  const auto t = parse_project(target);
  ASSERT_TRUE(t.ok()) << t.refusal().message;
  EXPECT_TRUE(names(*t, "/assessment", "at most 1000 a")) << skipped_list(*t);
}

// A member's update: its typed errors, its measurements at inspection and its last result come
// back as they were; a member without one writes no "update" (files of earlier versions keep
// their bytes).
UpdateRecord sample_update() {
  UpdateRecord u;
  u.depthCov = 0.15;
  u.corrosionDepth = MeasuredRecord{0.04, 0.01};
  u.typedDepths = inspect::CarbonationInput{{11, 12.5}, 41.5};
  UpdateOutcome o;
  o.samples = 20000;
  o.seed = 7;
  o.targetAge = 60;
  o.method = "tempered";
  o.draws = 35526;
  o.effective = 20684.25;
  o.paretoK = 0.5;
  o.passed = true;
  o.priorP = {0.923, 0.4, 0.09};
  o.posteriorP = {0.439, 0.12, 0.007};
  o.posteriorSe = {0.004, 0.002, 0.0005};
  o.priorBeta = {"-1.426", "0.253", "1.341"};
  o.posteriorBeta = {"0.153", "1.175", "> 4.107"};
  u.last = o;
  return u;
}

TEST(ProjectFile, KeepsAMembersUpdateSettingsAndLastResult) {
  Project p = sample_project();
  const std::string before = project_bytes(p);
  EXPECT_EQ(before.find("\"update\""), std::string::npos);
  p.members[1].update = sample_update();
  UpdateRecord settingsOnly;
  settingsOnly.profileSd = 0.3;
  settingsOnly.crackWidth = MeasuredRecord{0.2, 0.05};
  p.members[0].update = settingsOnly;
  const std::string bytes = project_bytes(p);
  const auto opened = parse_project(bytes);
  ASSERT_TRUE(opened.ok()) << opened.refusal().message;
  EXPECT_TRUE(opened->skipped.empty()) << skipped_list(*opened);
  EXPECT_TRUE(opened->project == p);
  EXPECT_EQ(project_bytes(opened->project), bytes);
}

// What an update record holds is checked like every other entry: a value without a meaning is
// named and left out, the rest of the member kept; a last result that is not whole is left out
// whole (it is a record of what was shown, not a thing to mend).
TEST(ProjectFile, NamesUpdateEntriesWithoutAMeaning) {
  Project p = sample_project();
  p.members[1].update = sample_update();
  const std::string good = project_bytes(p);
  const std::string member = "members[1] 柱 C-3/update";
  struct Case {
    std::string from, to;
    std::string where, said;
    bool settingsKept;  // the depth CoV survives
    bool lastKept;
  };
  const Case cases[] = {
      {"\"depthCov\": 0.15", "\"depthCov\": 0.0", member + "/depthCov", "not a number from 0.001",
       false, true},
      {"\"depthCov\": 0.15", "\"depthCov\": \"0.15\"", member + "/depthCov", "not a number", false,
       true},
      {"\"value\": 0.04", "\"value\": 500.0", member + "/corrosionDepth", "meaningless", true,
       true},
      {"\"value\": 0.04", "\"value\": -1.0", member + "/corrosionDepth/value", "not a number", true,
       true},
      {"\"method\": \"tempered\"", "\"method\": \"magic\"", member + "/last", "meaningless", true,
       false},
      {"\"effective\": 20684.25", "\"effective\": 1e9", member + "/last", "meaningless", true,
       false},
      {"0.923", "1.923", member + "/last", "meaningless", true, false},
      {"\"> 4.107\"", std::string("\"") + std::string(50, 'x') + "\"", member + "/last",
       "meaningless", true, false},
      {"\"seed\": 7", "\"seed\": -7", member + "/last", "meaningless", true, false},
      {"\"depthCov\": 0.15", "\"depthCov\": 0.15, \"sampler\": 3", member + "/sampler",
       "unknown entry", true, true},
      {"\"ageYears\": 41.5", "\"ageYears\": \"41.5\"", member + "/typedDepths/ageYears",
       "not of the expected kind", true, true},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    const auto at = bytes.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.from;
    bytes.replace(at, c.from.size(), c.to);
    const auto r = parse_project(bytes);
    ASSERT_TRUE(r.ok()) << c.to << ": " << r.refusal().message;
    EXPECT_TRUE(names(*r, c.where, c.said)) << c.to << "\n" << skipped_list(*r);
    ASSERT_EQ(r->project.members.size(), 3U);
    const Member& m = r->project.members[1];
    EXPECT_EQ(m.boxes, p.members[1].boxes) << c.to;
    ASSERT_TRUE(m.update.has_value()) << c.to;
    EXPECT_EQ(m.update->depthCov.has_value(), c.settingsKept) << c.to;
    EXPECT_EQ(m.update->last.has_value(), c.lastKept) << c.to;
  }
  // An update that is not an object is named and the member kept without one.
  std::string bytes = good;
  const auto at = bytes.find("\"update\": {");
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 11, "\"update\": 5, \"ignored\": {");
  const auto r = parse_project(bytes);
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(names(*r, member, "not an object")) << skipped_list(*r);
  EXPECT_FALSE(r->project.members[1].update.has_value());
}

// A file of a million parts that cannot be read names the first thousand and counts the rest.
TEST(ProjectFile, NamesAThousandSkippedPartsAndCountsTheRest) {
  std::string members;
  for (int i = 0; i < 1500; ++i) {
    members += (i > 0 ? "," : "") + std::string("{\"name\": \"m") + std::to_string(i) +
               "\", \"sheet\": \"sulphate\"}";
  }
  const auto r = parse_project(head("\"members\": [" + members + "]"));
  ASSERT_TRUE(r.ok()) << r.refusal().message;
  // The settings and the structure missing (3), then the members.
  ASSERT_EQ(r->skipped.size(), kMaxSkippedNamed + 1);
  EXPECT_EQ(r->skipped.back().where, "…");
  EXPECT_NE(r->skipped.back().message.find("503 more parts were skipped"), std::string::npos)
      << r->skipped.back().message;
}

// The program never writes what it would refuse to read.
TEST(ProjectFile, DoesNotSaveAProjectBeyondTheLimits) {
  const fs::path dir = scratch("limits");
  const fs::path file = dir / "p.pellucor";
  Project p = sample_project();
  save_project(file.string(), p);
  const std::string before = read(file);
  p.members[1].name = std::string(201, 'x');
  EXPECT_TRUE(check_limits(p).has_value());
  try {
    save_project(file.string(), p);
    ADD_FAILURE() << "saved a member name of 201 characters";
  } catch (const SaveError& e) {
    EXPECT_NE(std::string(e.what()).find("members[1]/name"), std::string::npos) << e.what();
    EXPECT_NE(e.text.find("未保存"), std::string::npos);
  }
  EXPECT_EQ(read(file), before);
  fs::remove_all(dir);
}

// ---- What it skips, named -------------------------------------------------------------------

TEST(ProjectFile, ReadsANewerFileAndNamesWhatItSkips) {
  std::string bytes = project_bytes(sample_project());
  bytes.replace(bytes.find("\"schemaVersion\": 1"), 18, "\"schemaVersion\": 2");
  bytes.replace(bytes.find("\"structure\": {"), 14,
                "\"drawings\": [\"a.dwg\"],\n  \"structure\": {");
  bytes.replace(bytes.find("\"sheet\": \"carbonation\""), 22,
                "\"sheet\": \"carbonation\", \"photos\": 3");
  const auto r = parse_project(bytes);
  ASSERT_TRUE(r.ok()) << r.refusal().message;
  EXPECT_TRUE(r->newerVersion);
  EXPECT_EQ(r->fileVersion, 2);
  EXPECT_TRUE(r->lossy());
  EXPECT_TRUE(names(*r, "schemaVersion", "newer version")) << skipped_list(*r);
  EXPECT_TRUE(names(*r, "/drawings", "unknown entry")) << skipped_list(*r);
  EXPECT_TRUE(names(*r, "members[1] 柱 C-3/photos", "unknown entry")) << skipped_list(*r);
  EXPECT_EQ(r->skipped.size(), 3U) << skipped_list(*r);
  // What it knows is read all the same.
  EXPECT_EQ(r->project.members.size(), 3U);
  EXPECT_EQ(r->project.structure.engineer, "张工");
}

TEST(ProjectFile, NamesEveryPartOfAMemberItCannotTake) {
  std::string bytes = project_bytes(sample_project());
  // An unknown sheet, a box the sheet does not have, a text of the wrong kind, settings out of
  // their meaning, and a cover the sheet's range refuses.
  bytes.replace(bytes.find("\"sheet\": \"admixed\""), 18, "\"sheet\": \"sulphate\"");
  bytes.replace(bytes.find("\"Text9\": \"20\""), 13, "\"Text9\": \"20\", \"Text19\": \"4\"");
  bytes.replace(bytes.find("\"Text6\": \"60\""), 13, "\"Text6\": 60");
  bytes.replace(bytes.find("\"gamma\": 1.2"), 12, "\"gamma\": -1");
  bytes.replace(bytes.find("\"Text5\": \"40 \""), 14, "\"Text5\": \"95\"");
  const auto r = parse_project(bytes);
  ASSERT_TRUE(r.ok()) << r.refusal().message;
  const std::string list = skipped_list(*r);
  EXPECT_TRUE(names(*r, "members[2] 板 S1", "unknown sheet 'sulphate'")) << list;
  EXPECT_TRUE(names(*r, "members[1] 柱 C-3/boxes/Text19", "no such box")) << list;
  EXPECT_TRUE(names(*r, "members[1] 柱 C-3/boxes/Text6", "not a string")) << list;
  EXPECT_TRUE(names(*r, "/assessment", "gamma")) << list;
  // The sheet's own message for the cover of 95 mm; the text stays as it was typed.
  EXPECT_TRUE(names(*r, "members[0] 主梁 B1（北侧）/Text5", "'95'")) << list;
  bool sheetMessage = false;
  for (const auto& s : r->skipped) {
    sheetMessage |=
        s.text.find("您输入的保护层厚度不在有效范围！请输入 3--90 间的数!") != std::string::npos;
  }
  EXPECT_TRUE(sheetMessage) << list;
  ASSERT_EQ(r->project.members.size(), 2U);
  EXPECT_EQ(r->project.members[0].boxes.at(Control::Text5), "95");
  EXPECT_FALSE(r->project.members[1].boxes.contains(Control::Text6));
  EXPECT_EQ(r->project.assessment, assess::Settings{});
  EXPECT_EQ(r->skipped.size(), 5U) << list;
}

// A box whose text is not wholly a number is named by the member's and the box's names (the
// sheet would read "4O" as 4); the other texts are still checked by the sheet.
TEST(ProjectFile, NamesABoxThatIsNotANumberByItsNames) {
  Project p = sample_project();
  Member& m = p.members[0];
  m.boxes[Control::Text5] = "4O";
  m.boxes[Control::Text6] = "200";  // out of the inspection age's range
  const auto skipped = check_member(m, "members[0] " + m.name);
  ASSERT_EQ(skipped.size(), 2U);
  EXPECT_EQ(skipped[0].where, "members[0] " + m.name + "/Text5");
  EXPECT_EQ(skipped[0].shown, "构件“" + m.name + "”");
  EXPECT_EQ(skipped[0].text, "“保护层厚度”的文本 '4O' 不是数。");
  EXPECT_EQ(skipped[1].shown, skipped[0].shown);
  EXPECT_NE(skipped[1].text.find("检测时间"), std::string::npos) << skipped[1].text;
}

// The sample members are taken whole by their sheets; one typed from a sheet's window plays
// back to the same calculation.
TEST(ProjectFile, MembersPlayBackIntoTheirSheets) {
  const Project p = sample_project();
  for (const auto& m : p.members) EXPECT_TRUE(check_member(m, m.name).empty()) << m.name;

  const sheet::Module& sheet = *modules::find_module("chloride-constant");
  batch::MemoryView view(sheet.table());
  batch::CaseRunner runner(sheet, view, {});
  runner.type(member_entries(p.members[0]));
  ASSERT_TRUE(runner.calculate().done());
  const Member again = member_from_view("again", sheet, view);
  EXPECT_EQ(again.boxes.size(), sheet.table().fields.size());
  EXPECT_EQ(again.steel, "2 变形钢筋");
  EXPECT_EQ(again.options, std::vector{Control::Option1});
  const batch::CaseResult a = batch::run_case(sheet, member_entries(p.members[0]));
  const batch::CaseResult b = batch::run_case(sheet, member_entries(again));
  ASSERT_TRUE(a.done && b.done);
  EXPECT_EQ(sheet::result_lines(a.record), sheet::result_lines(b.record));
}

// A sheet's members as a member table and back: every text as it was typed, a box left at the
// sheet's opening text either way, the steel and the options by their names.
TEST(ProjectFile, MembersGoToAMemberTableAndComeBack) {
  const Project p = sample_project();
  const sheet::SheetTable& table = modules::find_module("chloride-constant")->table();
  const MemberTable t = member_table(table, {&p.members[0]});
  ASSERT_EQ(t.rows.size(), 1U);
  EXPECT_EQ(t.header.back(), "扩散系数来源");
  EXPECT_EQ(t.rows[0][2], " 20");  // Text2, blanks kept
  EXPECT_EQ(t.rows[0].back(), "由实测氯浓度推算");
  const auto back = members_from_table(table, t.rows);
  ASSERT_TRUE(back.ok()) << back.refusal().message;
  ASSERT_EQ(back->size(), 1U);
  const Member& m = (*back)[0];
  EXPECT_EQ(m.name, p.members[0].name);
  EXPECT_EQ(m.steel, p.members[0].steel);
  EXPECT_EQ(m.options, p.members[0].options);
  for (const auto& [c, text] : p.members[0].boxes) {
    EXPECT_EQ(m.boxes.at(c), text.empty() ? std::string(sheet::kDefaultBoxText) : text)
        << sheet::control_name(c);
  }
  // The same result either way.
  const auto a = batch::run_case(*modules::find_module("chloride-constant"), member_entries(m));
  const auto b =
      batch::run_case(*modules::find_module("chloride-constant"), member_entries(p.members[0]));
  ASSERT_TRUE(a.done && b.done);
  EXPECT_EQ(sheet::result_lines(a.record), sheet::result_lines(b.record));

  struct Case {
    std::vector<std::vector<std::string>> rows;
    TableRefusal kind;
    std::string message;
  };
  const std::size_t steel = 1 + table.fields.size();
  auto row = [&](std::string name, std::string steelText = {}, std::string option = {}) {
    std::vector<std::string> r(t.header.size());
    r[0] = std::move(name);
    r[5] = "40";  // a cover
    r[steel] = std::move(steelText);
    r[steel + 1] = std::move(option);
    return r;
  };
  const Case cases[] = {
      {{row("B1"), row("")}, TableRefusal::NoName, "row 2 has no member name"},
      {{row("B1"), row("B1")}, TableRefusal::NameTwice, "'B1' is given twice (row 2)"},
      {{row("B1", "钢绞线")}, TableRefusal::UnknownSteel, "the steel '钢绞线'"},
      {{row("B1", "2", "9")}, TableRefusal::UnknownOption, "'9' is no option"},
      // Longer than a project holds: the project could not be saved with it.
      {{row("B1"), row(std::string(201, 'x'))}, TableRefusal::TooLong, "row 2: the member name"},
      {{row("B1", std::string(1001, '2'))}, TableRefusal::TooLong, "a text of 1001 characters"},
  };
  for (const auto& c : cases) {
    const auto r = members_from_table(table, c.rows);
    ASSERT_FALSE(r.ok()) << c.message;
    EXPECT_EQ(r.refusal().kind, c.kind);
    EXPECT_NE(r.refusal().message.find(c.message), std::string::npos) << r.refusal().message;
  }
  // A wholly empty row is no member.
  const auto empty = members_from_table(table, {std::vector<std::string>(t.header.size())});
  ASSERT_TRUE(empty.ok());
  EXPECT_TRUE(empty->empty());
}

// ---- Saving ---------------------------------------------------------------------------------

#ifndef _WIN32
TEST(SaveFile, KeepsTheOldVersionAsBackupAndItsPermissions) {
  const fs::path dir = scratch("backup");
  const fs::path file = dir / "工程.pellucor";
  save_file_keeping_backup(file.string(), "one\n");
  EXPECT_EQ(read(file), "one\n");
  EXPECT_FALSE(fs::exists(dir / "工程.pellucor.bak"));
  ::chmod(file.c_str(), 0600);
  save_file_keeping_backup(file.string(), "two\n");
  EXPECT_EQ(read(file), "two\n");
  EXPECT_EQ(read(dir / "工程.pellucor.bak"), "one\n");
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600U);
  ASSERT_EQ(::stat((dir / "工程.pellucor.bak").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600U);
  // A backup left more readable than the file (by hand, or from before the file was made
  // private) is narrowed before the older content goes into it.
  ::chmod((dir / "工程.pellucor.bak").c_str(), 0644);
  save_file_keeping_backup(file.string(), "three\n");
  EXPECT_EQ(read(dir / "工程.pellucor.bak"), "two\n");
  ASSERT_EQ(::stat((dir / "工程.pellucor.bak").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600U);
  // Nothing else is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
  fs::remove_all(dir);
}

TEST(SaveFile, ReplacesTheTargetOfALinkAndKeepsTheLink) {
  const fs::path dir = scratch("link");
  write(dir / "real.pellucor", "old");
  fs::create_symlink("real.pellucor", dir / "link.pellucor");
  save_file_keeping_backup((dir / "link.pellucor").string(), "new");
  EXPECT_TRUE(fs::is_symlink(dir / "link.pellucor"));
  EXPECT_EQ(read(dir / "real.pellucor"), "new");
  EXPECT_EQ(read(dir / "real.pellucor.bak"), "old");
  fs::remove_all(dir);
}

// An access list in the kernel's form (the value of system.posix_acl_access): the owner, the
// owning group, named groups, the mask and others, each with its rwx bits.
std::string access_list(unsigned owner, unsigned group,
                        std::vector<std::pair<gid_t, unsigned>> named, unsigned mask,
                        unsigned other) {
  std::string acl;
  auto put32 = [&acl](std::uint32_t v) { acl.append(reinterpret_cast<const char*>(&v), 4); };
  auto entry = [&](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
    acl.append(reinterpret_cast<const char*>(&tag), 2);
    acl.append(reinterpret_cast<const char*>(&perm), 2);
    put32(id);
  };
  constexpr std::uint32_t kNoId = 0xFFFFFFFF;
  put32(2);  // the version
  entry(0x01, static_cast<std::uint16_t>(owner), kNoId);
  entry(0x04, static_cast<std::uint16_t>(group), kNoId);
  for (const auto& [gid, perm] : named) entry(0x08, static_cast<std::uint16_t>(perm), gid);
  entry(0x10, static_cast<std::uint16_t>(mask), kNoId);
  entry(0x20, static_cast<std::uint16_t>(other), kNoId);
  return acl;
}

std::optional<std::string> access_list_of(const fs::path& p) {
  char buffer[256];
  const ssize_t n = ::getxattr(p.c_str(), "system.posix_acl_access", buffer, sizeof buffer);
  if (n < 0) return std::nullopt;
  return std::string(buffer, static_cast<std::size_t>(n));
}

// A backup is never more readable than its project: it takes the project's mode, group and
// access list, whatever an older backup had (0640 in another group, a list granting a group
// what the project's denies it).
TEST(SaveFile, TheBackupTakesTheProjectsModeGroupAndAccessList) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a file another group needs root";
  const fs::path dir = scratch("backup-permissions");
  const fs::path file = dir / "工程.pellucor";
  const fs::path bak = dir / "工程.pellucor.bak";
  write(file, "one");
  write(bak, "older");
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  ASSERT_EQ(::chown(file.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(bak.c_str(), 0660), 0);
  ASSERT_EQ(::chown(bak.c_str(), 0, 1), 0);  // the older backup in another group
  const std::string denied = access_list(6, 4, {{1, 0}}, 4, 0);   // group 1 may not read
  const std::string granted = access_list(6, 4, {{1, 6}}, 6, 4);  // group 1 may write
  const bool lists =
      ::setxattr(file.c_str(), "system.posix_acl_access", denied.data(), denied.size(), 0) == 0 &&
      ::setxattr(bak.c_str(), "system.posix_acl_access", granted.data(), granted.size(), 0) == 0;
  save_file_keeping_backup(file.string(), "two");
  EXPECT_EQ(read(file), "two");
  EXPECT_EQ(read(bak), "one");
  struct stat project {};
  struct stat backup {};
  ASSERT_EQ(::stat(file.c_str(), &project), 0);
  ASSERT_EQ(::stat(bak.c_str(), &backup), 0);
  EXPECT_EQ(backup.st_gid, project.st_gid);
  EXPECT_EQ(backup.st_uid, project.st_uid);
  EXPECT_EQ(backup.st_mode & 07777, project.st_mode & 07777);
  if (lists) {
    EXPECT_EQ(access_list_of(bak), access_list_of(file));
    // A project without a list of its own: the backup keeps none either.
    ASSERT_EQ(::removexattr(file.c_str(), "system.posix_acl_access"), 0);
    ASSERT_EQ(::setxattr(bak.c_str(), "system.posix_acl_access", granted.data(), granted.size(), 0),
              0);
    save_file_keeping_backup(file.string(), "three");
    EXPECT_EQ(read(bak), "two");
    EXPECT_FALSE(access_list_of(bak)) << "the older backup's list stayed";
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
  fs::remove_all(dir);
}

// Under the backup's name a link (to another file, or to the project itself), a pipe or a
// device is replaced by a regular file holding the old content: never written through, waited
// on, or taken as a reason not to save.
TEST(SaveFile, WhatIsNoFileUnderTheBackupsNameIsReplacedByTheBackup) {
  struct Case {
    const char* what;
    std::function<bool(const fs::path& bak, const fs::path& dir)> make;  // false: cannot here
  };
  const Case cases[] = {
      {"a link to another file",
       [](const fs::path& bak, const fs::path& dir) {
         write(dir / "victim", "victim");
         fs::create_symlink("victim", bak);
         return true;
       }},
      {"a link to the project itself",
       [](const fs::path& bak, const fs::path&) {
         fs::create_symlink("a.pellucor", bak);
         return true;
       }},
      {"a link to nowhere",
       [](const fs::path& bak, const fs::path&) {
         fs::create_symlink("nowhere", bak);
         return true;
       }},
      {"a pipe",
       [](const fs::path& bak, const fs::path&) { return ::mkfifo(bak.c_str(), 0644) == 0; }},
      {"a device",
       [](const fs::path& bak, const fs::path&) {
         return ::mknod(bak.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;  // like /dev/null
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path dir = scratch("backup-kind");
    const fs::path file = dir / "a.pellucor";
    const fs::path bak = dir / "a.pellucor.bak";
    write(file, "old");
    if (!c.make(bak, dir)) {
      fs::remove_all(dir);
      continue;  // a device needs root
    }
    ASSERT_NO_THROW(save_file_keeping_backup(file.string(), "new"));
    EXPECT_EQ(read(file), "new");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(bak)));
    EXPECT_EQ(read(bak), "old");
    if (fs::exists(dir / "victim")) {
      EXPECT_EQ(read(dir / "victim"), "victim");
    }
    fs::remove_all(dir);
  }
}

#else
TEST(SaveFilePosixByNature, SkippedOnWindows) {
  GTEST_SKIP() << "POSIX by nature: file modes, owners, groups and access lists, symbolic links, "
                  "FIFOs and device nodes under the backup's name";
}
#endif  // _WIN32

// When the backup cannot be written the target is left exactly as it was, with no stray file.
TEST(SaveFile, LeavesTheOldFileIntactWhenSavingFails) {
  const fs::path dir = scratch("fail");
  const fs::path file = dir / "a.pellucor";
  write(file, "precious");
  fs::create_directory(dir / "a.pellucor.bak");  // the backup's name is taken by a folder
  EXPECT_THROW(save_file_keeping_backup(file.string(), "new"), SaveError);
  EXPECT_EQ(read(file), "precious");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
  // A folder where the file should be, and a folder that does not exist.
  EXPECT_THROW(save_file_keeping_backup((dir / "a.pellucor.bak").string(), "x"), SaveError);
  try {
    save_file_keeping_backup((dir / "missing" / "b.pellucor").string(), "x");
    ADD_FAILURE() << "saved into a folder that does not exist";
  } catch (const SaveError& e) {
    EXPECT_NE(e.text.find("原文件未改动"), std::string::npos);
  }
  fs::remove_all(dir);
}

TEST(SaveFile, RefusesAProjectWithATextThatIsNotUtf8) {
  const fs::path dir = scratch("utf8");
  const fs::path file = dir / "a.pellucor";
  write(file, "precious");
  Project p;
  p.structure.name = "\xb9\xa4\xb3\xcc";  // GBK bytes
  EXPECT_THROW(save_project(file.string(), p), SaveError);
  EXPECT_EQ(read(file), "precious");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pellucor::analysis::project
