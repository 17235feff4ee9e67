#include "mc_command.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/mc/engine.hpp"
#include "analysis/mc/problem.hpp"
#include "analysis/mc/report.hpp"
#include "analysis/mc/summary.hpp"
#include "modules/registry.hpp"
#include "sheet/control_names.hpp"
#include "sheet/number_form.hpp"
#include "sheet/numeric.hpp"

namespace pellucor::cli {

namespace {

namespace mc = analysis::mc;

constexpr int kStatusDone = 0;
constexpr int kStatusUsage = 1;

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

constexpr std::string_view kUsage =
    "Usage: pellucor-cli mc SHEET [NAME=TEXT ...] [--cov NAME=V ...]\n"
    "                       [--dist NAME=normal|lognormal|beta ...] [--samples N] [--seed S]\n"
    "                       [--target-beta B] [--threads T] [-o FILE.csv]\n"
    "\n"
    "Reliability analysis of a sheet by Monte Carlo sampling. NAME=TEXT fills the sheet as\n"
    "in single-sheet mode (boxes by the numeric prefix rule, NAME=1 for an option, Combo1\n"
    "or steel = 1, 2, 3 or an item text); each box's value is the mean of its input.\n"
    "Usual quantities scatter by default, each after its source (printed with the inputs):\n"
    "the cover and the temperature by an absolute deviation (8 mm, 2 K), the ageing exponent\n"
    "by a Beta law, the others by a coefficient of variation; --cov NAME=V sets a\n"
    "coefficient of variation instead (0: as typed), --dist NAME=... its distribution.\n"
    "Samples are truncated to the box's range by sampling the distribution function between\n"
    "the range's ends; the output gives the mean and CoV after truncation and warns where\n"
    "they differ from what was asked.\n"
    "\n"
    "Defaults: 10000 samples, seed 1, target reliability index 1.3 of the end of durability\n"
    "(1.3 for initiation, 1.5 for cover cracking), one thread per core.\n"
    "Standard output: warnings first (samples that did not run to the end, truncated\n"
    "scatter), the inputs, the samples by how they ended, the percentiles of t_i, t_c, t_d\n"
    "and of the remaining life, P at the inspection age with its standard error, CoV, 95%\n"
    "interval and beta, the ages at which beta falls below each target, and the rank\n"
    "correlations of the inputs with the times. No sample is left out: samples that never\n"
    "reach a limit state count as not failed; samples the model could not follow count as\n"
    "failed from the earliest age they could fail (the figures given; not failed in the\n"
    "lower bounds in brackets).\n"
    "-o writes the curves P(t <= age), standard errors, beta (with its bound) and the lower\n"
    "bound of P by age as CSV.\n"
    "Exit status: 0 done, 1 usage error or input the analysis refuses (nothing computed).\n";

struct Arguments {
  bool help = false;
  std::optional<std::string> sheet;
  std::vector<std::string> assignments;
  std::vector<std::string> covs;
  std::vector<std::string> dists;
  mc::RunSettings settings;
  std::optional<std::string> output;
};

template <class T>
T parse_number(std::string_view option, std::string_view text) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
    throw UsageError("'" + std::string(text) + "' is no valid number for " + std::string(option));
  }
  return value;
}

Arguments parse(int argc, char** argv) {
  Arguments args;
  auto valueOf = [&](int& i, std::string_view option) -> std::string {
    const std::string_view arg = argv[i];
    if (arg.size() > option.size() && arg[option.size()] == '=') {
      return std::string(arg.substr(option.size() + 1));
    }
    if (i + 1 >= argc) throw UsageError(std::string(option) + " needs a value");
    return argv[++i];
  };
  auto is = [](std::string_view arg, std::string_view option) {
    return arg == option ||
           (arg.starts_with(option) && arg.size() > option.size() && arg[option.size()] == '=');
  };
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      args.help = true;
    } else if (is(arg, "--cov")) {
      args.covs.push_back(valueOf(i, "--cov"));
    } else if (is(arg, "--dist")) {
      args.dists.push_back(valueOf(i, "--dist"));
    } else if (is(arg, "--samples")) {
      args.settings.samples = parse_number<std::uint64_t>("--samples", valueOf(i, "--samples"));
    } else if (is(arg, "--seed")) {
      args.settings.seed = parse_number<std::uint64_t>("--seed", valueOf(i, "--seed"));
    } else if (is(arg, "--target-beta")) {
      args.settings.targetBeta = parse_number<double>("--target-beta", valueOf(i, "--target-beta"));
    } else if (is(arg, "--threads")) {
      args.settings.threads = parse_number<unsigned>("--threads", valueOf(i, "--threads"));
    } else if (is(arg, "-o")) {
      args.output = valueOf(i, "-o");
      if (args.output->empty()) throw UsageError("-o needs a file name");
    } else if (!arg.empty() && arg[0] == '-') {
      throw UsageError("unknown option '" + std::string(arg) + "'");
    } else if (!args.sheet) {
      args.sheet = std::string(arg);
    } else if (arg.find('=') != std::string_view::npos && arg[0] != '=') {
      args.assignments.emplace_back(arg);
    } else {
      throw UsageError("malformed argument '" + std::string(arg) + "' (expected NAME=TEXT)");
    }
  }
  return args;
}

std::pair<std::string, std::string> split(const std::string& arg, std::string_view what) {
  const auto eq = arg.find('=');
  if (eq == std::string::npos || eq == 0) {
    throw UsageError("malformed " + std::string(what) + " '" + arg + "' (expected NAME=VALUE)");
  }
  return {arg.substr(0, eq), arg.substr(eq + 1)};
}

