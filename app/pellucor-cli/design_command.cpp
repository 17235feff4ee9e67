#include "design_command.hpp"

#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/assess/design.hpp"
#include "analysis/assess/reliability_design.hpp"
#include "analysis/batch/csv.hpp"
#include "arguments.hpp"
#include "modules/registry.hpp"
#include "sheet/control_names.hpp"
#include "sheet/number_form.hpp"
#include "sheet/safe_output.hpp"
#include "sheet/user_input.hpp"

namespace pellucor::cli {

namespace {

namespace assess = analysis::assess;
namespace mc = analysis::mc;

constexpr std::string_view kUsage =
    "Usage: pellucor-cli design SHEET [NAME=TEXT ...] --solve NAME [--target-life YEARS]\n"
    "                           [--limit ti|tc|td] [--beta B [--samples N] [--seed S]\n"
    "                           [--cov NAME=V ...] [--dist NAME=normal|lognormal|beta ...]\n"
    "                           [--threads T]] [-o FILE.csv]\n"
    "\n"
    "Design for a target life: the value of the input NAME (--solve: a box by control name,\n"
    "alias or label) that just makes a limit state come at the target life. The other inputs\n"
    "fill the sheet as in single-sheet mode. The box's range is scanned in 16 steps on the\n"
    "sheet's own calculation (the texts typed and Calculate pressed for each value), the\n"
    "result is checked to move one way with the value, every turn of the result that could\n"
    "hide a crossing of the target (a dip below it, a peak above it) is searched between the\n"
    "scan's values, and the step where it meets the target is bisected. What is said for the\n"
    "whole range rests on every value tried, over the range where the sheet gives results\n"
    "(named when it is narrower than the box's).\n"
    "\n"
    "--limit: ti (corrosion begins), tc (the cover cracks) or td (the durable life ends; the\n"
    "default). --target-life: the age the limit state must not come before, in years\n"
    "(default 50).\n"
    "With --beta B the design is probabilistic: the value at which the reliability index of\n"
    "the limit state at the target life equals B. Every value is run with the same samples\n"
    "(--samples, default 10000) and seed (--seed, default 1), so that the index moves smoothly\n"
    "with the value; the inputs scatter as in the mc command (--cov, --dist). The answer's\n"
    "Monte Carlo standard error is the index's standard error sqrt(p(1-p)/n)/phi(beta) at\n"
    "the answer divided by the slope of the index against the value there (delta method).\n"
    "The bisection stops once its bracket holds a single sample's change of the index.\n"
    "\n"
    "Standard output: the answer in Chinese and in English, the notes (values that gave no\n"
    "result, a result that turns), and every value tried with its result. When no value in\n"
    "the range meets the target, the end that comes closest and by how much; when the result\n"
    "turns, every value at which it meets the target.\n"
    "-o writes the values tried and their results as CSV (UTF-8), whole or not at all,\n"
    "checked before anything is computed.\n"
    "Exit status: 0 an answer (a value, or every value in the range meets the target);\n"
    "2 no value in the range meets it, no single answer, or the CSV could not be written;\n"
    "1 usage error, an output that cannot be created, or a design the input does not allow\n"
    "(nothing computed).\n";

const std::vector<OptionRule> kOptions = {
    {{"--solve"}, "a box name", false},
    {{"--target-life"}, "a number of years", false},
    {{"--limit"}, "ti, tc or td", false},
    {{"--beta"}, "a number", false},
    {{"--samples"}, "a number", false},
    {{"--seed"}, "a number", false},
    {{"--cov"}, "NAME=V", true},
    {{"--dist"}, "NAME=normal|lognormal|beta", true},
    {{"--threads", "--jobs", "-j"}, "a number", false},
    {{"-o", "--output"}, "a file name", false},
};

std::string digits(double v) {
  std::string s = v < 0 ? "-" : "";
  return s + sheet::general_digits(std::fabs(v), 7);
}

std::string status_english(assess::SolveStatus s) {
  switch (s) {
    case assess::SolveStatus::Solved:
      return "solved";
    case assess::SolveStatus::WholeRangeMeets:
      return "every value meets the target";
    case assess::SolveStatus::NoneMeets:
      return "no value meets the target";
    case assess::SolveStatus::NotMonotone:
      break;
  }
  return "not monotone";
}

void print_design(const sheet::SheetTable& table, const assess::DesignResult& d,
                  const std::string& resultName, std::ostream& out) {
  const sheet::FieldRow& row = *table.field(d.box);
  out << "Sheet " << table.number << ": " << table.caption << '\n'
      << "design of " << sheet::control_name(d.box) << " (" << d.alias << ", " << d.label << ") in "
      << digits(row.lo) << ".." << digits(row.hi) << ": "
      << assess::limit_state_english(d.limitState) << " at the target life of "
      << digits(d.targetLife) << " a\n"
      << d.summary << '\n'
      << d.summaryEnglish << '\n'
      << "status: " << status_english(d.solve.status)
      << (d.solve.monotone ? "" : " (the result is not monotone in the value)") << '\n';
  for (const auto& note : d.solve.notes) out << "note: " << note.en << '\n';
  out << "values tried (" << d.solve.evaluations.size() << ", " << d.solve.failures
      << " without a result):\n"
      << "  " << d.alias << "  " << resultName << '\n';
  for (const auto& e : d.solve.evaluations) {
    out << "  " << digits(e.value) << "  "
        << (e.result ? digits(*e.result) : "no result: " + e.failureEnglish) << '\n';
  }
}

std::string evaluations_csv(const assess::DesignResult& d, const std::string& resultName) {
  std::string text;
  analysis::batch::append_csv_line(text, {d.alias, resultName, "failure"});
  for (const auto& e : d.solve.evaluations) {
    analysis::batch::append_csv_line(
        text,
        {sheet::general_digits(e.value, 15),
         e.result ? (*e.result < 0 ? "-" : "") + sheet::general_digits(std::fabs(*e.result), 15)
                  : std::string(),
         e.result ? std::string() : e.failureEnglish});
  }
  return text;
}

int run(const Arguments& args) {
  const auto& positional = args.positional();
  if (positional.empty()) throw UsageError("design: no sheet given");
  const sheet::Module* module = modules::find_module(positional[0]);
  if (module == nullptr) {
    throw UsageError("unknown sheet '" + positional[0] + "' (sheets: 1-5 or their names)");
  }
  const sheet::SheetTable& table = module->table();
  const auto solve = args.value("--solve");
  if (!solve) throw UsageError("design: --solve names the input to design for");
  const sheet::FieldRow& box = numeric_box(table, *solve);
  double targetLife = 50;
  if (const auto v = args.value("--target-life")) {
    targetLife = number_of<double>("--target-life", *v);
  }
  assess::LimitState limit = assess::LimitState::EndOfLife;
  if (const auto v = args.value("--limit")) {
    const auto s = assess::limit_state_from_key(*v);
    if (!s) throw UsageError("unknown limit state '" + *v + "' for --limit (ti, tc or td)");
    limit = *s;
  }
  const bool probabilistic = args.has("--beta");
  for (const char* only : {"--samples", "--seed", "--cov", "--dist", "--threads"}) {
    if (!probabilistic && args.has(only)) {
      throw UsageError(std::string(only) + " applies to the probabilistic design (--beta)");
    }
  }
  const auto entries =
      sheet_entries(table, std::vector<std::string>(positional.begin() + 1, positional.end()));

  assess::ReliabilityDesignRequest request;
  request.module = module;
  request.member = entries;
  request.box = std::string(box.alias);
  request.limitState = limit;
  request.targetLife = targetLife;
  if (probabilistic) {
    request.targetBeta = number_of<double>("--beta", *args.value("--beta"));
    if (const auto v = args.value("--samples")) {
      request.samples = number_of<std::uint64_t>("--samples", *v);
    }
    if (const auto v = args.value("--seed")) request.seed = number_of<std::uint64_t>("--seed", *v);
    if (const auto v = args.value("--threads")) {
      request.threads = number_of<unsigned>("--threads", *v);
    }
    for (const std::string& arg : args.values("--cov")) {
      const auto named = sheet::split_named_text(arg);
      if (!named) throw UsageError("malformed --cov '" + arg + "' (expected NAME=VALUE)");
      const int n = sheet::text_box_number(numeric_box(table, named->name).control);
      request.scatter.boxes[n].cov = number_of<double>("--cov " + named->name, named->text);
    }
    for (const std::string& arg : args.values("--dist")) {
      const auto named = sheet::split_named_text(arg);
      if (!named) throw UsageError("malformed --dist '" + arg + "' (expected NAME=VALUE)");
      const int n = sheet::text_box_number(numeric_box(table, named->name).control);
      const auto dist = mc::distribution_from_name(named->text);
      if (!dist) {
        throw UsageError("unknown distribution '" + named->text + "' (normal, lognormal or beta)");
      }
      request.scatter.boxes[n].law = *dist;
    }
  }

  const auto output = args.value("-o");
  sheet::SafeOutput csv;
  if (output) open_output(csv, "-o", *output, true, "the design goes");

  std::optional<assess::DesignResult> design;
  std::string resultName;
  if (probabilistic) {
    const auto r = assess::design_for_target_beta(request);
    if (!r) {
      std::cerr << "pellucor-cli: " << r.refusal().message << "\nNothing was designed.\n";
      return kExitRefused;
    }
    design = r->design;
    resultName = "beta";
  } else {
    const auto r = assess::design_for_target_life(
        {module, entries, std::string(box.alias), limit, targetLife});
    if (!r) {
      std::cerr << "pellucor-cli: " << r.refusal().message << "\nNothing was designed.\n";
      return kExitRefused;
    }
    design = *r;
    resultName = std::string(assess::limit_state_key(limit)) + "_a";
  }
  print_design(table, *design, resultName, std::cout);
  if (output) {
    auto failure = csv.write(evaluations_csv(*design, resultName));
    if (!failure) failure = csv.commit();
    if (failure) {
      std::cout.flush();
      std::cerr << "pellucor-cli: the values were not written: "
                << output_failure(*output, *failure) << '\n';
      return kExitIncomplete;
    }
    std::cout << "values written to " << *output << '\n';
  }
  const auto status = design->solve.status;
  return status == assess::SolveStatus::Solved || status == assess::SolveStatus::WholeRangeMeets
             ? kExitDone
             : kExitIncomplete;
}

}  // namespace

int run_design_command(const std::vector<std::string>& args) {
  return run_command("design ", args, kOptions, kUsage, run);
}

}  // namespace pellucor::cli
