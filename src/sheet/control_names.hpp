// Finding a sheet's control from a name a user gives: the control name ("Text5"), the
// console alias ("cover"), or the label beside it on the sheet ("保护层厚度").
#pragma once

#include <string_view>

#include "sheet/control.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::sheet {

// ASCII letters compare without regard to case; every other byte as it is.
bool iequal(std::string_view a, std::string_view b);

// The kinds of names a look-up accepts; combine them with |.
enum class NameKinds : unsigned {
  None = 0,
  ControlNames = 1U << 0,  // "Text5", "Option1", "Combo1", in any case
  Aliases = 1U << 1,       // "cover", "steel", in any case
  Labels = 1U << 2,        // a box's label, an option's caption, the steel list's label, exact
  Console = ControlNames | Aliases,
  All = ControlNames | Aliases | Labels,
};

constexpr NameKinds operator|(NameKinds a, NameKinds b) {
  return static_cast<NameKinds>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool accepts(NameKinds accepted, NameKinds kind) {
  return (static_cast<unsigned>(accepted) & static_cast<unsigned>(kind)) != 0;
}

// Whether `name` is one of the accepted names of the box or option.
bool is_named(const FieldRow& f, std::string_view name, NameKinds accepted);
bool is_named(const OptionRow& o, std::string_view name, NameKinds accepted);

// The sheet's box, option or steel list (Combo1) that `name` names: boxes first, then options,
// then the steel list. None for an empty name or one the sheet does not know.
Control find_control(const SheetTable& table, std::string_view name, NameKinds accepted);

// The option group an option belongs to; nullptr when `c` is no option of the sheet.
const OptionGroupRow* group_of(const SheetTable& table, Control c);

}  // namespace pellucor::sheet
