#include "batch_command.hpp"

#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/batch.hpp"
#include "analysis/batch/batch_job.hpp"
#include "analysis/batch/csv.hpp"
#include "analysis/batch/output_file.hpp"
#include "analysis/batch/result_columns.hpp"
#include "analysis/batch/workbook_reader.hpp"
#include "analysis/project/project.hpp"
#include "analysis/text/printable.hpp"
#include "arguments.hpp"
#include "modules/registry.hpp"
#include "platform/files.hpp"
#include "platform/processes.hpp"
#include "sheet/safe_output.hpp"

namespace pellucor::cli {

namespace {

namespace batch = pellucor::analysis::batch;
using pellucor::analysis::text::printable;

constexpr std::string_view kUsage =
    "Usage: pellucor-cli batch SHEET [IN.csv|IN.xlsx|-] [-o OUT.csv|OUT.xlsx|-]\n"
    "                          [--encoding utf-8|gbk]\n"
    "                          [--input-encoding utf-8|gbk] [--jobs N]\n"
    "       pellucor-cli batch PROJECT.pellucor [--sheet SHEET] [-o OUT.csv|OUT.xlsx|-]\n"
    "                          [--encoding utf-8|gbk] [--jobs N]\n"
    "\n"
    "Runs every row of a member table through the sheet, as if its texts were typed into the\n"
    "boxes in tab order and Calculate pressed, and writes one output row per member.\n"
    "\n"
    "Input (a file, or standard input for - or nothing): CSV in UTF-8 (with or without BOM)\n"
    "or GBK, detected; when the bytes read both ways (or a UTF-8 file holds a stray byte)\n"
    "the command stops, names the line and asks for --input-encoding. A quoted cell may hold\n"
    "line breaks. A name ending in .xlsx is read as a workbook: the rows of its first\n"
    "worksheet, the first row that holds anything as the header, empty rows left out (the\n"
    "whole sheet is read into memory). The first row names the columns: control names\n"
    "(Text1.., Option1.., Combo1), aliases or the Chinese labels of the boxes ('pellucor-cli\n"
    "--help SHEET' lists them), an option group's caption (its cell names the option), and\n"
    "'member' for the member's name. An empty cell leaves its box at the default; Combo1\n"
    "takes 1, 2, 3, an item or a steel name; an option column takes 1 (chosen) or 0. A\n"
    "table the desktop program's member table exported (CSV or workbook) is read as it\n"
    "stands: a label with its unit in brackets, on one line or several, names its box, and\n"
    "the columns from its status column on (status, results) are not read.\n"
    "\n"
    "Output (-o; standard output without it or for -): the input columns, a status column\n"
    "('ok' or the first message with the control it names), then every report value, the\n"
    "end of the durable life t_d and the remaining life t_d - t. CSV in UTF-8 with BOM, or\n"
    "GBK with --encoding gbk; a text cell that a spreadsheet would take for a formula\n"
    "(=, +, -, @ first) is written after an apostrophe. A name ending in .xlsx writes an\n"
    "Excel workbook (at most 1048575 members; names and choices as text). A file is written\n"
    "whole or not at all: it appears (or replaces an earlier one, keeping its mode, owner\n"
    "and group) only when complete; a symbolic link is followed; a pipe or a folder is\n"
    "refused; /dev/stdout and devices are written as streams. The output is checked before\n"
    "any member runs and may not be the input file.\n"
    "\n"
    "A project file (a name ending in .pellucor, saved by the desktop program's 工程 menu)\n"
    "runs its members instead: each member's texts as its sheet's member table, a table per\n"
    "sheet in the order the sheets first appear among the members. With members of more\n"
    "than one sheet, each table is preceded by a line naming its sheet ('sheet: NAME\n"
    "(caption)') and the tables are separated by an empty line; --sheet keeps one sheet's\n"
    "members, whose table is then written as for SHEET IN.csv (a workbook holds one sheet's\n"
    "table: with several sheets it needs --sheet). Whatever the file holds that this program\n"
    "cannot take (a member of an unknown sheet, a box a sheet does not have, a part written by\n"
    "a newer version) is named on standard error, and so are members that share a name;\n"
    "when it concerns a member, or a member's text is refused by its sheet, the exit status\n"
    "is 2. A project file is damaged, or no project, and refused, when it is not JSON,\n"
    "nests deeper than 64 levels, is larger than 256 MiB, or holds a name, text or list\n"
    "longer than a project may (the message names the line and column, or the place).\n"
    "\n"
    "The rows of a member table are read, run and written in blocks: memory stays bounded\n"
    "for any number. A project is read whole before its members run (about 1.8 kB of memory\n"
    "a member: some 180 MB for 100000 members); cut a larger inventory into member tables.\n"
    "--jobs N runs the rows on N threads (default: one per core); the output is the same.\n"
    "Standard error: a progress bar when it is a terminal, and a summary line.\n"
    "Exit status: 0 every member computed and the output written; 2 some member stopped at a\n"
    "message, was malformed or failed, or the output could not be written after the run\n"
    "(nothing saved: an earlier file stays as it was); 1 usage or file error found before\n"
    "any member runs (an unknown or repeated column, an input that cannot be read or whose\n"
    "encoding cannot be told, an output that cannot be created or is the input).\n";

const std::vector<OptionRule> kOptions = {
    {{"--output", "-o"}, "a file name", false}, {{"--sheet"}, "a sheet", false},
    {{"--encoding"}, "utf-8 or gbk", false},    {{"--input-encoding"}, "utf-8 or gbk", false},
    {{"--jobs", "-j"}, "a number", false},
};

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

batch::Encoding encoding_named(const std::string& option, const std::string& given) {
  const std::string e = lower(given);
  if (e == "gbk" || e == "cp936") return batch::Encoding::Gbk;
  if (e == "utf-8" || e == "utf8") return batch::Encoding::Utf8Bom;
  throw UsageError("unknown encoding '" + given + "' for " + option + " (utf-8 or gbk)");
}

unsigned jobs_of(const std::string& n) {
  unsigned long v = 0;
  const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), v);
  if (ec != std::errc() || end != n.data() + n.size() || n.empty() || v < 1 || v > 1024) {
    throw UsageError("--jobs needs a number from 1 to 1024, not '" + n + "'");
  }
  return static_cast<unsigned>(v);
}

