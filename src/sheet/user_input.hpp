// What a user types for a sheet outside the text of a box, read the same way by every front
// end (the console's NAME=TEXT, a member table's header and cells, a pasted row): which input
// a name stands for, the steel kind, an option, and what a typed value does to the sheet.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sheet/control.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::sheet {

// The text with blanks and tabs around it removed.
std::string trim_blanks_and_tabs(std::string_view text);

// A number typed where the whole text must be one (a setting, a scatter, a reading; not a
// sheet's box, which takes the numeric prefix of whatever it holds): blanks and tabs around it
// are ignored, full-width forms are read as their half-width characters, one leading "+" is
// allowed; the rest must be a finite decimal number, with an exponent if wanted ("1.5", "-2",
// ".5", "3e-2"). None for an empty text, and for anything else ("4O", "1,5", "inf").
std::optional<double> typed_number(std::string_view typed);

// A count or a seed typed the same way: the digits of a whole number from 0 to 2^64 - 1 (a
// leading "+" allowed); none for a sign "-", a point, an exponent, or a value out of range.
std::optional<std::uint64_t> typed_count(std::string_view typed);

// The item of the steel-kind list a typed text names: its number (1, 2, 3), the item's text
// ("2 变形钢筋") or the steel's name ("变形钢筋"); blanks around it are ignored and full-width
// forms are read as their half-width characters. None for anything else.
std::optional<std::string_view> steel_item(std::string_view typed);

// Whether a typed text chooses an option: "1" chooses it, "0" or an empty text leaves it as it
// is; none for anything else (blanks around it ignored, full-width forms read as half-width).
std::optional<bool> option_flag(std::string_view typed);

// The option of a group a typed text names: its caption, alias or control name, or its place in
// the group (1 or 2). Null for none.
const OptionRow* option_named(const OptionGroupRow& group, std::string_view typed);

// NAME=TEXT, split at the first "="; none when there is no "=" or the name is empty.
struct NamedText {
  std::string name;
  std::string text;
};
std::optional<NamedText> split_named_text(std::string_view argument);

// The input of a sheet a name stands for: a box, an option button or the steel list (by control
// name, alias or the caption beside it, see find_control), or an option group (by its caption
// or frame name, "Frame1"). Control names, aliases and frame names ignore ASCII case.
struct InputTarget {
  enum class Kind { None, Box, Option, Steel, Group };
  Kind kind = Kind::None;
  Control control = Control::None;        // Box, Option, Steel
  const OptionGroupRow* group = nullptr;  // Option (its group), Group

  bool operator==(const InputTarget&) const = default;
};
InputTarget find_input(const SheetTable& table, std::string_view name);

// How a box's text is taken: as a user types into the sheet (the sheet reads its numeric
// prefix: "25mm" is 25), or only when the whole text is a number (see typed_number): a cell of a
// member table or a box of a project, where "4O" typed for 40 is a slip to be named, never a 4.
enum class BoxText { AsTyped, WholeNumber };

// What a typed value for a target does to the sheet: the control that is acted on and the text
// that goes into it (a box: the text as typed; the steel list: the item chosen; an option: "1"),
// nothing at all (an empty value, or 0 for an option), or why the value cannot be taken.
struct TypedValue {
  enum class Kind { Type, Nothing, Refused };
  // Why a value is refused.
  enum class Why {
    None,
    NoInput,     // the name stands for no input of the sheet
    NotANumber,  // a box's text that is not wholly a number (BoxText::WholeNumber)
    NoSteel,     // no item of the steel list
    NoChoice,    // neither 1 nor 0 for an option
    NoOption,    // no option of the group
  };
  Kind kind = Kind::Nothing;
  Control control = Control::None;  // Type; Refused: the control it concerns
  // Type: the text, seen in the typed text (a box) or in the program's own texts (a choice):
  // valid as long as the typed text is.
  std::string_view text;
  std::string refusal;  // Refused: why, in English ("'4O' is not a number")
  Why why = Why::None;  // Refused
};
// An empty text for a box is typed as it is unless `emptyTypesNothing`.
TypedValue typed_value(const InputTarget& target, std::string_view text, bool emptyTypesNothing,
                       BoxText box = BoxText::AsTyped);

// The name of an input as the sheet shows it beside the input: a box's label, the steel list's
// label, an option's group caption. The control name for a control the sheet does not have.
std::string_view input_label(const SheetTable& table, Control c);

}  // namespace pellucor::sheet
