// pellucor-cli: fills a calculation sheet from the command line as a user would, presses
// Calculate and, when asked, Save data; prints the output pane and every message box.
#include <algorithm>
#include <cstddef>
#include <exception>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/case_runner.hpp"
#include "analysis/curves/curves.hpp"
#include "batch_command.hpp"
#include "console_view.hpp"
#include "mc_command.hpp"
#include "modules/registry.hpp"
#include "sheet/control_names.hpp"
#include "sheet/controller.hpp"
#include "sheet/number_form.hpp"

namespace {

using pellucor::analysis::batch::CaseRunner;
using pellucor::analysis::batch::Entry;
using pellucor::sheet::Control;
using pellucor::sheet::FieldRow;
using pellucor::sheet::Module;
using pellucor::sheet::SheetTable;
namespace sheet = pellucor::sheet;

constexpr int kStatusDone = 0;
constexpr int kStatusUsage = 1;
constexpr int kStatusStopped = 2;

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Arguments {
  bool help = false;
  std::optional<std::string> sheet;
  std::vector<std::string> assignments;  // NAME=TEXT as given
  std::optional<std::string> saveFile;
  std::optional<std::string> curvesFile;
};

struct Assignment {
  Control control = Control::None;
  std::string name;   // as given, for notes
  std::string value;  // the text to type, the item to choose
};

Arguments parse(int argc, char** argv) {
  Arguments args;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      args.help = true;
    } else if (arg == "--save" || arg.rfind("--save=", 0) == 0) {
      if (args.saveFile) throw UsageError("--save given twice");
      if (arg == "--save") {
        if (i + 1 >= argc) throw UsageError("--save needs a file name");
        args.saveFile = argv[++i];
      } else {
        args.saveFile = std::string(arg.substr(7));
      }
      if (args.saveFile->empty()) throw UsageError("--save needs a file name");
    } else if (arg == "--curves" || arg.rfind("--curves=", 0) == 0) {
      if (args.curvesFile) throw UsageError("--curves given twice");
      if (arg == "--curves") {
        if (i + 1 >= argc) throw UsageError("--curves needs a file name");
        args.curvesFile = argv[++i];
      } else {
        args.curvesFile = std::string(arg.substr(9));
      }
      if (args.curvesFile->empty()) throw UsageError("--curves needs a file name");
    } else if (!arg.empty() && arg[0] == '-') {
      throw UsageError("unknown option '" + std::string(arg) + "'");
    } else if (!args.sheet) {
      args.sheet = std::string(arg);
    } else if (arg.find('=') != std::string_view::npos) {
      args.assignments.emplace_back(arg);
    } else {
      throw UsageError("malformed argument '" + std::string(arg) + "' (expected NAME=TEXT)");
    }
  }
  return args;
}

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
         "\n"
         "Opens a calculation sheet, types each TEXT into the control NAME as a user would\n"
         "(in the sheet's tab order; each box is checked when it is left), presses Calculate\n"
         "and, with --save, Save data with FILE as the file chosen in the save dialog (the\n"
         "block is appended to FILE). With --curves, the curves of a completed calculation\n"
         "(corrosion depth, crack width, carbonation or chloride against age and depth) are\n"
         "written to FILE.csv as CSV, UTF-8, one pair of columns per curve (no completed\n"
         "calculation, or a file that cannot be written: exit status 2).\n"
         "\n"
         "NAME is a control name (Text1..Text18, Option1..Option4, Combo1) or its alias;\n"
         "'pellucor-cli --help SHEET' lists them. Combo1 (alias steel) takes 1, 2, 3 or an\n"
         "item text; an option is chosen with NAME=1.\n"
         "\n"
         "Standard output: the output pane at the end, one line each (UTF-8).\n"
         "Standard error: every message box as TITLE: TEXT.\n"
         "Exit status: 0 the calculation (and the save) ran to its end, 2 a message box\n"
         "stopped it or nothing was saved or written, 1 usage error.\n"
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
      out << "; Combo1=N or the item text chooses an item\n";
    }
  }
}

// A control by its name or console alias; the console does not take the sheet's labels.
Control resolve(const SheetTable& s, std::string_view name) {
  if (const Control c = sheet::find_control(s, name, sheet::NameKinds::Console);
      c != Control::None) {
    return c;
  }
  const std::string sheetName = std::to_string(s.number);
  for (int i = static_cast<int>(Control::Text1); i <= static_cast<int>(Control::Picture1); ++i) {
    const auto c = static_cast<Control>(i);
    if (sheet::iequal(name, sheet::control_name(c))) {
      throw UsageError("sheet " + sheetName + " has no input " +
                       std::string(sheet::control_name(c)) + " (see --help " + sheetName + ")");
    }
  }
  throw UsageError("unknown control or alias '" + std::string(name) + "' on sheet " + sheetName +
                   " (see --help " + sheetName + ")");
}

