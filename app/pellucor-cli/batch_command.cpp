#include "batch_command.hpp"

#include <unistd.h>

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
#include "arguments.hpp"
#include "modules/registry.hpp"
#include "sheet/safe_output.hpp"

namespace pellucor::cli {

namespace {

namespace batch = pellucor::analysis::batch;

constexpr std::string_view kUsage =
    "Usage: pellucor-cli batch SHEET [IN.csv|-] [-o OUT.csv|OUT.xlsx|-] [--encoding utf-8|gbk]\n"
    "                          [--input-encoding utf-8|gbk] [--jobs N]\n"
    "\n"
    "Runs every row of a member table through the sheet, as if its texts were typed into the\n"
    "boxes in tab order and Calculate pressed, and writes one output row per member.\n"
    "\n"
    "Input (a file, or standard input for - or nothing): CSV in UTF-8 (with or without BOM)\n"
    "or GBK, detected; when the bytes read both ways (or a UTF-8 file holds a stray byte)\n"
    "the command stops, names the line and asks for --input-encoding. A quoted cell may hold\n"
    "line breaks. The first row names the columns: control names (Text1.., Option1..,\n"
    "Combo1), aliases or the Chinese labels of the boxes ('pellucor-cli --help SHEET' lists\n"
    "them), an option group's caption (its cell names the option), and 'member' for the\n"
    "member's name. An empty cell leaves its box at the default; Combo1 takes 1, 2, 3, an\n"
    "item or a steel name; an option column takes 1 (chosen) or 0.\n"
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
    "Members are read, run and written in blocks: memory stays bounded for any number.\n"
    "--jobs N runs the rows on N threads (default: one per core); the output is the same.\n"
    "Standard error: a progress bar when it is a terminal, and a summary line.\n"
    "Exit status: 0 every member computed and the output written; 2 some member stopped at a\n"
    "message, was malformed or failed, or the output could not be written after the run\n"
    "(nothing saved: an earlier file stays as it was); 1 usage or file error found before\n"
    "any member runs (an unknown or repeated column, an input that cannot be read or whose\n"
    "encoding cannot be told, an output that cannot be created or is the input).\n";

const std::vector<OptionSpec> kOptions = {
    {{"--output", "-o"}, "a file name", false},
    {{"--encoding"}, "utf-8 or gbk", false},
    {{"--input-encoding"}, "utf-8 or gbk", false},
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
  std::size_t used = 0;
  unsigned long v = 0;
  try {
    v = std::stoul(n, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != n.size() || n.empty() || n[0] == '-' || n[0] == '+' || v < 1 || v > 1024) {
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

int run(const std::vector<std::string>& words) {
  const Arguments args = parse_arguments(words, kOptions);
  if (args.has("--help")) {
    std::cout << kUsage;
    return kExitDone;
  }
  const auto& positional = args.positional();
  if (positional.empty()) throw UsageError("batch: no sheet given");
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
  try {
    reader = batch::MemberReader::open(input, reading);
  } catch (const batch::EncodingError& e) {
    throw std::runtime_error(encoding_problem(e));
  }
  const std::vector<batch::InputColumn> columns = batch::resolve_columns(table, reader->header());
  std::unique_ptr<batch::TableWriter> writer;
  batch::CsvTableWriter* csv = nullptr;
  if (workbook) {
    batch::check_fits_workbook(reader->members().value_or(0),
                               batch::output_header(table.number, reader->header()).size());
    writer = std::make_unique<batch::XlsxTableWriter>(out, table.cliName);
  } else {
    auto w = std::make_unique<batch::CsvTableWriter>(out, encoding);
    csv = w.get();
    writer = std::move(w);
  }

  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);
  std::signal(SIGHUP, on_interrupt);

  ProgressBar bar(isatty(STDERR_FILENO) != 0);
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
    std::cerr << "pellucor-cli: " << e.what() << "; the run stopped there, nothing was saved\n";
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

}  // namespace

int run_batch_command(const std::vector<std::string>& args) {
  return run_command("batch ", [&] { return run(args); });
}

}  // namespace pellucor::cli
