// The project file: a round trip gives the same bytes, Chinese included; damaged, foreign and
// newer files are refused or read with everything skipped named; members a sheet would not
// take are named; saving keeps the old file until the new one is complete, and keeps a backup.
#include "analysis/project/project.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "analysis/project/save_file.hpp"
#include "modules/registry.hpp"
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
  const fs::path dir = fs::temp_directory_path() /
                       ("pellucor-project-test-" + std::to_string(::getpid()) + "-" + name);
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

// ---- What it skips, named -------------------------------------------------------------------

bool names(const OpenReport& r, const std::string& where, const std::string& part) {
  for (const auto& s : r.skipped) {
    if (s.where == where && s.message.find(part) != std::string::npos && !s.text.empty())
      return true;
  }
  return false;
}

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
