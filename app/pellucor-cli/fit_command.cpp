#include "fit_command.hpp"

#include <iostream>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/csv.hpp"
#include "analysis/batch/output_file.hpp"
#include "analysis/inspect/chloride_profile.hpp"
#include "analysis/inspect/export.hpp"
#include "analysis/inspect/readings.hpp"
#include "analysis/inspect/surveys.hpp"
#include "arguments.hpp"
#include "modules/registry.hpp"
#include "readings_file.hpp"
#include "sheet/safe_output.hpp"

namespace pellucor::cli {

namespace {

namespace inspect = analysis::inspect;
namespace batch = analysis::batch;

constexpr std::string_view kUsage =
    "Usage: pellucor-cli fit profile IN.csv|- --age A [--unit kg/m3|concrete|binder]\n"
    "                        [--density D] [--binder B] [--background zero|fitted|VALUE]\n"
    "                        [--keep-first-layer] [--min-points N] [OUTPUT OPTIONS]\n"
    "       pellucor-cli fit carbonation IN.csv|- --age A [OUTPUT OPTIONS]\n"
    "       pellucor-cli fit cover IN.csv|- [--design-cover C] [--sheet SHEET] [OUTPUT OPTIONS]\n"
    "OUTPUT OPTIONS: [-o OUT.csv|OUT.json|-] [--format csv|json] [--input-encoding utf-8|gbk]\n"
    "\n"
    "fit profile: a chloride profile measured on a core (the contents of ground layers) fitted\n"
    "with C(x) = C_i + (C_s - C_i) * (1 - erf(x / (2 sqrt(D_a t)))) by nonlinear least squares\n"
    "(every point with the same weight; at least 6 points in the regression, --min-points to\n"
    "change it; the outermost layer left out unless --keep-first-layer). Gives C_s, D_a and a\n"
    "fitted C_i (kept at 0 or above: where the free fit would put it below, it is held at 0)\n"
    "with 95% profile-likelihood intervals (the values whose best curve exceeds the least sum\n"
    "of squares by no more than s^2 t^2(0.975, n-p); they need not be symmetric) and the\n"
    "standard errors they imply (width / 2t, on ln D_a for D_a), R^2, the residual standard\n"
    "deviation and each point's residual. Where an interval stays open (any value beyond an\n"
    "end fits the points within their noise) the profile does not determine that parameter:\n"
    "the fit says which and what to do, writes nothing and exits with 2.\n"
    "  Columns of IN.csv: depth (深度), the mid-depth of each ground layer below the exposed\n"
    "  surface in mm, increasing; chloride (氯离子含量), its chloride content in the unit of\n"
    "  --unit: kg/m3 (kg per m3 of concrete, the default), concrete (% by mass of concrete,\n"
    "  with --density in kg/m3) or binder (% by mass of binder, with --binder in kg/m3).\n"
    "  --age: the exposure time when the core was taken, years. --background: the chloride\n"
    "  content of concrete the chloride has not reached, in the unit of --unit: zero (the\n"
    "  default), a given value held fixed, or fitted as a third parameter.\n"
    "fit carbonation: carbonation depths (phenolphthalein) measured at the inspection age --age\n"
    "  give k = x / sqrt(t) of each reading, the mean and scatter of the depths and of k, and\n"
    "  the 95% interval of the mean k. Column of IN.csv: depth (碳化深度), mm, 0 or more.\n"
    "fit cover: cover-meter readings give the mean, standard deviation, the 5% characteristic\n"
    "  value (EN 1990 Annex D) under a normal and a lognormal law, the share below\n"
    "  --design-cover (counted, and by each law), and the Anderson-Darling test of both laws\n"
    "  (8 readings or more; the law with the larger p-value is taken). Column of IN.csv:\n"
    "  cover (保护层厚度), mm, above 0. --sheet names the sheet whose cover box takes the mean\n"
    "  (its range is checked; any sheet without it).\n"
    "\n"
    "IN.csv (or standard input for -): CSV in UTF-8 (with or without BOM) or GBK, detected\n"
    "(--input-encoding when it cannot be told); the first row names the columns (in any\n"
    "order; a unit in brackets after a name is allowed: 'depth (mm)'), every other row is one\n"
    "reading. Cells are numbers as typed in a box (full-width digits read as half-width); an\n"
    "empty row is passed over, a row with an empty cell or a cell that is not a number is\n"
    "refused, naming its line.\n"
    "\n"
    "Output (-o; standard output without it or for -): CSV (UTF-8, CR LF): the quantities\n"
    "(quantity, value, standard_error, lower_95, upper_95, unit), then after an empty line the\n"
    "points (profile: depth, observed, fitted, residual, in_regression) or readings\n"
    "(carbonation: depth and k); or JSON (a name ending in .json, or --format json) with the\n"
    "input, every quantity, the points, the notes in English and Chinese, and the texts and\n"
    "scatter that go to the sheet. A file is written whole or not at all (see batch --help).\n"
    "Standard error: the notes, and the lines that type the results into the sheet (the\n"
    "constant-coefficient chloride sheet for a profile: inspection age, D in cm2/a and C_s;\n"
    "the carbonation sheet's measured depth; any sheet's cover) and give their scatter to a\n"
    "reliability analysis (pellucor-cli mc ... --cov NAME=V --dist NAME=LAW: D lognormal,\n"
    "C_s normal, each from the longer side of its 95% interval over t, so that the law's own\n"
    "95% interval holds the whole of it; the readings' CoV and law).\n"
    "Exit status: 0 done and written; 1 usage error, an input that cannot be read as\n"
    "readings, readings the analysis refuses (each with its reason in English and Chinese),\n"
    "or an output that cannot be created (nothing computed); 2 the fit did not converge, its\n"
    "parameters cannot be told apart or the profile does not determine one of them (no\n"
    "estimate written, nothing for a sheet or a reliability analysis), or the output could not\n"
    "be written after the fit (nothing saved).\n";

const std::vector<OptionRule> kOptions = {
    {{"--age"}, "a number of years", false},
    {{"--unit"}, "kg/m3, concrete or binder", false},
    {{"--density"}, "a density in kg/m3", false},
    {{"--binder"}, "a binder content in kg/m3", false},
    {{"--background"}, "zero, fitted or a content", false},
    {{"--keep-first-layer"}, {}, false},
    {{"--min-points"}, "a number", false},
    {{"--design-cover"}, "a cover in mm", false},
    {{"--sheet"}, "a sheet", false},
    {{"--output", "-o"}, "a file name", false},
    {{"--format"}, "csv or json", false},
    {{"--input-encoding"}, "utf-8 or gbk", false},
};

// Options that only one analysis takes.
struct OnlyFor {
  std::string_view option;
  std::string_view analysis;
};
constexpr OnlyFor kOnlyFor[] = {
    {"--unit", "profile"},
    {"--density", "profile"},
    {"--binder", "profile"},
    {"--background", "profile"},
    {"--keep-first-layer", "profile"},
    {"--min-points", "profile"},
    {"--design-cover", "cover"},
    {"--sheet", "cover"},
};

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

double number_option(const Arguments& args, std::string_view option) {
  const std::string text = *args.value(option);
  double v = 0;
  if (!inspect::reading_value(text, v)) {
    throw UsageError(std::string(option) + " needs a number, not '" + text + "'");
  }
  return v;
}

std::optional<double> optional_number(const Arguments& args, std::string_view option) {
  if (!args.has(option)) return std::nullopt;
  return number_option(args, option);
}

enum class Format { Csv, Json };

Format format_of(const Arguments& args, const std::string& output) {
  if (const auto f = args.value("--format")) {
    const std::string v = lower(*f);
    if (v == "csv") return Format::Csv;
    if (v == "json") return Format::Json;
    throw UsageError("unknown --format '" + *f + "' (csv or json)");
  }
  switch (analysis::batch::format_by_name(output)) {
    case analysis::batch::NamedFormat::Json:
      return Format::Json;
    case analysis::batch::NamedFormat::Workbook:
      throw UsageError("'" + output +
                       "' names a workbook; fit writes CSV or JSON (-o OUT.csv or OUT.json)");
    case analysis::batch::NamedFormat::Csv:
      break;
  }
  return Format::Csv;
}

// Says why the analysis gives no number, in English and in Chinese.
template <class Kind>
void refused(const analysis::Refusal<Kind>& r) {
  std::cerr << "pellucor-cli: " << r.message << "\n  " << r.text << '\n';
}

void print_notes(const std::vector<analysis::text::Bilingual>& notes) {
  for (const auto& n : notes) std::cerr << "note: " << n.en << '\n';
}

void print_transfer(const inspect::SheetTransfer& t, const sheet::SheetTable& table,
                    std::string_view sheetName) {
  for (const auto& n : t.outOfRange) std::cerr << "warning: " << n.en << '\n';
  std::cerr << "to the sheet: pellucor-cli " << sheetName << ' '
            << inspect::transfer_assignments(t, table) << " ...\n";
  if (!t.scatter.empty()) {
    std::cerr << "to a reliability analysis: pellucor-cli mc " << sheetName << " ... "
              << inspect::transfer_scatter_options(t, table) << '\n';
  }
}

// Writes the output opened before the analysis; the exit status.
int write_output(sheet::SafeOutput& out, const std::string& path, const std::string& bytes) {
  auto failure = out.write(bytes);
  if (!failure) failure = out.commit();
  if (failure) {
    std::cerr << "pellucor-cli: " << output_failure(path, *failure) << '\n';
    return kExitIncomplete;
  }
  return kExitDone;
}

inspect::ProfileInput profile_input(const Arguments& args, const inspect::Readings& r) {
  inspect::ProfileInput in;
  in.depthMm = r.columns[0];
  in.chloride = r.columns[1];
  in.ageYears = number_option(args, "--age");
  const std::string unit = lower(args.value("--unit").value_or("kg/m3"));
  if (unit == "kg/m3" || unit == "kg/m^3" || unit == "kg") {
    in.unit = inspect::ChlorideUnit::KgPerCubicMetre;
  } else if (unit == "concrete" || unit == "percent-of-concrete") {
    in.unit = inspect::ChlorideUnit::PercentOfConcrete;
  } else if (unit == "binder" || unit == "percent-of-binder") {
    in.unit = inspect::ChlorideUnit::PercentOfBinder;
  } else {
    throw UsageError("unknown --unit '" + *args.value("--unit") + "' (kg/m3, concrete or binder)");
  }
  if (args.has("--density") && in.unit != inspect::ChlorideUnit::PercentOfConcrete) {
    throw UsageError("--density converts contents in % of concrete (--unit concrete)");
  }
  if (args.has("--binder") && in.unit != inspect::ChlorideUnit::PercentOfBinder) {
    throw UsageError("--binder converts contents in % of binder (--unit binder)");
  }
  in.densityKgM3 = optional_number(args, "--density").value_or(0);
  in.binderKgM3 = optional_number(args, "--binder").value_or(0);
  if (const auto b = args.value("--background")) {
    const std::string v = lower(*b);
    if (v == "zero") {
      in.background = inspect::Background::Zero;
    } else if (v == "fitted" || v == "fit") {
      in.background = inspect::Background::Fitted;
    } else {
      in.background = inspect::Background::Given;
      in.backgroundValue = number_option(args, "--background");
    }
  }
  in.leaveOutFirstLayer = !args.has("--keep-first-layer");
  if (const auto n = args.value("--min-points")) {
    const double v = number_option(args, "--min-points");
    if (v != static_cast<int>(v)) throw UsageError("--min-points needs a whole number");
    in.minimumPoints = static_cast<int>(v);
  }
  return in;
}

int run(const Arguments& args) {
  const auto& positional = args.positional();
  if (positional.empty()) throw UsageError("fit: say what to fit: profile, carbonation or cover");
  const std::string what = lower(positional[0]);
  if (what != "profile" && what != "carbonation" && what != "cover") {
    throw UsageError("fit: unknown analysis '" + positional[0] +
                     "' (profile, carbonation or cover)");
  }
  if (positional.size() < 2) throw UsageError("fit " + what + ": no input file given");
  if (positional.size() > 2) throw UsageError("fit " + what + ": more than one input file given");
  for (const auto& o : kOnlyFor) {
    if (args.has(o.option) && o.analysis != what) {
      throw UsageError(std::string(o.option) + " applies to fit " + std::string(o.analysis));
    }
  }
  if (what != "cover" && !args.has("--age")) {
    throw UsageError("fit " + what + " needs --age (the age in years when it was measured)");
  }
  if (what == "cover" && args.has("--age")) throw UsageError("--age does not apply to fit cover");
  const sheet::SheetTable* coverSheet = nullptr;
  if (const auto s = args.value("--sheet")) {
    const sheet::Module* m = modules::find_module(*s);
    if (m == nullptr) throw UsageError("unknown sheet '" + *s + "' (1-5 or their names)");
    coverSheet = &m->table();
  }
  const std::optional<batch::Encoding> given = input_encoding(args.value("--input-encoding"));
  const std::string input = positional[1];
  const std::string output = args.value("--output").value_or("-");
  const Format format = format_of(args, output);

  // Everything that can be refused is refused before the analysis.
  refuse_same_files({{"the input", input, true}, {"the output", output, false}});
  sheet::SafeOutput out;
  open_output(out, "the output", output, false);

  if (what == "profile") {
    const auto readings = read_table(input, given, inspect::kProfileColumns);
    const inspect::ProfileInput in = profile_input(args, readings);
    const auto fit = inspect::fit_profile(in);
    if (!fit) {
      refused(fit.refusal());
      const auto k = fit.refusal().kind;
      const bool computed = k == inspect::ProfileRefusal::NoConvergence ||
                            k == inspect::ProfileRefusal::NotDetermined;
      return computed ? kExitIncomplete : kExitRefused;
    }
    print_notes(fit->notes);
    if (!fit->determined()) {
      // The verdict in English and in Chinese, as a refusal is given.
      for (const auto& v : fit->verdict)
        std::cerr << "pellucor-cli: " << v.en << "\n  " << v.zh << '\n';
      std::cerr << "Nothing was written.\n";
      return kExitIncomplete;
    }
    const sheet::SheetTable& table = modules::find_module("chloride-constant")->table();
    print_transfer(inspect::constant_sheet_transfer(*fit), table, table.cliName);
    return write_output(
        out, output,
        format == Format::Json ? inspect::profile_json(in, *fit) : inspect::profile_csv(*fit));
  }
  if (what == "carbonation") {
    const auto readings = read_table(input, given, inspect::kCarbonationColumns);
    inspect::CarbonationInput in{readings.columns[0], number_option(args, "--age")};
    const auto s = inspect::survey_carbonation(in);
    if (!s) {
      refused(s.refusal());
      return kExitRefused;
    }
    print_notes(s->notes);
    const sheet::SheetTable& table = modules::find_module("carbonation")->table();
    print_transfer(inspect::carbonation_sheet_transfer(*s), table, table.cliName);
    return write_output(
        out, output,
        format == Format::Json ? inspect::carbonation_json(in, *s) : inspect::carbonation_csv(*s));
  }
  const auto readings = read_table(input, given, inspect::kCoverColumns);
  inspect::CoverInput in{readings.columns[0], optional_number(args, "--design-cover")};
  const auto s = inspect::survey_cover(in);
  if (!s) {
    refused(s.refusal());
    return kExitRefused;
  }
  print_notes(s->notes);
  const sheet::SheetTable& table =
      coverSheet != nullptr ? *coverSheet : modules::find_module("carbonation")->table();
  inspect::SheetTransfer t = inspect::cover_sheet_transfer(*s, table);
  if (coverSheet == nullptr) t.outOfRange.clear();
  print_transfer(t, table, coverSheet != nullptr ? table.cliName : "SHEET");
  return write_output(
      out, output,
      format == Format::Json ? inspect::cover_json(in, *s, coverSheet) : inspect::cover_csv(*s));
}

}  // namespace

int run_fit_command(const std::vector<std::string>& args) {
  return run_command("fit ", args, kOptions, kUsage, run);
}

}  // namespace pellucor::cli