std::vector<Assignment> resolve_all(const SheetTable& s, const std::vector<std::string>& given) {
  std::vector<Assignment> out;
  for (const std::string& arg : given) {
    const auto eq = arg.find('=');
    Assignment a;
    a.name = arg.substr(0, eq);
    a.value = arg.substr(eq + 1);
    if (a.name.empty()) throw UsageError("malformed argument '" + arg + "' (expected NAME=TEXT)");
    a.control = resolve(s, a.name);
    for (const Assignment& before : out) {
      if (before.control == a.control) {
        throw UsageError(std::string(sheet::control_name(a.control)) + " given twice");
      }
    }
    if (a.control == Control::Combo1) {
      std::optional<std::string> item;
      for (std::size_t i = 0; i < sheet::kSteelItems.size(); ++i) {
        if (a.value == std::to_string(i + 1) || a.value == sheet::kSteelItems[i]) {
          item = std::string(sheet::kSteelItems[i]);
        }
      }
      if (!item) {
        throw UsageError("'" + a.value + "' is no item of " + a.name +
                         " (1, 2, 3 or an item text)");
      }
      a.value = *item;
    } else if (sheet::group_of(s, a.control) != nullptr && a.value != "1") {
      throw UsageError(arg + ": an option is chosen with " + a.name +
                       "=1 (choose the other option of its group instead)");
    }
    out.push_back(std::move(a));
  }
  auto rank = [&s](Control c) {
    const auto it = std::find(s.tabOrder.begin(), s.tabOrder.end(), c);
    return it - s.tabOrder.begin();
  };
  std::stable_sort(out.begin(), out.end(), [&](const Assignment& a, const Assignment& b) {
    return rank(a.control) < rank(b.control);
  });
  return out;
}

// The exit status from what Calculate and Save came to: done only when the calculation ran
// to its end and, when a save was asked for, the block is in the file.
int exit_status(const sheet::CalculateOutcome& calculated, bool saveAsked,
                const std::optional<sheet::SaveOutcome>& saved) {
  if (!calculated.done()) return kStatusStopped;
  if (saveAsked && !(saved && saved->saved())) return kStatusStopped;
  return kStatusDone;
}

// Writes the curves of the last completed calculation; false (with a note) when there is none
// or the file cannot be written.
bool write_curves(const sheet::SheetController& ctl, const std::string& path) {
  const auto curves = pellucor::analysis::curves::curves(ctl.lastRun());
  if (!curves) {
    std::cerr << "pellucor-cli: no completed calculation; no curves written to " << path << '\n';
    return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) pellucor::analysis::curves::write_csv(*curves, out);
  out.close();
  if (!out) {
    std::cerr << "pellucor-cli: cannot write the curves to " << path << '\n';
    return false;
  }
  return true;
}

// Plays the sheet: the assignments, Calculate, Save. Returns the exit status.
int play(const Module& module, const std::vector<Assignment>& assignments,
         const std::optional<std::string>& saveFile, const std::optional<std::string>& curvesFile) {
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
  std::vector<Entry> entries;
  for (const Assignment& a : assignments) entries.push_back({a.control, a.value});
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
  const bool curvesFailed = curvesFile && !(completed && write_curves(ctl, *curvesFile));
  if (curvesFile && !completed) {
    std::cerr << "pellucor-cli: no completed calculation; no curves written to " << *curvesFile
              << '\n';
  }

  for (const std::string& line : view.pane()) std::cout << line << '\n';
  std::cout.flush();
  if (curvesFailed) return kStatusStopped;
  return exit_status(calculated, saveFile.has_value(), saved);
}

int run(int argc, char** argv) {
  const Arguments args = parse(argc, argv);
  if (args.help) {
    if (args.sheet) {
      print_sheet_help(find_sheet(*args.sheet), std::cout);
    } else {
      print_overview(std::cout);
    }
    return kStatusDone;
  }
  if (!args.sheet) throw UsageError("no sheet given");
  const Module& module = find_sheet(*args.sheet);
  const auto assignments = resolve_all(module.table(), args.assignments);
  return play(module, assignments, args.saveFile, args.curvesFile);
}

}  // namespace

int main(int argc, char** argv) {
  if (pellucor::cli::is_batch_command(argc, argv)) {
    return pellucor::cli::run_batch_command(argc, argv);
  }
  if (argc > 1 && std::string_view(argv[1]) == "mc")
    return pellucor::cli::run_mc(argc - 1, argv + 1);
  try {
    return run(argc, argv);
  } catch (const UsageError& e) {
    std::cerr << "pellucor-cli: " << e.what() << "\nTry 'pellucor-cli --help'.\n";
    return kStatusUsage;
  } catch (const std::exception& e) {
    std::cerr << "pellucor-cli: " << e.what() << '\n';
    return kStatusUsage;
  }
}
