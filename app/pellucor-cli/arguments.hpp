// What every command of pellucor-cli shares: its exit statuses, how its arguments are read
// (options with values, NAME=TEXT assignments of a sheet's inputs), the one way a usage error is
// reported, and the checks of its output files before anything is computed.
#pragma once

#include <charconv>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/case_runner.hpp"
#include "sheet/safe_output.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::cli {

// Exit statuses of every command.
inline constexpr int kExitDone = 0;        // everything ran to its end and was written
inline constexpr int kExitRefused = 1;     // usage or file error: refused before any computing
inline constexpr int kExitIncomplete = 2;  // computed, but not everything completed or was saved

// A command line that cannot be taken (exit 1, with a hint at the command's help).
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// An option a command takes.
struct OptionRule {
  std::vector<std::string_view> names;  // "--output", "-o"; the first names it in messages
  std::string_view value;               // what its value is ("a file name"); empty: no value
  bool repeatable = false;
};

// A command line read against a command's options: its options' values and its other
// arguments (positional), in order. "--" ends the options; "-" alone is an argument.
class Arguments {
 public:
  bool has(std::string_view option) const;
  // The value of an option given once, if given.
  std::optional<std::string> value(std::string_view option) const;
  // Every value of a repeatable option, in order.
  std::vector<std::string> values(std::string_view option) const;
  const std::vector<std::string>& positional() const { return positional_; }

 private:
  friend Arguments parse_arguments(const std::vector<std::string>& args,
                                   const std::vector<OptionRule>& rules);
  std::vector<std::pair<std::string, std::string>> options_;  // first name, value
  std::vector<std::string> positional_;
};

// Reads `args` (the words after the command's own name); "--help" and "-h" are known to every
// command. An option is written "--name value" or "--name=value". Throws UsageError for an
// unknown option, a missing or empty value, an option given twice that may be given once.
Arguments parse_arguments(const std::vector<std::string>& args,
                          const std::vector<OptionRule>& rules);

// Runs a command: a UsageError is reported with the hint "Try 'pellucor-cli ... --help'" and
// any other error as it is, both with exit status 1.
int run_command(std::string_view helpCommand, const std::function<int()>& command);
// Runs a command whose options are `rules`: reads `words` against them, prints `usage` for
// "--help", and otherwise runs `command` on the arguments; errors as above.
int run_command(std::string_view helpCommand, const std::vector<std::string>& words,
                const std::vector<OptionRule>& rules, std::string_view usage,
                const std::function<int(const Arguments&)>& command);

// The sheet's input entries for NAME=TEXT arguments, in the order given: a box, an option or
// the steel list by control name, alias or label, or an option group by its caption; the steel
// list takes 1, 2, 3, an item or a steel name, an option 1 (or 0: nothing), a group an option's
// caption, alias or place. An empty text for a box is typed (it empties the box). Throws
// UsageError naming the argument for an unknown name, a value the input cannot take, or an
// input (a group) given twice.
std::vector<analysis::batch::Entry> sheet_entries(const sheet::SheetTable& table,
                                                  const std::vector<std::string>& assignments);

// The numeric box a name stands for (a control name, alias or label); throws UsageError.
const sheet::FieldRow& numeric_box(const sheet::SheetTable& table, const std::string& name);

// An output named on the command line (for the checks below).
struct NamedFile {
  std::string option;  // how the command line names it ("--save", "the input")
  std::string path;
  bool isInput = false;
};
// Refuses (UsageError) two outputs, or an output and the input, that are one file, compared
// by the files themselves (links and other spellings of a path included).
void refuse_same_files(const std::vector<NamedFile>& files);

// Opens an output before anything is computed (see sheet::SafeOutput); throws std::runtime_error
// with the reason in the words of the result file when it cannot be written.
// `noStandardOutput` refuses "-" and /dev/stdout (UsageError) for a command that prints
// something else there (`standardOutputUse` says what).
void open_output(sheet::SafeOutput& out, const std::string& option, const std::string& path,
                 bool noStandardOutput, std::string_view standardOutputUse = {});

// The message of an output that failed after computing: the reason and that nothing was saved.
std::string output_failure(const std::string& path, const sheet::WriteFailure& failure);

// A note for standard error when fewer threads ran than were asked for; empty when all ran.
std::string threads_note(unsigned ran, unsigned refused, std::string_view what);

// A whole option value read as a number of type T; throws UsageError naming the option.
template <class T>
T number_of(std::string_view option, std::string_view text) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
    throw UsageError("'" + std::string(text) + "' is no valid number for " + std::string(option));
  }
  return value;
}

}  // namespace pellucor::cli
