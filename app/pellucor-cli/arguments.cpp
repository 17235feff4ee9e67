#include "arguments.hpp"

#include <algorithm>
#include <exception>
#include <iostream>

#include "sheet/control_names.hpp"
#include "sheet/user_input.hpp"

namespace pellucor::cli {

namespace {

const OptionRule kHelp{{"--help", "-h"}, {}, false};

const OptionRule* find_rule(const std::vector<OptionRule>& rules, std::string_view name) {
  for (const OptionRule& s : rules) {
    if (std::find(s.names.begin(), s.names.end(), name) != s.names.end()) return &s;
  }
  if (name == "--help" || name == "-h") return &kHelp;
  return nullptr;
}

std::string sheet_hint(const sheet::SheetTable& table) {
  return "(see pellucor-cli --help " + std::to_string(table.number) + ")";
}

// The control or group a name stands for, or a usage error that says why none.
sheet::InputTarget target_named(const sheet::SheetTable& table, const std::string& name) {
  const sheet::InputTarget t = sheet::find_input(table, name);
  if (t.kind != sheet::InputTarget::Kind::None) return t;
  const std::string number = std::to_string(table.number);
  for (int i = static_cast<int>(sheet::Control::Text1);
       i <= static_cast<int>(sheet::Control::Picture1); ++i) {
    const auto c = static_cast<sheet::Control>(i);
    if (sheet::iequal(name, sheet::control_name(c))) {
      throw UsageError("sheet " + number + " has no input " + std::string(sheet::control_name(c)) +
                       " " + sheet_hint(table));
    }
  }
  throw UsageError("unknown control or alias '" + name + "' on sheet " + number + " " +
                   sheet_hint(table));
}

}  // namespace

bool Arguments::has(std::string_view option) const {
  return std::any_of(options_.begin(), options_.end(),
                     [option](const auto& o) { return o.first == option; });
}

std::optional<std::string> Arguments::value(std::string_view option) const {
  for (const auto& [name, value] : options_) {
    if (name == option) return value;
  }
  return std::nullopt;
}

std::vector<std::string> Arguments::values(std::string_view option) const {
  std::vector<std::string> out;
  for (const auto& [name, value] : options_) {
    if (name == option) out.push_back(value);
  }
  return out;
}

Arguments parse_arguments(const std::vector<std::string>& args,
                          const std::vector<OptionRule>& rules) {
  Arguments parsed;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      parsed.positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const auto eq = arg.find('=');
    const std::string name = arg.substr(0, eq);
    const OptionRule* rule = find_rule(rules, name);
    if (rule == nullptr) throw UsageError("unknown option '" + arg + "'");
    const std::string canonical(rule->names.front());
    std::string value;
    if (rule->value.empty()) {
      if (eq != std::string::npos) throw UsageError(canonical + " takes no value");
    } else if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      throw UsageError(canonical + " needs " + std::string(rule->value));
    }
    if (!rule->value.empty() && value.empty()) {
      throw UsageError(canonical + " needs " + std::string(rule->value));
    }
    if (!rule->repeatable && parsed.has(canonical)) throw UsageError(canonical + " given twice");
    parsed.options_.emplace_back(canonical, std::move(value));
  }
  return parsed;
}

int run_command(std::string_view helpCommand, const std::function<int()>& command) {
  try {
    return command();
  } catch (const UsageError& e) {
    std::cerr << "pellucor-cli: " << e.what() << "\nTry 'pellucor-cli " << helpCommand
              << "--help'.\n";
  } catch (const std::exception& e) {
    std::cerr << "pellucor-cli: " << e.what() << '\n';
  }
  return kExitRefused;
}

int run_command(std::string_view helpCommand, const std::vector<std::string>& words,
                const std::vector<OptionRule>& rules, std::string_view usage,
                const std::function<int(const Arguments&)>& command) {
  return run_command(helpCommand, [&] {
    const Arguments args = parse_arguments(words, rules);
    if (args.has("--help")) {
      std::cout << usage;
      return kExitDone;
    }
    return command(args);
  });
}

std::vector<analysis::batch::Entry> sheet_entries(const sheet::SheetTable& table,
                                                  const std::vector<std::string>& assignments) {
  std::vector<analysis::batch::Entry> entries;
  std::vector<std::pair<sheet::Control, const sheet::OptionGroupRow*>> seen;
  for (const std::string& arg : assignments) {
    const auto named = sheet::split_named_text(arg);
    if (!named) throw UsageError("malformed argument '" + arg + "' (expected NAME=TEXT)");
    const sheet::InputTarget target = target_named(table, named->name);
    // An option and its group are one input: given once.
    const bool grouped = target.group != nullptr;
    const std::pair key{grouped ? sheet::Control::None : target.control, target.group};
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
      throw UsageError(grouped ? "the option group " + std::string(target.group->caption) +
                                     " is given twice"
                               : std::string(sheet::control_name(target.control)) + " given twice");
    }
    seen.push_back(key);
    const sheet::TypedValue v = sheet::typed_value(target, named->text, false);
    switch (v.kind) {
      case sheet::TypedValue::Kind::Refused:
        throw UsageError(named->name + ": " + v.refusal);
      case sheet::TypedValue::Kind::Type:
        entries.push_back({v.control, std::string(v.text)});
        break;
      case sheet::TypedValue::Kind::Nothing:
        break;
    }
  }
  return entries;
}

const sheet::FieldRow& numeric_box(const sheet::SheetTable& table, const std::string& name) {
  const sheet::InputTarget t = sheet::find_input(table, name);
  if (t.kind != sheet::InputTarget::Kind::Box) {
    throw UsageError("sheet " + std::to_string(table.number) + " has no numeric input '" + name +
                     "' " + sheet_hint(table));
  }
  return *table.field(t.control);
}

void refuse_same_files(const std::vector<NamedFile>& files) {
  std::vector<std::optional<sheet::FileKey>> keys;
  for (const NamedFile& f : files) {
    keys.push_back(f.isInput && f.path == "-" ? sheet::file_key_of(0) : sheet::file_key(f.path));
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t k = 0; k < i; ++k) {
      if (files[i].isInput && files[k].isInput) continue;
      if (sheet::same_file(keys[i], keys[k])) {
        throw UsageError(files[k].option + " and " + files[i].option + " are the same file (" +
                         files[k].path + ", " + files[i].path +
                         "); nothing was computed or written");
      }
    }
  }
}

void open_output(sheet::SafeOutput& out, const std::string& option, const std::string& path,
                 bool noStandardOutput, std::string_view standardOutputUse) {
  if (auto f = out.open(path)) {
    throw std::runtime_error(option + ": " + sheet::output_failure_message(path, *f) + " (" +
                             f->detail + "); nothing was computed");
  }
  if (noStandardOutput && out.standardStream()) {
    out.abandon();
    throw UsageError(option + " " + path + " is the standard output, where " +
                     std::string(standardOutputUse) + "; give a file");
  }
}

std::string output_failure(const std::string& path, const sheet::WriteFailure& failure) {
  return sheet::output_failure_message(path, failure) + " (" + failure.detail + ")";
}

std::string threads_note(unsigned ran, unsigned refused, std::string_view what) {
  if (refused == 0) return {};
  return "only " + std::to_string(ran) + " of " + std::to_string(ran + refused) +
         " threads could be started (the system's limit); the " + std::string(what) + " ran on " +
         std::to_string(ran) + ", with the same results";
}

}  // namespace pellucor::cli