const sheet::FieldRow& box_named(const sheet::SheetTable& s, const std::string& name) {
  const sheet::FieldRow* f = mc::find_box(s, name);
  if (f == nullptr) {
    throw UsageError("sheet " + std::to_string(s.number) + " has no numeric input '" + name +
                     "' (see pellucor-cli --help " + std::to_string(s.number) + ")");
  }
  return *f;
}

// The sheet's inputs as Calculate would read them after NAME=TEXT were typed; options not
// named keep the first of their group, as when the sheet opens.
sheet::SheetInputs read_inputs(const sheet::SheetTable& s,
                               const std::vector<std::string>& assignments) {
  sheet::SheetInputs in;
  for (const auto& g : s.groups) {
    in.selected[static_cast<std::size_t>(sheet::option_number(g.options[0].control))] = true;
  }
  std::vector<sheet::Control> seen;
  auto once = [&seen](sheet::Control c, const std::string& name) {
    if (std::find(seen.begin(), seen.end(), c) != seen.end()) {
      throw UsageError(name + " given twice");
    }
    seen.push_back(c);
  };
  for (const std::string& arg : assignments) {
    auto [name, text] = split(arg, "argument");
    const sheet::Control c = sheet::find_control(s, name, sheet::NameKinds::Console);
    if (const sheet::FieldRow* f = s.field(c)) {
      once(f->control, name);
      in.value[static_cast<std::size_t>(sheet::text_box_number(f->control))] =
          sheet::numeric_prefix(text);
      continue;
    }
    if (c == sheet::Control::Combo1) {
      once(sheet::Control::Combo1, name);
      std::optional<std::string_view> item;
      for (std::size_t i = 0; i < sheet::kSteelItems.size(); ++i) {
        if (text == std::to_string(i + 1) || text == sheet::kSteelItems[i]) {
          item = sheet::kSteelItems[i];
        }
      }
      if (!item)
        throw UsageError("'" + text + "' is no item of " + name + " (1, 2, 3 or an item text)");
      in.steelText = std::string(*item);
      in.steelKind = sheet::steel_kind(in.steelText);
      in.steelName = sheet::steel_name(in.steelText);
      continue;
    }
    if (const sheet::OptionGroupRow* g = sheet::group_of(s, c)) {
      if (text != "1") throw UsageError(arg + ": an option is chosen with " + name + "=1");
      once(c, name);
      for (const auto& other : g->options) {
        in.selected[static_cast<std::size_t>(sheet::option_number(other.control))] =
            other.control == c;
      }
    } else {
      throw UsageError("unknown control or alias '" + name + "' on sheet " +
                       std::to_string(s.number) + " (see pellucor-cli --help " +
                       std::to_string(s.number) + ")");
    }
  }
  return in;
}

void print_report(const mc::Report& report, std::ostream& out) {
  out << "Sheet " << report.sheet << ": " << report.caption << '\n';
  // What an engineer reads first: stopped samples and truncated scatter, in plain Chinese.
  for (const std::string& line : mc::warning_lines(report)) out << line << '\n';
  for (const std::string& line : mc::input_lines(report)) out << line << '\n';
  for (const std::string& line : mc::summary_lines(report)) out << line << '\n';
}

int run(int argc, char** argv) {
  const Arguments args = parse(argc, argv);
  if (args.help) {
    std::cout << kUsage;
    return kStatusDone;
  }
  if (!args.sheet) throw UsageError("no sheet given");
  const sheet::Module* module = modules::find_module(*args.sheet);
  if (module == nullptr) {
    throw UsageError("unknown sheet '" + *args.sheet + "' (sheets: 1-5 or their names)");
  }
  const sheet::SheetTable& s = module->table();
  mc::Problem problem = mc::with_defaults(*module, read_inputs(s, args.assignments));
  for (const std::string& arg : args.covs) {
    auto [name, text] = split(arg, "--cov");
    const int n = sheet::text_box_number(box_named(s, name).control);
    problem.scatter[static_cast<std::size_t>(n)].cov = parse_number<double>("--cov " + name, text);
    problem.scatter[static_cast<std::size_t>(n)].sd = 0;  // a CoV typed replaces a deviation
  }
  for (const std::string& arg : args.dists) {
    auto [name, text] = split(arg, "--dist");
    const int n = sheet::text_box_number(box_named(s, name).control);
    const auto dist = mc::distribution_from_name(text);
    if (!dist) throw UsageError("unknown distribution '" + text + "' (normal, lognormal or beta)");
    problem.scatter[static_cast<std::size_t>(n)].dist = *dist;
  }
  if (auto error = mc::validate(problem, args.settings)) {
    std::cerr << "pellucor-cli: " << error->message << "\nNothing was computed.\n";
    return kStatusUsage;
  }
  std::ofstream csv;
  if (args.output) {
    csv.open(*args.output, std::ios::binary | std::ios::trunc);
    if (!csv) throw std::runtime_error("cannot write " + *args.output);
  }

  const mc::Samples samples = mc::run_samples(problem, args.settings);
  const mc::Report report =
      mc::make_report(problem, args.settings, mc::summarize(samples, args.settings));
  print_report(report, std::cout);
  if (args.output) {
    mc::write_csv(csv, report.summary);
    csv.close();
    if (!csv) throw std::runtime_error("cannot write " + *args.output);
    std::cout << "curves written to " << *args.output << '\n';
  }
  return kStatusDone;
}

}  // namespace

int run_mc(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const UsageError& e) {
    std::cerr << "pellucor-cli: " << e.what() << "\nTry 'pellucor-cli mc --help'.\n";
    return kStatusUsage;
  } catch (const std::exception& e) {
    std::cerr << "pellucor-cli: " << e.what() << '\n';
    return kStatusUsage;
  }
}

}  // namespace pellucor::cli
