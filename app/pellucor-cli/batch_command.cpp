#include "batch_command.hpp"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/batch.hpp"
#include "analysis/batch/csv.hpp"
#include "analysis/batch/output_file.hpp"
#include "modules/registry.hpp"

namespace pellucor::cli {

namespace {

namespace batch = pellucor::analysis::batch;

constexpr int kStatusDone = 0;
constexpr int kStatusUsage = 1;
constexpr int kStatusStopped = 2;

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr std::string_view kUsage =
    "Usage: pellucor-cli batch SHEET [IN.csv|-] [-o OUT.csv|OUT.xlsx|-] [--encoding utf-8|gbk]\n"
    "                          [--jobs N]\n"
    "\n"
    "Runs every row of a member table through the sheet, as if its texts were typed into the\n"
    "boxes in tab order and Calculate pressed, and writes one output row per member.\n"
    "\n"
    "Input (a file, or standard input for - or nothing): CSV in UTF-8 (with or without BOM)\n"
    "or GBK. The first row names the columns: control names (Text1.., Option1.., Combo1),\n"
    "aliases or the Chinese labels of the boxes ('pellucor-cli --help SHEET' lists them), an\n"
    "option group's caption (its cell names the option), and 'member' for the member's name.\n"
    "An empty cell leaves its box at the default; Combo1 takes 1, 2, 3 or an item; an option\n"
    "column takes 1 (chosen) or 0.\n"
    "\n"
    "Output (-o; standard output without it or for -): the input columns, a status column\n"
    "('ok' or the first message with the control it names), then every report value, the\n"
    "end of the durable life t_d and the remaining life t_d - t. CSV in UTF-8 with BOM, or\n"
    "GBK with --encoding gbk; a name ending in .xlsx writes an Excel workbook. A file is\n"
    "written under a temporary name beside it and renamed when complete.\n"
    "\n"
    "--jobs N runs the rows on N threads (default: one per core); the output is the same.\n"
    "Standard error: a progress bar when it is a terminal, and a summary line.\n"
    "Exit status: 0 every member computed, 2 some member stopped at a message or was\n"
    "malformed, 1 usage or file error (an unknown or repeated column: before any row runs).\n";

struct Arguments {
  std::string sheet;
  std::string input = "-";
  std::string output = "-";
  batch::Encoding encoding = batch::Encoding::Utf8Bom;
  unsigned jobs = 0;
  bool help = false;
};

bool ends_with_xlsx(const std::string& name) {
  if (name.size() < 5) return false;
  std::string tail = name.substr(name.size() - 5);
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return tail == ".xlsx";
}

Arguments parse(int argc, char** argv) {
  Arguments args;
  std::vector<std::string> positional;
  bool outputGiven = false;
  bool encodingGiven = false;
  bool jobsGiven = false;
  auto value = [&](int& i, std::string_view arg, std::string_view name) -> std::string {
    if (arg.size() > name.size() && arg[name.size()] == '=') {
      return std::string(arg.substr(name.size() + 1));
    }
    if (i + 1 >= argc) throw UsageError(std::string(name) + " needs a value");
    return argv[++i];
  };
  auto is = [](std::string_view arg, std::string_view name) {
    return arg == name || (arg.size() > name.size() && arg.substr(0, name.size()) == name &&
                           arg[name.size()] == '=');
  };
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      args.help = true;
    } else if (arg == "-o" || is(arg, "--output")) {
      if (outputGiven) throw UsageError("the output is given twice");
      outputGiven = true;
      args.output = arg == "-o" ? value(i, "-o", "-o") : value(i, arg, "--output");
      if (args.output.empty()) throw UsageError("-o needs a file name");
    } else if (is(arg, "--encoding")) {
      if (encodingGiven) throw UsageError("--encoding given twice");
      encodingGiven = true;
      std::string e = value(i, arg, "--encoding");
      for (char& c : e) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (e == "gbk" || e == "cp936") {
        args.encoding = batch::Encoding::Gbk;
      } else if (e == "utf-8" || e == "utf8") {
        args.encoding = batch::Encoding::Utf8Bom;
      } else {
        throw UsageError("unknown encoding '" + e + "' (utf-8 or gbk)");
      }
    } else if (is(arg, "--jobs") || arg == "-j") {
      if (jobsGiven) throw UsageError("--jobs given twice");
      jobsGiven = true;
      const std::string n = arg == "-j" ? value(i, "-j", "-j") : value(i, arg, "--jobs");
      std::size_t used = 0;
      unsigned long v = 0;
      try {
        v = std::stoul(n, &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used != n.size() || n.empty() || n[0] == '-' || v < 1 || v > 1024) {
        throw UsageError("--jobs needs a number from 1 to 1024, not '" + n + "'");
      }
      args.jobs = static_cast<unsigned>(v);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw UsageError("unknown option '" + std::string(arg) + "'");
    } else {
      positional.emplace_back(arg);
    }
  }
  if (args.help) return args;
  if (positional.empty()) throw UsageError("batch: no sheet given");
  if (positional.size() > 2) throw UsageError("batch: more than one input file given");
  args.sheet = positional[0];
  if (positional.size() == 2) args.input = positional[1];
  if (ends_with_xlsx(args.output) && encodingGiven) {
    throw UsageError("--encoding applies to CSV output, not to a workbook");
  }
  return args;
}

std::string read_input(const std::string& name) {
  if (name == "-") {
    std::ostringstream s;
    s << std::cin.rdbuf();
    return s.str();
  }
  std::ifstream in(name, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + name);
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) throw std::runtime_error("cannot read " + name);
  return bytes;
}

