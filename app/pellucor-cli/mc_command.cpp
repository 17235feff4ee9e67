#include "mc_command.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
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
#include "analysis/project/project.hpp"
#include "analysis/update/member_update.hpp"
#include "analysis/update/update.hpp"
#include "analysis/update/update_report.hpp"
#include "arguments.hpp"
#include "modules/registry.hpp"
#include "readings_file.hpp"
#include "sheet/control_names.hpp"
#include "sheet/number_form.hpp"
#include "sheet/numeric.hpp"
#include "sheet/safe_output.hpp"
#include "sheet/user_input.hpp"

namespace pellucor::cli {

namespace {

namespace mc = analysis::mc;
namespace project = analysis::project;
namespace update = analysis::update;

constexpr std::string_view kUsage =
    "Usage: pellucor-cli mc SHEET [NAME=TEXT ...] [--cov NAME=V ...] [--sd NAME=V ...]\n"
    "                       [--dist NAME=normal|lognormal|beta ...] [--binder B]\n"
    "                       [--model-cov TIME=V ...] [--samples N] [--seed S]\n"
    "                       [--target-beta B] [--target-beta-ti B] [--target-beta-tc B]\n"
    "                       [--target-age A] [--stop-cov V] [--initiation WAY]\n"
    "                       [--threads T] [-o FILE.csv]\n"
    "                       [UPDATE OPTIONS]\n"
    "       pellucor-cli mc [SHEET] --update PROJECT.pellucor --member NAME [OPTIONS]\n"
    "UPDATE OPTIONS: [--depths FILE.csv --depths-age A ...] [--profile FILE.csv --profile-age A\n"
    "                ...] [--keep-first-layer] [--covers FILE.csv] [--depth-cov V]\n"
    "                [--profile-sd S] [--corrosion-depth MM --corrosion-depth-sd MM]\n"
    "                [--crack-width MM --crack-width-sd MM] [--predictive FILE.csv]\n"
    "                [--input-encoding utf-8|gbk]\n"
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
    "\n"
    "Updated with the member's measurements (any UPDATE OPTION, or --update): the measurements\n"
    "condition the scattering inputs through the sheet's own model at their ages, and every\n"
    "result is given again under the posterior beside the prior one. --update PROJECT\n"
    "--member NAME takes the member's sheet, texts and scatter from the project (read only)\n"
    "and its inspection data: the cores of its chloride profiles, its carbonation readings, its\n"
    "cover readings; files add to them. --depths FILE with --depths-age A (one age per file,\n"
    "in order): carbonation depths, column depth (碳化深度), mm, compared with the model's depth\n"
    "k sqrt(A) times a lognormal error of mean 1 whose CoV is --depth-cov or, by default,\n"
    "estimated from the scatter of the readings' logarithms; a reading of 0 counts as a depth\n"
    "below 0.5 mm. --profile FILE with --profile-age A: a core's layers, columns depth (深度,\n"
    "mm) and chloride (氯离子含量, kg/m3), compared with the sheet's chloride at that depth and\n"
    "age plus a normal error whose sd is --profile-sd or, by default, the residual sd of the\n"
    "core's profile fit; the outermost layer is left out as in the fit unless\n"
    "--keep-first-layer. --covers FILE: cover readings, column cover (保护层厚度), mm, which\n"
    "update the cover's own law (normal or lognormal, as the survey chooses; the sheet's value\n"
    "counted as one reading). --corrosion-depth and --crack-width: values measured at the\n"
    "inspection age, each with the sd of its normal error.\n"
    "The posterior is sampled by likelihood weighting of the prior samples where their\n"
    "effective sample size stays at half of them, else by tempered sequential Monte Carlo (4\n"
    "islands) and importance sampling from a Student t fitted to its particles and refitted to\n"
    "its own draws, drawn until their effective sample size reaches --samples (at most three\n"
    "times as many draws); --samples (at most 1000000) is also the prior's. The output adds\n"
    "the measurements and their errors, the sampler's diagnostics (effective sample size,\n"
    "Pareto k of the largest weights, R-hat across the islands, acceptance, how far the moves\n"
    "carried the particles), prior against posterior (P and beta at the target age, the ages\n"
    "at the targets, the percentiles), the inputs' means, CoVs and 90% intervals, the\n"
    "posterior correlations and the predictive curves; a run that does not meet its\n"
    "diagnostics says so first. -o then writes the prior and posterior curves; --predictive\n"
    "the predictive curves with the measurements.\n"
    "\n"
    "Exit status: 0 done; 1 usage error, an output that cannot be created, or input the\n"
    "analysis refuses (nothing computed, or no prior sample can give the measurements); 2 the\n"
    "curves could not be written after the run, or the update does not meet its diagnostics\n"
    "(its results are printed, marked as not to be graded).\n";

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
    {{"--update"}, "a project file", false},
    {{"--member"}, "a member's name", false},
    {{"--depths"}, "a CSV file of carbonation depths", true},
    {{"--depths-age"}, "a number of years", true},
    {{"--profile"}, "a CSV file of a core's layers", true},
    {{"--profile-age"}, "a number of years", true},
    {{"--keep-first-layer"}, {}, false},
    {{"--covers"}, "a CSV file of cover readings", false},
    {{"--depth-cov"}, "a number", false},
    {{"--profile-sd"}, "a number", false},
    {{"--corrosion-depth"}, "a depth in mm", false},
    {{"--corrosion-depth-sd"}, "a depth in mm", false},
    {{"--crack-width"}, "a width in mm", false},
    {{"--crack-width-sd"}, "a width in mm", false},
    {{"--predictive"}, "a file name", false},
    {{"--input-encoding"}, "utf-8 or gbk", false},
};

// The options of an update (any of them asks for one).
constexpr std::string_view kUpdateOptions[] = {
    "--update",          "--member",           "--depths",
    "--depths-age",      "--profile",          "--profile-age",
    "--covers",          "--depth-cov",        "--profile-sd",
    "--corrosion-depth", "--crack-width",      "--predictive",
    "--input-encoding",  "--keep-first-layer", "--corrosion-depth-sd",
    "--crack-width-sd"};

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

// The member of a project by its name; the parts of the file that could not be read are named
// on standard error.
project::Member project_member(const std::string& path, const std::string& name) {
  auto opened = project::open_project(path);
  if (!opened) {
    throw std::runtime_error(path + ": " + opened.refusal().message + "; nothing was computed");
  }
  for (const auto& skipped : opened->skipped) {
    std::cerr << "pellucor-cli: skipped " << skipped.where << ": " << skipped.message << '\n';
  }
  std::string names;
  for (const auto& m : opened->project.members) {
    if (m.name == name) return m;
    names += (names.empty() ? "" : ", ") + m.name;
  }
  throw UsageError("no member '" + name + "' in " + path +
                   " (members: " + (names.empty() ? std::string("none") : names) + ")");
}

double positive_option(const Arguments& args, std::string_view option) {
  const double v = number_of<double>(option, *args.value(option));
  if (!(v >= 0) || !std::isfinite(v)) {
    throw UsageError(std::string(option) + " needs a number of 0 or more");
  }
  return v;
}

// The readings given as files, added to the member's.
void add_files(const Arguments& args, const update::TypedErrors& errors, update::Measurements& m) {
  const auto encoding = input_encoding(args.value("--input-encoding"));
  const auto depthFiles = args.values("--depths");
  const auto depthAges = args.values("--depths-age");
  if (depthFiles.size() != depthAges.size()) {
    throw UsageError("each --depths FILE needs its --depths-age (" +
                     std::to_string(depthFiles.size()) + " files, " +
                     std::to_string(depthAges.size()) + " ages)");
  }
  for (std::size_t i = 0; i < depthFiles.size(); ++i) {
    const auto r = read_table(depthFiles[i], encoding, analysis::inspect::kCarbonationColumns);
    m.depths.push_back(
        {r.columns[0], number_of<double>("--depths-age", depthAges[i]), errors.depthCov});
  }
  const auto profileFiles = args.values("--profile");
  const auto profileAges = args.values("--profile-age");
  if (profileFiles.size() != profileAges.size()) {
    throw UsageError("each --profile FILE needs its --profile-age (" +
                     std::to_string(profileFiles.size()) + " files, " +
                     std::to_string(profileAges.size()) + " ages)");
  }
  for (std::size_t i = 0; i < profileFiles.size(); ++i) {
    const auto r = read_table(profileFiles[i], encoding, analysis::inspect::kProfileColumns);
    update::ProfileCore core;
    core.name = profileFiles[i];
    core.input.depthMm = r.columns[0];
    core.input.chloride = r.columns[1];
    core.input.ageYears = number_of<double>("--profile-age", profileAges[i]);
    core.input.leaveOutFirstLayer = !args.has("--keep-first-layer");
    core.errorSd = errors.profileSd;
    m.cores.push_back(std::move(core));
  }
  if (const auto covers = args.value("--covers")) {
    const auto r = read_table(*covers, encoding, analysis::inspect::kCoverColumns);
    m.coverMm.insert(m.coverMm.end(), r.columns[0].begin(), r.columns[0].end());
  }
  const std::pair<const char*, const char*> at[] = {{"--corrosion-depth", "--corrosion-depth-sd"},
                                                    {"--crack-width", "--crack-width-sd"}};
  for (const auto& [value, sd] : at) {
    if (args.has(value) != args.has(sd)) {
      throw UsageError(std::string(value) + " and " + sd + " go together");
    }
    if (!args.has(value)) continue;
    const update::AtInspection a{positive_option(args, value), positive_option(args, sd)};
    (std::string_view(value) == "--corrosion-depth" ? m.corrosionDepth : m.crackWidth) = a;
  }
}

// Writes one output opened before the run; false (said on standard error) when it fails.
bool write_output(sheet::SafeOutput& out, const std::string& path, const std::string& bytes,
                  std::string_view what) {
  auto failure = out.write(bytes);
  if (!failure) failure = out.commit();
  if (failure) {
    std::cout.flush();
    std::cerr << "pellucor-cli: the " << what
              << " were not written: " << output_failure(path, *failure) << '\n';
    return false;
  }
  std::cout << what << " written to " << path << '\n';
  return true;
}

int run_update(const Arguments& args, const mc::Problem& problem,
               const update::Measurements& measurements, const mc::RunSettings& settings,
               const std::optional<project::Member>& member) {
  if (settings.stopCov > 0) {
    throw UsageError("--stop-cov does not apply to an update (--samples are its draws)");
  }
  const auto output = args.value("-o");
  const auto predictive = args.value("--predictive");
  std::vector<NamedFile> files;
  if (output) files.push_back({"-o", *output, false});
  if (predictive) files.push_back({"--predictive", *predictive, false});
  refuse_same_files(files);
  sheet::SafeOutput curves, curvesPredictive;
  if (output) open_output(curves, "-o", *output, true, "the summary goes");
  if (predictive)
    open_output(curvesPredictive, "--predictive", *predictive, true, "the summary goes");

  update::UpdateSettings us;
  us.run = settings;
  const auto result = update::run_update(problem, measurements, us);
  if (!result) {
    if (output) curves.abandon();
    if (predictive) curvesPredictive.abandon();
    std::cerr << "pellucor-cli: " << result.refusal().message << "\n  " << result.refusal().text
              << '\n';
    return kExitRefused;
  }
  const update::UpdateResult& r = *result;
  std::cout << "Sheet " << r.prior.sheet << ": " << r.prior.caption << '\n';
  if (member) std::cout << "member: " << member->name << '\n';
  for (const std::string& line : mc::warning_lines(r.prior)) std::cout << line << '\n';
  for (const std::string& line : update::warning_lines(r)) std::cout << line << '\n';
  for (const std::string& line : mc::input_lines(r.prior)) std::cout << line << '\n';
  for (const std::string& line : update::update_lines(r)) std::cout << line << '\n';
  bool complete = r.diagnostics.passed;
  if (output) {
    std::ostringstream text;
    update::write_update_csv(text, r);
    complete = write_output(curves, *output, text.str(), "curves") && complete;
  }
  if (predictive) {
    std::ostringstream text;
    update::write_predictive_csv(text, r);
    complete =
        write_output(curvesPredictive, *predictive, text.str(), "predictive curves") && complete;
  }
  if (!r.diagnostics.passed) {
    std::cerr << "pellucor-cli: the update does not meet its diagnostics; its results are not "
                 "to be graded\n";
  }
  return complete ? kExitDone : kExitIncomplete;
}

int run(const Arguments& args) {
  const auto& positional = args.positional();
  const bool updating = std::any_of(std::begin(kUpdateOptions), std::end(kUpdateOptions),
                                    [&args](std::string_view o) { return args.has(o); });
  if (args.has("--update") != args.has("--member")) {
    throw UsageError("--update PROJECT and --member NAME go together");
  }
  // The member of a project, when the update takes one.
  std::optional<project::Member> member;
  if (const auto path = args.value("--update"))
    member = project_member(*path, *args.value("--member"));
  if (positional.empty() && !member) throw UsageError("no sheet given");
  const sheet::Module* module =
      member ? project::module_of(*member) : modules::find_module(positional[0]);
  if (module == nullptr) {
    throw UsageError("unknown sheet '" + (member ? member->sheet : positional[0]) +
                     "' (sheets: 1-5 or their names)");
  }
  if (member && !positional.empty()) {
    if (modules::find_module(positional[0]) != module) {
      throw UsageError("member '" + member->name + "' is on sheet " + member->sheet + ", not " +
                       positional[0]);
    }
    if (positional.size() > 1) {
      throw UsageError(
          "with --member the sheet's texts are the member's (change them in the "
          "project), not NAME=TEXT");
    }
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
  mc::Binder binder = mc::Binder::Portland;
  if (const auto v = args.value("--binder")) {
    const auto b = mc::binder_from_name(*v);
    if (!b) throw UsageError("unknown binder '" + *v + "' (portland, fly-ash or slag)");
    binder = *b;
  }
  update::TypedErrors errors;
  if (const auto v = args.value("--depth-cov"))
    errors.depthCov = number_of<double>("--depth-cov", *v);
  if (const auto v = args.value("--profile-sd")) {
    errors.profileSd = number_of<double>("--profile-sd", *v);
  }
  mc::Problem problem;
  update::Measurements measurements;
  if (member) {
    auto u = update::member_update(*member, errors, binder);
    if (!u) {
      std::cerr << "pellucor-cli: " << u.refusal().message << "\n  " << u.refusal().text
                << "\nNothing was computed.\n";
      return kExitRefused;
    }
    problem = u->problem;
    measurements = u->measurements;
  } else {
    const auto entries =
        sheet_entries(s, std::vector<std::string>(positional.begin() + 1, positional.end()));
    problem = mc::with_defaults(*module, read_inputs(s, entries), binder);
  }
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
  if (updating) add_files(args, errors, measurements);
  if (auto error = mc::validate(problem, settings)) {
    std::cerr << "pellucor-cli: " << error->message << "\nNothing was computed.\n";
    return kExitRefused;
  }
  if (updating) return run_update(args, problem, measurements, settings, member);
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
  return run_command("mc ", args, kOptions, kUsage, run);
}

}  // namespace pellucor::cli
