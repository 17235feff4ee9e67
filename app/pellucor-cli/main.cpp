// pellucor-cli: fills a calculation sheet from the command line as a user would, presses
// Calculate and, when asked, Save data; prints the output pane and every message box.
#include <algorithm>
#include <cstddef>
#include <exception>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/case_runner.hpp"
#include "analysis/curves/curves.hpp"
#include "arguments.hpp"
#include "assess_command.hpp"
#include "batch_command.hpp"
#include "console_view.hpp"
#include "design_command.hpp"
#include "fit_command.hpp"
#include "mc_command.hpp"
#include "modules/registry.hpp"
#include "platform/files.hpp"
#include "sheet/control_names.hpp"
#include "sheet/controller.hpp"
#include "sheet/number_form.hpp"
#include "sheet/safe_output.hpp"

namespace {

using pellucor::analysis::batch::CaseRunner;
using pellucor::analysis::batch::Entry;
using pellucor::sheet::Control;
using pellucor::sheet::FieldRow;
using pellucor::sheet::Module;
using pellucor::sheet::SheetTable;
namespace sheet = pellucor::sheet;
using namespace pellucor::cli;

const std::vector<OptionRule> kSheetOptions = {
    {{"--save"}, "a file name", false},
    {{"--curves"}, "a file name", false},
};

const Module& find_sheet(const std::string& name) {
  const Module* m = pellucor::modules::find_module(name);
  if (m == nullptr) {
    throw UsageError("unknown sheet '" + name + "' (sheets: 1-5 or their names, see --help)");
  }
  return *m;
}

std::string range_text(const FieldRow& f) {
  return sheet::general_digits(f.lo, 15) + " to " + sheet::general_digits(f.hi, 15);
}

std::string names_of(const std::vector<Control>& controls) {
  std::string out;
  for (Control c : controls) {
    if (!out.empty()) out += ", ";
    out += sheet::control_name(c);
  }
  return out;
}

// What the sheet does with a box's text, in a few words.
std::string check_text(const FieldRow& f) {
  using sheet::ChangeCheck;
  using sheet::LeaveCheck;
  std::string out;
  switch (f.change) {
    case ChangeCheck::Range:
      out = "valid " + range_text(f) + ", checked on every change; 0 empties the box";
      break;
    case ChangeCheck::EitherOr:
      out = "valid " + range_text(f) + ", checked on every change; a value empties and disables " +
            std::string(sheet::control_name(f.partner)) + " (give one of the two)";
      break;
    case ChangeCheck::LockDerivation:
      out = "valid " + range_text(f) + ", checked on every change; a value empties and disables " +
            names_of(f.locked) + " (0: derived from them)";
      break;
    case ChangeCheck::None:
      break;
  }
  switch (f.leave) {
    case LeaveCheck::Range:
      out = "valid " + range_text(f) + ", checked when the box is left";
      break;
    case LeaveCheck::ZeroBlankThenRange:
      out = "valid " + range_text(f) + ", checked when the box is left (0 empties it)";
      break;
    case LeaveCheck::ZeroBlankOnly:
      out += out.empty() ? "0 empties the box when it is left" : "; 0 empties it when it is left";
      break;
    case LeaveCheck::None:
      if (f.change == ChangeCheck::None) out = "no range check";
      break;
  }
  return out;
}

void print_overview(std::ostream& out) {
  out << "Usage: pellucor-cli SHEET [NAME=TEXT ...] [--save FILE] [--curves FILE.csv]\n"
         "       pellucor-cli --help [SHEET]\n"
         "       pellucor-cli batch SHEET [IN.csv|-] [-o OUT.csv|OUT.xlsx]  (see batch --help)\n"
         "       pellucor-cli mc SHEET [NAME=TEXT ...] [--cov NAME=V ...] ...  (see mc --help)\n"
         "       pellucor-cli batch PROJECT.pellucor [-o OUT]  (the members of a project)\n"
         "       pellucor-cli fit profile|carbonation|cover IN.csv ...  (see fit --help)\n"
         "       pellucor-cli design SHEET [NAME=TEXT ...] --solve NAME ...  (see design --help)\n"
         "       pellucor-cli assess PROJECT.pellucor [-o TABLE.csv] ...  (see assess --help)\n"
         "\n"
         "Opens a calculation sheet, types each TEXT into the control NAME as a user would\n"
         "(in the sheet's tab order; each box is checked when it is left), presses Calculate\n"
         "and, with --save, Save data with FILE as the file chosen in the save dialog (the\n"
         "block is appended to FILE). With --curves, the curves of a completed calculation\n"
         "(corrosion depth, crack width, carbonation or chloride against age and depth) are\n"
         "written to FILE.csv as CSV, UTF-8, one pair of columns per curve (no completed\n"
         "calculation: exit status 2). FILE.csv is written whole or not at all, and is\n"
         "checked before the calculation (a folder that does not take it, the same file as\n"
         "--save: exit status 1, nothing computed).\n"
         "\n"
         "NAME is a control name (Text1..Text18, Option1..Option4, Combo1), its alias or the\n"
         "label beside it, or an option group's caption; 'pellucor-cli --help SHEET' lists\n"
         "them. Combo1 (alias steel) takes 1, 2, 3, an item text or a steel name; an option\n"
         "is chosen with NAME=1 (0 leaves it as it is), a group with GROUP=its option.\n"
         "Full-width digits, point, signs and blanks (\"２０．５\") are read as their\n"
         "half-width forms, as in the sheet's boxes.\n"
         "\n"
         "Standard output: the output pane at the end, one line each (UTF-8).\n"
         "Standard error: every message box as TITLE: TEXT.\n"
         "Exit status: 0 the calculation (and the save) ran to its end; 2 a message box\n"
         "stopped it, or nothing was saved or written; 1 usage error, or an output refused\n"
         "before the calculation (nothing computed).\n"
         "\n"
         "Sheets:\n";
  for (const Module* m : pellucor::modules::all_modules()) {
    const SheetTable& s = m->table();
    std::string name(s.cliName);
    name.resize(std::max<std::size_t>(name.size(), 18), ' ');
    out << "  " << s.number << "  " << name << "  " << s.caption << '\n';
  }
}

void print_sheet_help(const Module& module, std::ostream& out) {
  const SheetTable& s = module.table();
  out << "Sheet " << s.number << " (" << s.cliName << "): " << s.caption << "\n\n"
      << "Inputs in tab order: NAME (alias)  label\n";
  for (Control c : s.tabOrder) {
    if (const FieldRow* f = s.field(c)) {
      out << "  " << sheet::control_name(c) << " (" << f->alias << ")  " << f->label << '\n'
          << "      " << f->meaning << '\n'
          << "      " << check_text(*f) << '\n';
      continue;
    }
    for (const auto& g : s.groups) {
      for (const auto& o : g.options) {
        if (o.control != c) continue;
        const bool first = &o == &g.options[0];
        out << "  " << sheet::control_name(c) << " (" << o.alias << ")  " << o.caption << '\n'
            << "      option of " << g.caption << (first ? ", chosen when the sheet opens" : "")
            << "; " << sheet::control_name(c) << "=1 chooses it\n";
      }
    }
    if (c == Control::Combo1) {
      out << "  Combo1 (steel)  " << s.combo.label << '\n' << "      steel kind:";
      for (std::size_t i = 0; i < sheet::kSteelItems.size(); ++i) {
        out << (i == 0 ? " " : ", ") << sheet::kSteelItems[i];
      }
      out << "; Combo1=N, the item text or the steel name chooses an item\n";
    }
  }
  for (const auto& g : s.groups) {
    out << "  " << g.caption << " (" << g.name << ")  option group: " << g.caption << "=";
    for (std::size_t k = 0; k < g.options.size(); ++k) {
      out << (k == 0 ? "" : " or ") << g.options[k].caption;
    }
    out << " (or 1, 2) chooses one\n";
  }
}

// The exit status from what Calculate and Save came to: done only when the calculation ran
// to its end and, when a save was asked for, the block is in the file.
int exit_status(const sheet::CalculateOutcome& calculated, bool saveAsked,
                const std::optional<sheet::SaveOutcome>& saved) {
  if (!calculated.done()) return kExitIncomplete;
  if (saveAsked && !(saved && saved->saved())) return kExitIncomplete;
  return kExitDone;
}

// Writes the curves of the last completed calculation into the output opened before it;
// false (with a note) when there is none or the file cannot be written.
bool write_curves(const sheet::SheetController& ctl, sheet::SafeOutput& out,
                  const std::string& path) {
  const auto curves = pellucor::analysis::curves::curves(ctl.lastRun());
  if (!curves) {
    std::cerr << "pellucor-cli: no completed calculation; no curves written to " << path << '\n';
    return false;
  }
  std::ostringstream text;
  pellucor::analysis::curves::write_csv(*curves, text);
  auto failure = out.write(text.str());
  if (!failure) failure = out.commit();
  if (failure) {
    std::cerr << "pellucor-cli: cannot write the curves: " << output_failure(path, *failure)
              << '\n';
    return false;
  }
  return true;
}

// Plays the sheet: the entries, Calculate, Save. Returns the exit status.
int play(const Module& module, std::vector<Entry> entries,
         const std::optional<std::string>& saveFile, const std::optional<std::string>& curvesFile,
         sheet::SafeOutput& curvesOut) {
  const SheetTable& s = module.table();
  pellucor::cli::ConsoleView view(s, std::cerr);
  CaseRunner::Options options;
  options.stopAtFirstMessage = false;  // the user goes on after a message
  options.emptyLeavesBox = false;
  options.skippedDisabled = [](Control c) {
    std::cerr << "pellucor-cli: " << sheet::control_name(c)
              << " is disabled; its text is not typed\n";
  };
  CaseRunner runner(module, view, options);
  sheet::SheetController& ctl = runner.controller();
  runner.type(std::move(entries));

  runner.moveFocus(Control::CmdCal);
  const sheet::CalculateOutcome calculated = runner.calculate();
  std::optional<sheet::SaveOutcome> saved;
  if (saveFile) {
    if (!view.isEnabled(Control::CmdSave)) {
      std::cerr << "pellucor-cli: Cmd_save is disabled (no completed calculation); "
                   "nothing saved\n";
    } else {
      runner.moveFocus(Control::CmdSave);
      view.setSaveAnswer(*saveFile);
      saved = ctl.save();
      if (saved->status == sheet::SaveOutcome::Status::Cancelled) {
        std::cerr << "pellucor-cli: the file name is blank; nothing saved\n";
      }
    }
  }

  // Only a calculation that ran to its end in this run has curves.
  const bool completed = calculated.done();
  const bool curvesFailed = curvesFile && !(completed && write_curves(ctl, curvesOut, *curvesFile));
  if (curvesFile && !completed) {
    std::cerr << "pellucor-cli: no completed calculation; no curves written to " << *curvesFile
              << '\n';
  }

  for (const std::string& line : view.pane()) std::cout << line << '\n';
  std::cout.flush();
  if (curvesFailed) return kExitIncomplete;
  return exit_status(calculated, saveFile.has_value(), saved);
}

int run(const std::vector<std::string>& words) {
  const Arguments args = parse_arguments(words, kSheetOptions);
  const auto& positional = args.positional();
  if (args.has("--help")) {
    if (positional.size() > 1) throw UsageError("--help takes at most one sheet");
    if (!positional.empty()) {
      print_sheet_help(find_sheet(positional[0]), std::cout);
    } else {
      print_overview(std::cout);
    }
    return kExitDone;
  }
  if (positional.empty()) throw UsageError("no sheet given");
  const Module& module = find_sheet(positional[0]);
  auto entries = sheet_entries(module.table(),
                               std::vector<std::string>(positional.begin() + 1, positional.end()));
  const auto saveFile = args.value("--save");
  const auto curvesFile = args.value("--curves");
  // The outputs are checked before anything is computed. The result file is Save's: it is
  // appended to, and its own checks speak when it is saved.
  std::vector<NamedFile> outputs;
  if (saveFile) outputs.push_back({"--save", *saveFile});
  if (curvesFile) outputs.push_back({"--curves", *curvesFile});
  refuse_same_files(outputs);
  sheet::SafeOutput curvesOut;
  if (curvesFile) {
    open_output(curvesOut, "--curves", *curvesFile, true, "the output pane goes");
  }
  return play(module, std::move(entries), saveFile, curvesFile, curvesOut);
}

}  // namespace

int main(int argc, char** argv) {
  pellucor::platform::use_binary_standard_streams();
  std::vector<std::string> words(argv + 1, argv + argc);
  const std::string command = words.empty() ? std::string() : words.front();
  if (command == "batch" || command == "mc" || command == "fit" || command == "design" ||
      command == "assess") {
    words.erase(words.begin());
    if (command == "batch") return run_batch_command(words);
    if (command == "mc") return run_mc_command(words);
    if (command == "fit") return run_fit_command(words);
    if (command == "design") return run_design_command(words);
    return run_assess_command(words);
  }
  return run_command("", [&] { return run(words); });
}
