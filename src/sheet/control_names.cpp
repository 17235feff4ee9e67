#include "sheet/control_names.hpp"

#include <cstddef>

namespace pellucor::sheet {

namespace {

constexpr std::string_view kSteelAlias = "steel";

char lower(char ch) {
  return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

bool names(std::string_view name, Control c, std::string_view alias, std::string_view label,
           NameKinds accepted) {
  if (name.empty()) return false;
  return (accepts(accepted, NameKinds::ControlNames) && iequal(name, control_name(c))) ||
         (accepts(accepted, NameKinds::Aliases) && !alias.empty() && iequal(name, alias)) ||
         (accepts(accepted, NameKinds::Labels) && name == label);
}

}  // namespace

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool is_named(const FieldRow& f, std::string_view name, NameKinds accepted) {
  return names(name, f.control, f.alias, f.label, accepted);
}

bool is_named(const OptionRow& o, std::string_view name, NameKinds accepted) {
  return names(name, o.control, o.alias, o.caption, accepted);
}

Control find_control(const SheetTable& table, std::string_view name, NameKinds accepted) {
  for (const auto& f : table.fields) {
    if (is_named(f, name, accepted)) return f.control;
  }
  for (const auto& g : table.groups) {
    for (const auto& o : g.options) {
      if (is_named(o, name, accepted)) return o.control;
    }
  }
  if (names(name, Control::Combo1, kSteelAlias, table.combo.label, accepted)) {
    return Control::Combo1;
  }
  return Control::None;
}

const OptionGroupRow* group_of(const SheetTable& table, Control c) {
  for (const auto& g : table.groups) {
    for (const auto& o : g.options) {
      if (o.control == c) return &g;
    }
  }
  return nullptr;
}

}  // namespace pellucor::sheet