// A temporary output file is removed when the run is interrupted.
extern "C" void on_interrupt(int signal) {
  sheet::remove_pending_temporaries();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

class ProgressBar {
 public:
  explicit ProgressBar(bool shown) : shown_(shown) {}
  void show(std::size_t done, std::optional<std::size_t> total) {
    if (!shown_) return;
    std::string bar;
    if (total && *total > 0) {
      constexpr std::size_t kWidth = 40;
      const std::size_t filled = std::min(done, *total) * kWidth / *total;
      bar = "\r[" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "] " +
            std::to_string(std::min(done, *total) * 100 / *total) + "% " + std::to_string(done) +
            "/" + std::to_string(*total);
    } else {
      bar = "\r" + std::to_string(done) + " members";
    }
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
  }
  void finish() {
    if (drawn_) std::fputs("\n", stderr);
    drawn_ = false;
  }

 private:
  bool shown_;
  bool drawn_ = false;
};

std::string encoding_problem(const batch::EncodingError& e) {
  std::string text = e.what();
  if (e.asksForEncoding()) text += "; say which with --input-encoding utf-8 or gbk";
  return text + "; nothing was computed";
}

// The input as a message names it.
std::string input_name(const std::string& input) {
  return input == "-" ? std::string("standard input") : input;
}

bool is_project_name(const std::string& name) {
  const std::string ext(analysis::project::kExtension);
  return name.size() > ext.size() && lower(name.substr(name.size() - ext.size())) == ext;
}

int run_project(const Arguments& args, const std::string& path);

int run(const Arguments& args) {
  const auto& positional = args.positional();
  if (positional.empty()) throw UsageError("batch: no sheet given");
  if (is_project_name(positional[0])) {
    if (positional.size() > 1) throw UsageError("batch: a project takes no input file");
    return run_project(args, positional[0]);
  }
  if (args.has("--sheet")) throw UsageError("--sheet applies to a project");
  if (positional.size() > 2) throw UsageError("batch: more than one input file given");
  const std::string input = positional.size() == 2 ? positional[1] : "-";
  const std::string output = args.value("--output").value_or("-");
  const bool workbook = batch::is_workbook_name(output);
  batch::Encoding encoding = batch::Encoding::Utf8Bom;
  if (const auto e = args.value("--encoding")) {
    if (workbook) throw UsageError("--encoding applies to CSV output, not to a workbook");
    encoding = encoding_named("--encoding", *e);
  }
  batch::ReadOptions reading;
  if (const auto e = args.value("--input-encoding")) {
    reading.encoding = encoding_named("--input-encoding", *e);
  }
  reading.countMembers = workbook;
  batch::JobOptions job;
  if (const auto n = args.value("--jobs")) job.jobs = jobs_of(*n);

  const sheet::Module* module = modules::find_module(positional[0]);
  if (module == nullptr) {
    throw UsageError("unknown sheet '" + positional[0] +
                     "' (sheets: 1-5 or their names, see --help)");
  }
  const sheet::SheetTable& table = module->table();

  // Everything that can be refused is refused before the first member runs.
  refuse_same_files({{"the input", input, true}, {"the output", output, false}});
  sheet::SafeOutput out;
  open_output(out, "the output", output, false);
  reading.sheet = &table;
  std::unique_ptr<batch::MemberReader> reader;
  if (batch::is_workbook_name(input)) {
    // A workbook: its first worksheet, read whole (UTF-8, as every workbook holds its texts).
    if (args.has("--input-encoding")) {
      throw UsageError("--input-encoding applies to a CSV member table, not to a workbook");
    }
    reader = batch::MemberReader::of_table(batch::workbook_member_table(input));
  } else {
    try {
      reader = batch::MemberReader::open(input, reading);
    } catch (const batch::EncodingError& e) {
      throw std::runtime_error(input_name(input) + ": " + encoding_problem(e));
    }
  }
  const std::vector<batch::InputColumn> columns = batch::resolve_columns(table, reader->header());
  if (const auto earlier = batch::earlier_output_columns(reader->header()); !earlier.empty()) {
    std::cerr << "pellucor-cli: the " << earlier.size() << " column(s) from '" << earlier.front()
              << "' on hold the output of an earlier run; they are not read, and this run "
                 "writes its own\n";
  }
  std::unique_ptr<batch::TableWriter> writer;
  batch::CsvTableWriter* csv = nullptr;
  if (workbook) {
    batch::check_fits_workbook(reader->members().value_or(0),
                               columns.size() + 1 + batch::result_headers(table.number).size());
    writer = std::make_unique<batch::XlsxTableWriter>(out, table.cliName);
  } else {
    auto w = std::make_unique<batch::CsvTableWriter>(out, encoding);
    csv = w.get();
    writer = std::move(w);
  }

  platform::on_termination(on_interrupt);

  ProgressBar bar(platform::is_terminal(2));
  job.progress = [&bar](std::size_t done, std::optional<std::size_t> total) {
    bar.show(done, total);
  };
  batch::JobReport report;
  try {
    report = batch::run_batch_job(*module, columns, *reader, *writer, job);
    bar.finish();
    writer->finish();
  } catch (const batch::EncodingError& e) {
    bar.finish();
    out.abandon();
    std::cerr << "pellucor-cli: " << input_name(input) << ": " << e.what()
              << "; the run stopped there, nothing was saved\n";
    return kExitRefused;
  } catch (const batch::FileError& e) {
    bar.finish();
    out.abandon();
    std::cerr << "pellucor-cli: " << e.what() << '\n';
    return kExitIncomplete;
  }
  if (csv != nullptr && csv->lost() > 0) {
    std::cerr << "pellucor-cli: " << csv->lost()
              << " character(s) have no GBK form and are written as '?'\n";
  }
  if (const std::string note = threads_note(report.threads, report.refused, "members");
      !note.empty()) {
    std::cerr << "pellucor-cli: " << note << '\n';
  }
  std::cerr << "pellucor-cli: " << batch::summary_line(report.summary) << '\n';
  return report.summary.done == report.summary.rows ? kExitDone : kExitIncomplete;
}

// The members of a project, a member table per sheet.
int run_project(const Arguments& args, const std::string& path) {
  namespace project = analysis::project;
  if (args.has("--input-encoding")) {
    throw UsageError("--input-encoding applies to a member table, not to a project (UTF-8)");
  }
  const std::string output = args.value("--output").value_or("-");
  const bool workbook = batch::is_workbook_name(output);
  batch::Encoding encoding = batch::Encoding::Utf8Bom;
  if (const auto e = args.value("--encoding")) {
    if (workbook) throw UsageError("--encoding applies to CSV output, not to a workbook");
    encoding = encoding_named("--encoding", *e);
  }
  batch::JobOptions job;
  if (const auto n = args.value("--jobs")) job.jobs = jobs_of(*n);
  const sheet::Module* only = nullptr;
  if (const auto s = args.value("--sheet")) {
    only = modules::find_module(*s);
    if (only == nullptr) {
      throw UsageError("unknown sheet '" + *s + "' (sheets: 1-5 or their names, see --help)");
    }
  }

  refuse_same_files({{"the project", path, true}, {"the output", output, false}});
  const auto opened = project::open_project(path);
  if (!opened) {
    throw std::runtime_error(path + ": " + printable(opened.refusal().message) +
                             "; nothing was computed");
  }
  bool memberSkipped = false;
  for (const auto& k : opened->skipped) {
    std::cerr << "pellucor-cli: " << path << ": " << printable(k.where) << ": "
              << printable(k.message) << '\n';
    memberSkipped = memberSkipped || k.where.starts_with("members");
  }
  // Computed all the same (each row says its member's name): the names are the user's to mend.
  for (const auto* list : {&opened->repeatedNames, &opened->conflicts}) {
    for (const auto& k : *list) {
      std::cerr << "pellucor-cli: " << path << ": " << printable(k.where) << ": "
                << printable(k.message) << '\n';
    }
  }
  // The members by sheet, the sheets in the order they first appear.
  std::vector<std::pair<const sheet::Module*, std::vector<const project::Member*>>> sheets;
  for (const auto& m : opened->project.members) {
    const sheet::Module* module = project::module_of(m);
    if (module == nullptr || (only != nullptr && module != only)) continue;
    auto it = std::find_if(sheets.begin(), sheets.end(),
                           [&](const auto& s) { return s.first == module; });
    if (it == sheets.end()) it = sheets.insert(sheets.end(), {module, {}});
    it->second.push_back(&m);
  }
  if (sheets.empty()) {
    throw std::runtime_error(
        path + ": the project holds no member" +
        (only != nullptr ? " of the sheet " + std::string(only->table().cliName) : std::string()) +
        "; nothing was computed");
  }
  if (workbook && sheets.size() > 1) {
    std::string names;
    for (const auto& s : sheets) {
      names += (names.empty() ? "" : ", ") + std::string(s.first->table().cliName) + " (" +
               std::to_string(s.second.size()) + ")";
    }
    throw UsageError("a workbook holds one sheet's members, and the project has members of " +
                     std::to_string(sheets.size()) + " sheets: " + names +
                     "; choose one with --sheet");
  }
  sheet::SafeOutput out;
  open_output(out, "the output", output, false);

  platform::on_termination(on_interrupt);
  ProgressBar bar(platform::is_terminal(2));
  job.progress = [&bar](std::size_t done, std::optional<std::size_t> total) {
    bar.show(done, total);
  };
  batch::Summary all;
  unsigned threads = 0, refused = 0;
  std::size_t lost = 0;
  std::unique_ptr<batch::TableWriter> writer;
  try {
    for (std::size_t k = 0; k < sheets.size(); ++k) {
      const sheet::SheetTable& table = sheets[k].first->table();
      const project::MemberTable members = project::member_table(table, sheets[k].second);
      std::string text;
      batch::append_csv_line(text, members.header);
      for (const auto& row : members.rows) batch::append_csv_line(text, row);
      batch::ReadOptions reading;
      reading.encoding = batch::Encoding::Utf8;
      reading.sheet = &table;
      auto reader = batch::MemberReader::of_text(std::move(text), reading);
      const auto columns = batch::resolve_columns(table, reader->header());
      if (workbook) {
        writer = std::make_unique<batch::XlsxTableWriter>(out, table.cliName);
      } else {
        // One byte-order mark at the start of the output, none before a later table.
        batch::Encoding e =
            k > 0 && encoding == batch::Encoding::Utf8Bom ? batch::Encoding::Utf8 : encoding;
        if (sheets.size() > 1) {
          std::string title = k > 0 ? "\r\n" : "";
          batch::append_csv_line(title, {"sheet: " + std::string(table.cliName) + " (" +
                                         std::string(table.caption) + ")"});
          std::size_t titleLost = 0;
          if (auto f = out.write(batch::encode_text(title, e, &titleLost))) {
            throw batch::FileError(out.target(), *f);
          }
          lost += titleLost;
          if (e == batch::Encoding::Utf8Bom) e = batch::Encoding::Utf8;
        }
        auto w = std::make_unique<batch::CsvTableWriter>(out, e);
        writer = std::move(w);
      }
      const batch::JobReport report =
          batch::run_batch_job(*sheets[k].first, columns, *reader, *writer, job);
      if (auto* csv = dynamic_cast<batch::CsvTableWriter*>(writer.get())) lost += csv->lost();
      all.rows += report.summary.rows;
      all.done += report.summary.done;
      all.stopped += report.summary.stopped;
      all.malformed += report.summary.malformed;
      all.notRun += report.summary.notRun;
      all.failed += report.summary.failed;
      threads = std::max(threads, report.threads);
      refused = std::max(refused, report.refused);
    }
    bar.finish();
    writer->finish();
  } catch (const batch::FileError& e) {
    bar.finish();
    out.abandon();
    std::cerr << "pellucor-cli: " << e.what() << '\n';
    return kExitIncomplete;
  }
  if (lost > 0) {
    std::cerr << "pellucor-cli: " << lost
              << " character(s) have no GBK form and are written as '?'\n";
  }
  if (const std::string note = threads_note(threads, refused, "members"); !note.empty()) {
    std::cerr << "pellucor-cli: " << note << '\n';
  }
  std::cerr << "pellucor-cli: " << batch::summary_line(all) << '\n';
  return all.done == all.rows && !memberSkipped ? kExitDone : kExitIncomplete;
}

}  // namespace

int run_batch_command(const std::vector<std::string>& args) {
  return run_command("batch ", args, kOptions, kUsage, run);
}

}  // namespace pellucor::cli