// A temporary output file is removed when the run is interrupted.
extern "C" void on_interrupt(int signal) {
  if (const char* temp = batch::pending_temporary_file()) unlink(temp);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

class ProgressBar {
 public:
  explicit ProgressBar(bool shown) : shown_(shown) {}
  void show(std::size_t done, std::size_t total) {
    if (!shown_ || total == 0) return;
    constexpr std::size_t kWidth = 40;
    const std::size_t filled = done * kWidth / total;
    std::string bar = "\r[" + std::string(filled, '#') + std::string(kWidth - filled, ' ') + "] " +
                      std::to_string(done * 100 / total) + "% " + std::to_string(done) + "/" +
                      std::to_string(total);
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = true;
  }
  void finish() {
    if (drawn_) std::fputs("\n", stderr);
  }

 private:
  bool shown_;
  bool drawn_ = false;
};

int run(int argc, char** argv) {
  const Arguments args = parse(argc, argv);
  if (args.help) {
    std::cout << kUsage;
    return kStatusDone;
  }
  const sheet::Module* module = modules::find_module(args.sheet);
  if (module == nullptr) {
    throw UsageError("unknown sheet '" + args.sheet + "' (sheets: 1-5 or their names, see --help)");
  }
  const sheet::SheetTable& table = module->table();

  const std::string text = batch::decode_text(read_input(args.input));
  const std::vector<batch::CsvRecord> records = batch::parse_csv(text);
  if (records.empty()) throw std::runtime_error("the input has no header row");
  if (!records[0].error.empty()) {
    throw std::runtime_error("the header row is malformed: " + records[0].error);
  }
  const std::vector<std::string>& header = records[0].fields;
  const std::vector<batch::InputColumn> columns = batch::resolve_columns(table, header);
  const std::vector<batch::MemberRow> rows = batch::member_rows(records, columns.size());

  std::signal(SIGINT, on_interrupt);
  std::signal(SIGTERM, on_interrupt);
  std::signal(SIGHUP, on_interrupt);

  ProgressBar bar(isatty(STDERR_FILENO) != 0);
  batch::RunOptions options;
  options.jobs = args.jobs;
  options.progress = [&bar](std::size_t done, std::size_t total) { bar.show(done, total); };
  const std::vector<batch::RowOutcome> outcomes =
      batch::run_members(*module, columns, rows, options);
  bar.finish();

  const batch::OutputTable out = batch::output_table(table.number, header, columns, rows, outcomes);
  if (ends_with_xlsx(args.output)) {
    batch::write_xlsx(args.output, out, table.cliName);
  } else {
    std::size_t lost = 0;
    const std::string bytes = batch::encode_text(batch::csv_text(out), args.encoding, &lost);
    if (lost > 0) {
      std::cerr << "pellucor-cli: " << lost
                << " character(s) have no GBK form and are written as '?'\n";
    }
    if (args.output == "-") {
      std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      std::cout.flush();
      if (!std::cout) throw std::runtime_error("cannot write the standard output");
    } else {
      batch::write_file_atomically(args.output, bytes);
    }
  }
  const batch::Summary summary = batch::summarize(outcomes);
  std::cerr << "pellucor-cli: " << batch::summary_line(summary) << '\n';
  return summary.done == summary.rows ? kStatusDone : kStatusStopped;
}

}  // namespace

bool is_batch_command(int argc, char** argv) {
  return argc >= 2 && std::string_view(argv[1]) == "batch";
}

int run_batch_command(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const UsageError& e) {
    std::cerr << "pellucor-cli: " << e.what() << "\nTry 'pellucor-cli batch --help'.\n";
  } catch (const batch::ColumnError& e) {
    std::cerr << "pellucor-cli: " << e.what() << '\n';
  } catch (const std::exception& e) {
    std::cerr << "pellucor-cli: " << e.what() << '\n';
  }
  return kStatusUsage;
}

}  // namespace pellucor::cli
