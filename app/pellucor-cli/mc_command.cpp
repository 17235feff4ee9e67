#include "mc_command.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/mc/engine.hpp"
#include "analysis/mc/problem.hpp"
#include "analysis/mc/report.hpp"
#include "analysis/mc/summary.hpp"
#include "arguments.hpp"
#include "modules/registry.hpp"
#include "sheet/control_names.hpp"
#include "sheet/number_form.hpp"
#include "sheet/numeric.hpp"
#include "sheet/safe_output.hpp"
#include "sheet/user_input.hpp"

namespace pellucor::cli {

namespace {

namespace mc = analysis::mc;

constexpr std::string_view kUsage =
    "Usage: pellucor-cli mc SHEET [NAME=TEXT ...] [--cov NAME=V ...] [--sd NAME=V ...]\n"
    "                       [--dist NAME=normal|lognormal|beta ...] [--binder B]\n"
    "                       [--model-cov TIME=V ...] [--samples N] [--seed S]\n"
    "                       [--target-beta B] [--target-beta-ti B] [--target-beta-tc B]\n"
    "                       [--target-age A] [--stop-cov V] [--initiation WAY]\n"
    "                       [--threads T] [-o FILE.csv]\n"
    "\n"
    "Reliability analysis of a sheet by Monte Carlo sampling. NAME=TEXT fills the sheet as\n"
    "in single-sheet mode (boxes by the numeric prefix rule, NAME=1 for an option, a group by\n"
    "its option, Combo1 or steel = 1, 2, 3, an item text or a steel name); each box's value\n"
    "is the mean of its input.\n"
    "Usual quantities scatter by default, each after its source (printed with the inputs):\n"
    "the cover and the temperature by an absolute deviation (8 mm, 2 K), the ageing exponent\n"
    "by a Beta law whose deviation follows the binder (--binder portland, fly-ash or slag:\n"
    "0.12, 0.15, 0.20), the others by a coefficient of variation. --cov NAME=V sets a\n"
    "coefficient of variation instead (0: as typed), --sd NAME=V an absolute deviation in the\n"
    "box's unit, --dist NAME=... the distribution.\n"
    "Samples stay inside the box's range: they are drawn from a law truncated to it, chosen\n"
    "so that the samples keep the box's value as their mean and have the scatter asked for\n"
    "where the range can carry it; where it cannot (a mean near an end of a narrow range),\n"
    "the largest scatter the range allows with that mean. The output gives the samples' mean\n"
    "and CoV and warns first where they differ from what was asked.\n"
    "--model-cov TIME=V (TIME ti, tc or td) adds a model-uncertainty factor, lognormal with\n"
    "mean 1 and CoV V, that scales the initiation period, the time from initiation to cover\n"
    "cracking, or the time from cracking to the end of durability.\n"
    "--initiation (marine sheet only) chooses how a sample's initiation time is found:\n"
    "crossing (default: the age at which the chloride at the bar reaches the critical\n"
    "concentration) or sheet-search (the sheet's half-year search, which stops within\n"
    "0.5 kg/m3 of it and follows its start value).\n"
    "\n"
    "Defaults: 10000 samples, seed 1, target reliability indices 1.3 for initiation\n"
    "(--target-beta-ti), 1.5 for cover cracking (--target-beta-tc) and 1.3 for the end of\n"
    "durability (--target-beta), statistics at the inspection age (--target-age), no\n"
    "stopping rule (--stop-cov V: draw samples in rounds until the CoV of P(t_d <= target\n"
    "age) is below V, or --samples are drawn), one thread per core (--threads, or --jobs\n"
    "as in the batch command; fewer when the system will not start more, which standard\n"
    "error then says; the results are the same).\n"
    "Standard output: warnings first (samples that did not run to the end, truncated\n"
    "scatter), the inputs, the samples by how they ended, the percentiles of t_i, t_c, t_d\n"
    "and of the remaining life, P at the target age with its standard error, CoV, 95%\n"
    "interval and beta, the ages at which beta falls below each target, and the rank\n"
    "correlations of the inputs with the times. No sample is left out: samples that never\n"
    "reach a limit state count as not failed; samples the model could not follow count as\n"
    "failed from the earliest age they could fail (the figures given; not failed in the\n"
    "lower bounds in brackets).\n"
    "-o writes the curves P(t <= age), standard errors, beta (with its bound) and the lower\n"
    "bound of P by age as CSV, whole or not at all (checked before the run; standard output\n"
    "is not taken: the summary goes there).\n"
    "Exit status: 0 done; 1 usage error, an output that cannot be created, or input the\n"
    "analysis refuses (nothing computed); 2 the curves could not be written after the run.\n";

const std::vector<OptionRule> kOptions = {
    {{"--cov"}, "NAME=V", true},
    {{"--sd"}, "NAME=V", true},
    {{"--dist"}, "NAME=normal|lognormal|beta", true},
    {{"--binder"}, "portland, fly-ash or slag", false},
    {{"--model-cov"}, "TIME=V (TIME ti, tc or td)", true},
    {{"--samples"}, "a number", false},
    {{"--seed"}, "a number", false},
    {{"--target-beta"}, "a number", false},
    {{"--target-beta-ti"}, "a number", false},
    {{"--target-beta-tc"}, "a number", false},
    {{"--target-age"}, "a number of years", false},
    {{"--stop-cov"}, "a number", false},
    {{"--initiation"}, "crossing or sheet-search", false},
    {{"--threads", "--jobs", "-j"}, "a number", false},
    {{"-o", "--output"}, "a file name", false},
};

std::pair<std::string, std::string> split(const std::string& arg, std::string_view what) {
  const auto named = sheet::split_named_text(arg);
  if (!named) {
    throw UsageError("malformed " + std::string(what) + " '" + arg + "' (expected NAME=VALUE)");
  }
  return {named->name, named->text};
}

// The sheet's inputs as Calculate would read them after the entries were typed, in the order
// of the sheet; options not named keep the first of their group, as when the sheet opens.
sheet::SheetInputs read_inputs(const sheet::SheetTable& s,
                               const std::vector<analysis::batch::Entry>& entries) {
  sheet::SheetInputs in;
  for (const auto& g : s.groups) {
    in.selected[static_cast<std::size_t>(sheet::option_number(g.options[0].control))] = true;
  }
  for (const auto& e : entries) {
    if (const sheet::FieldRow* f = s.field(e.control)) {
      in.value[static_cast<std::size_t>(sheet::text_box_number(f->control))] =
          sheet::numeric_prefix(e.text);
    } else if (e.control == sheet::Control::Combo1) {
      in.steelText = e.text;
      in.steelKind = sheet::steel_kind(in.steelText);
      in.steelName = sheet::steel_name(in.steelText);
    } else if (const sheet::OptionGroupRow* g = sheet::group_of(s, e.control)) {
      for (const auto& other : g->options) {
        in.selected[static_cast<std::size_t>(sheet::option_number(other.control))] =
            other.control == e.control;
      }
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

int run(const std::vector<std::string>& words) {
  const Arguments args = parse_arguments(words, kOptions);
  if (args.has("--help")) {
    std::cout << kUsage;
    return kExitDone;
  }
  const auto& positional = args.positional();
  if (positional.empty()) throw UsageError("no sheet given");
  const sheet::Module* module = modules::find_module(positional[0]);
  if (module == nullptr) {
    throw UsageError("unknown sheet '" + positional[0] + "' (sheets: 1-5 or their names)");
  }
  const sheet::SheetTable& s = module->table();
  mc::RunSettings settings;
  if (const auto v = args.value("--samples")) {
    settings.samples = number_of<std::uint64_t>("--samples", *v);
  }
  if (const auto v = args.value("--seed")) settings.seed = number_of<std::uint64_t>("--seed", *v);
  if (const auto v = args.value("--target-beta")) {
    settings.targetBeta = number_of<double>("--target-beta", *v);
  }
  if (const auto v = args.value("--target-beta-ti")) {
    settings.targetBetaInitiation = number_of<double>("--target-beta-ti", *v);
  }
  if (const auto v = args.value("--target-beta-tc")) {
    settings.targetBetaCracking = number_of<double>("--target-beta-tc", *v);
  }
  if (const auto v = args.value("--target-age")) {
    settings.targetAge = number_of<double>("--target-age", *v);
  }
  if (const auto v = args.value("--stop-cov")) {
    settings.stopCov = number_of<double>("--stop-cov", *v);
  }
  if (const auto v = args.value("--threads")) {
    settings.threads = number_of<unsigned>("--threads", *v);
  }
  const auto entries =
      sheet_entries(s, std::vector<std::string>(positional.begin() + 1, positional.end()));
  mc::Binder binder = mc::Binder::Portland;
  if (const auto v = args.value("--binder")) {
    const auto b = mc::binder_from_name(*v);
    if (!b) throw UsageError("unknown binder '" + *v + "' (portland, fly-ash or slag)");
    binder = *b;
  }
  mc::Problem problem = mc::with_defaults(*module, read_inputs(s, entries), binder);
  if (args.has("--binder") && !problem.hasBinder()) {
    throw UsageError("sheet " + std::to_string(s.number) +
                     " has no ageing exponent, whose scatter --binder sets");
  }
  if (const auto v = args.value("--initiation")) {
    if (!problem.hasVariants()) {
      throw UsageError("sheet " + std::to_string(s.number) +
                       " has one way to its initiation time; --initiation is for the marine sheet");
    }
    if (*v == analysis::variant_name(analysis::InitiationVariant::Crossing)) {
      problem.variant = analysis::InitiationVariant::Crossing;
    } else if (*v == analysis::variant_name(analysis::InitiationVariant::SheetSearch)) {
      problem.variant = analysis::InitiationVariant::SheetSearch;
    } else {
      throw UsageError("unknown way '" + *v + "' for --initiation (crossing or sheet-search)");
    }
  }
  std::vector<int> scattered;  // boxes given a CoV or a deviation: one of them, once
  auto once = [&scattered](int n, const std::string& name) {
    if (std::find(scattered.begin(), scattered.end(), n) != scattered.end()) {
      throw UsageError(name + " is given a scatter twice (--cov and --sd take one of them once)");
    }
    scattered.push_back(n);
  };
  for (const std::string& arg : args.values("--cov")) {
    auto [name, text] = split(arg, "--cov");
    const int n = sheet::text_box_number(numeric_box(s, name).control);
    once(n, name);
    problem.scatter[static_cast<std::size_t>(n)].cov = number_of<double>("--cov " + name, text);
    problem.scatter[static_cast<std::size_t>(n)].sd = 0;  // a CoV typed replaces a deviation
  }
  for (const std::string& arg : args.values("--sd")) {
    auto [name, text] = split(arg, "--sd");
    const int n = sheet::text_box_number(numeric_box(s, name).control);
    once(n, name);
    mc::Scatter& sc = problem.scatter[static_cast<std::size_t>(n)];
    sc.sd = number_of<double>("--sd " + name, text);
    const double mean = problem.base.box(n);
    // The CoV shown beside it: the deviation's at the box's value (none for an empty box, which
    // the checks refuse).
    sc.cov = mean > 0 && sc.sd > 0 ? sc.sd / mean : 0;
  }
  for (const std::string& arg : args.values("--dist")) {
    auto [name, text] = split(arg, "--dist");
    const int n = sheet::text_box_number(numeric_box(s, name).control);
    const auto dist = mc::distribution_from_name(text);
    if (!dist) throw UsageError("unknown distribution '" + text + "' (normal, lognormal or beta)");
    problem.scatter[static_cast<std::size_t>(n)].dist = *dist;
  }
  for (const std::string& arg : args.values("--model-cov")) {
    auto [name, text] = split(arg, "--model-cov");
    const char* const times[] = {"ti", "tc", "td"};
    const auto* at = std::find(std::begin(times), std::end(times), name);
    if (at == std::end(times)) {
      throw UsageError("unknown time '" + name + "' for --model-cov (ti, tc or td)");
    }
    problem.modelUncertainty.cov[static_cast<std::size_t>(at - std::begin(times))] =
        number_of<double>("--model-cov " + name, text);
  }
  if (auto error = mc::validate(problem, settings)) {
    std::cerr << "pellucor-cli: " << error->message << "\nNothing was computed.\n";
    return kExitRefused;
  }
  const auto output = args.value("-o");
  sheet::SafeOutput csv;
  if (output) open_output(csv, "-o", *output, true, "the summary goes");

  const mc::Samples samples = mc::run_samples(problem, settings);
  const mc::Report report = mc::make_report(problem, settings, mc::summarize(samples, settings));
  if (const std::string note = threads_note(samples.threads, samples.refused, "samples");
      !note.empty()) {
    std::cerr << "pellucor-cli: " << note << '\n';
  }
  print_report(report, std::cout);
  if (output) {
    std::ostringstream text;
    mc::write_csv(text, report.summary);
    auto failure = csv.write(text.str());
    if (!failure) failure = csv.commit();
    if (failure) {
      std::cout.flush();
      std::cerr << "pellucor-cli: the curves were not written: "
                << output_failure(*output, *failure) << '\n';
      return kExitIncomplete;
    }
    std::cout << "curves written to " << *output << '\n';
  }
  return kExitDone;
}

}  // namespace

int run_mc_command(const std::vector<std::string>& args) {
  return run_command("mc ", [&] { return run(args); });
}

}  // namespace pellucor::cli
