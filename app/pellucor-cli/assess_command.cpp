#include "assess_command.hpp"

#include <charconv>
#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/output_file.hpp"
#include "analysis/mc/problem.hpp"
#include "analysis/project/project.hpp"
#include "analysis/structure/assessment_table.hpp"
#include "analysis/structure/structure.hpp"
#include "analysis/text/printable.hpp"
#include "analysis/timeline.hpp"
#include "analysis/update/member_update.hpp"
#include "analysis/update/update.hpp"
#include "analysis/update/updated_grades.hpp"
#include "arguments.hpp"
#include "sheet/safe_output.hpp"

namespace pellucor::cli {

namespace {

namespace assess = analysis::assess;
namespace batch = analysis::batch;
namespace project = analysis::project;
namespace update = analysis::update;
using analysis::text::printable;

constexpr std::string_view kUsage =
    "Usage: pellucor-cli assess PROJECT.pellucor [-o TABLE.csv|TABLE.xlsx] [--t0 YEARS]\n"
    "                           [--target-life YEARS] [--gamma G] [--thresholds A,B]\n"
    "                           [--limits ti,tc,td] [--reliability [--samples N] [--seed S]\n"
    "                           [--target-beta B] [--updated [--depth-cov V]\n"
    "                           [--profile-sd S]]] [--jobs N]\n"
    "\n"
    "The assessment of a structure: every member of the project is played on its sheet (its\n"
    "texts typed and Calculate pressed), and for each limit state that counts the remaining\n"
    "life t_lim - t0 and the margin xi = (t_lim - t0) / (gamma (T - t0)) are taken; the\n"
    "member's grade is the worst over its limit states (a: xi >= A, b: B <= xi < A, c: below\n"
    "B or passed), the limit state that gives it governs. A limit state reached at or before\n"
    "t0 is reported as passed.\n"
    "\n"
    "The settings are the project's; an option given here replaces one for this run (the\n"
    "project file is not changed): --t0 the age at assessment (default: each member's\n"
    "inspection age), --target-life T, --gamma the factor on the remaining target life,\n"
    "--thresholds A,B the grade thresholds, --limits the limit states that count for every\n"
    "member without its own choice.\n"
    "--reliability also runs each member's reliability analysis (the project's samples,\n"
    "seed and target index of the end of the durable life unless given; each member's\n"
    "scatter as saved, the defaults otherwise) and grades it from beta: the margin with the\n"
    "age at which beta falls below its target in place of t_lim.\n"
    "--updated grades the members with inspection data (chloride profiles, carbonation\n"
    "readings, cover readings) from the posterior beta of their reliability analysis updated\n"
    "with those measurements (see mc --help: the errors by default from the readings' scatter\n"
    "and the fits' residuals, or --depth-cov and --profile-sd), and says so per member; the\n"
    "members without inspection data keep the grade of their prior run. An update that does\n"
    "not meet its diagnostics is not graded (the member's note says why).\n"
    "\n"
    "Standard output: the settings, the summary by grade with the worst members, and the table\n"
    "of members (tab-separated). Standard error: every part of the file that could not be\n"
    "read. Names and texts from the project are printed with their control characters as\n"
    "escapes (\\x1b shows as \\u001B). -o writes the table as CSV (UTF-8 with BOM) or a\n"
    "workbook, whole or not at all, checked before anything is computed.\n"
    "Exit status: 0 every member assessed and the table written; 2 some member could not be\n"
    "assessed (the table says why), a part of a member could not be read, or the table could\n"
    "not be written; 1 usage error, a project that cannot be read, one without members, two\n"
    "members of one name, assessment settings (or, with --reliability, reliability settings)\n"
    "that the file does not give as they are used or that have no meaning, or an output that\n"
    "cannot be created (nothing computed).\n";

const std::vector<OptionRule> kOptions = {
    {{"-o", "--output"}, "a file name", false},
    {{"--t0"}, "a number of years", false},
    {{"--target-life"}, "a number of years", false},
    {{"--gamma"}, "a number", false},
    {{"--thresholds"}, "A,B", false},
    {{"--limits"}, "a list such as ti,tc,td", false},
    {{"--reliability"}, {}, false},
    {{"--samples"}, "a number", false},
    {{"--seed"}, "a number", false},
    {{"--target-beta"}, "a number", false},
    {{"--jobs", "-j"}, "a number", false},
    {{"--updated"}, {}, false},
    {{"--depth-cov"}, "a number", false},
    {{"--profile-sd"}, "a number", false},
};

std::vector<std::string> split_list(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (true) {
    const auto comma = text.find(',', start);
    out.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

void apply_options(const Arguments& args, project::Project& p) {
  assess::Settings& s = p.assessment;
  if (const auto v = args.value("--t0")) s.assessmentAge = number_of<double>("--t0", *v);
  if (const auto v = args.value("--target-life")) {
    s.targetLife = number_of<double>("--target-life", *v);
  }
  if (const auto v = args.value("--gamma")) s.gamma = number_of<double>("--gamma", *v);
  if (const auto v = args.value("--thresholds")) {
    const auto parts = split_list(*v);
    if (parts.size() != 2) throw UsageError("--thresholds needs two numbers A,B (e.g. 1.8,1.0)");
    s.thresholdA = number_of<double>("--thresholds", parts[0]);
    s.thresholdB = number_of<double>("--thresholds", parts[1]);
  }
  if (const auto v = args.value("--limits")) {
    s.limitStates.clear();
    for (const std::string& key : split_list(*v)) {
      const auto state = assess::limit_state_from_key(key);
      if (!state) throw UsageError("unknown limit state '" + key + "' in --limits (ti, tc, td)");
      s.limitStates.push_back(*state);
    }
  }
  if (const auto v = args.value("--samples")) {
    p.reliability.samples = number_of<std::uint64_t>("--samples", *v);
  }
  if (const auto v = args.value("--seed")) {
    p.reliability.seed = number_of<std::uint64_t>("--seed", *v);
  }
  if (const auto v = args.value("--target-beta")) {
    p.reliability.targetBeta = number_of<double>("--target-beta", *v);
  }
  if (args.has("--samples") || args.has("--target-beta")) {
    if (const auto bad = project::check_reliability_settings(p.reliability)) {
      const bool samples =
          p.reliability.samples < 1 || p.reliability.samples > analysis::mc::kMaxSamples;
      throw UsageError(std::string(samples ? "--samples" : "--target-beta") + ": " + bad->message);
    }
  }
}

void print_table(const assess::AssessmentTable& t, std::ostream& out) {
  const auto line = [&out](const std::vector<std::string>& cells) {
    // A tab or a line break in a cell shows as its escape: the columns stay where they are.
    for (std::size_t i = 0; i < cells.size(); ++i)
      out << (i == 0 ? "" : "\t") << printable(cells[i]);
    out << '\n';
  };
  line(t.header);
  for (const auto& row : t.rows) line(row);
}

int run(const Arguments& args) {
  const auto& positional = args.positional();
  if (positional.empty()) throw UsageError("assess: no project file given");
  if (positional.size() > 1) throw UsageError("assess: more than one project file given");
  const bool reliability = args.has("--reliability");
  for (const char* only : {"--samples", "--seed", "--target-beta", "--updated"}) {
    if (!reliability && args.has(only)) {
      throw UsageError(std::string(only) + " applies to the reliability runs (--reliability)");
    }
  }
  const bool updated = args.has("--updated");
  for (const char* only : {"--depth-cov", "--profile-sd"}) {
    if (!updated && args.has(only)) {
      throw UsageError(std::string(only) + " applies to the updated runs (--updated)");
    }
  }
  update::TypedErrors errors;
  if (const auto v = args.value("--depth-cov"))
    errors.depthCov = number_of<double>("--depth-cov", *v);
  if (const auto v = args.value("--profile-sd")) {
    errors.profileSd = number_of<double>("--profile-sd", *v);
  }
  unsigned jobs = 0;
  if (const auto v = args.value("--jobs")) {
    jobs = number_of<unsigned>("--jobs", *v);
    if (jobs < 1 || jobs > 1024) throw UsageError("--jobs needs a number from 1 to 1024");
  }
  const std::string path = positional[0];
  const auto output = args.value("-o");
  if (output) refuse_same_files({{"the project", path, true}, {"-o", *output, false}});

  auto opened = project::open_project(path);
  if (!opened) {
    std::cerr << "pellucor-cli: " << path << ": " << printable(opened.refusal().message)
              << "; nothing was computed\n";
    return kExitRefused;
  }
  project::Project p = opened->project;
  if (opened->newerVersion) {
    std::cerr << "pellucor-cli: " << path << " was written by a newer version (schema "
              << opened->fileVersion << "); what this version does not know is skipped\n";
  }
  bool memberSkipped = false;
  for (const auto& s : opened->skipped) {
    std::cerr << "pellucor-cli: skipped " << printable(s.where) << ": " << printable(s.message)
              << '\n';
    memberSkipped = memberSkipped || s.where.starts_with("members");
  }
  for (const auto& s : opened->conflicts) {
    std::cerr << "pellucor-cli: " << printable(s.where) << ": " << printable(s.message) << '\n';
  }
  for (const auto& s : opened->repeatedNames) {
    std::cerr << "pellucor-cli: " << printable(s.where) << ": " << printable(s.message) << '\n';
  }
  if (const auto refused = assess::check_opened(opened->project, opened->skipped, reliability)) {
    std::cerr << "pellucor-cli: " << path << ": " << printable(refused->message)
              << "; nothing was computed\n";
    return kExitRefused;
  }
  apply_options(args, p);

  sheet::SafeOutput out;
  std::unique_ptr<batch::TableWriter> writer;
  if (output) {
    open_output(out, "-o", *output, true, "the summary goes");
    if (batch::is_workbook_name(*output)) {
      batch::check_fits_workbook(p.members.size(), 12);
      writer = std::make_unique<batch::XlsxTableWriter>(out, "assessment");
    } else {
      writer = std::make_unique<batch::CsvTableWriter>(out, batch::Encoding::Utf8Bom);
    }
  }

  assess::StructureOptions options;
  options.reliability = reliability;
  options.threads = jobs;
  const auto assessed = assess::assess_structure(p, options);
  if (!assessed) {
    if (output) out.abandon();
    std::cerr << "pellucor-cli: " << assessed.refusal().message << "; nothing was computed\n";
    return kExitRefused;
  }
  assess::StructureAssessment s = *assessed;
  std::vector<std::string> updateLines;
  if (updated) updateLines = update::grade_updated(p, errors, s).lines;
  std::cout << "project: " << printable(s.structure.name)
            << "; structure: " << printable(s.structure.structure)
            << "; engineer: " << printable(s.structure.engineer)
            << "; date: " << printable(s.structure.date) << '\n';
  for (const std::string& l : assess::settings_lines(s.settings)) std::cout << l << '\n';
  if (reliability) {
    std::cout << "reliability: " << s.mcSettings.samples << " samples, seed " << s.mcSettings.seed
              << ", target beta " << s.mcSettings.targetBeta << " (t_d), "
              << s.mcSettings.targetBetaCracking << " (t_c), " << s.mcSettings.targetBetaInitiation
              << " (t_i), read at the target life\n";
  }
  for (const std::string& l : updateLines) std::cout << printable(l) << '\n';
  for (const std::string& l : assess::grade_summary_lines(s)) std::cout << printable(l) << '\n';
  for (const std::string& l : assess::grade_summary_english(s)) {
    std::cout << printable(l) << '\n';
  }
  assess::AssessmentTable table = assess::assessment_table(s);
  if (updated) {
    // The note of each member says where its beta grade comes from.
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
      const assess::MemberResult& m = s.members[i];
      if (!m.reliability) continue;
      std::string& note = table.rows[i].back();
      const bool withData = !update::measurements_of(p.members[i]).empty();
      note +=
          std::string(note.empty() ? "" : "；") +
          (withData ? "按 β 的等级取自按检测数据更新后的后验" : "无检测数据：按 β 的等级为先验");
    }
  }
  print_table(table, std::cout);

  bool complete = s.summary.notAssessed == 0 && !memberSkipped;
  if (writer) {
    try {
      writer->header(table.header, table.textColumns, table.header.size() - 1);
      std::vector<std::size_t> lines(table.rows.size(), 0);
      writer->rows(table.rows, table.notAssessed, lines);
      writer->finish();
      std::cout << "table written to " << *output << '\n';
    } catch (const batch::FileError& e) {
      out.abandon();
      std::cout.flush();
      std::cerr << "pellucor-cli: the table was not written: " << e.what() << '\n';
      complete = false;
    }
  }
  return complete ? kExitDone : kExitIncomplete;
}

}  // namespace

int run_assess_command(const std::vector<std::string>& args) {
  return run_command("assess ", args, kOptions, kUsage, run);
}

}  // namespace pellucor::cli
