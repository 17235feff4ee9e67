#include "sheet/user_input.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

#include "sheet/control_names.hpp"
#include "sheet/numeric.hpp"

namespace pellucor::sheet {

std::string trim_blanks_and_tabs(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

namespace {

// A typed choice as it is compared: half-width, without blanks around it.
std::string choice_text(std::string_view typed) {
  return trim_blanks_and_tabs(half_width(typed));
}

// The text of a typed number as it is read: half-width, without blanks around it, and without
// one leading "+" (which the conversions below do not take) unless another sign follows it.
std::string number_as_typed(std::string_view typed) {
  std::string text = choice_text(typed);
  if (text.size() > 1 && text.front() == '+' && text[1] != '+' && text[1] != '-') text.erase(0, 1);
  return text;
}

}  // namespace

std::optional<double> typed_number(std::string_view typed) {
  const std::string text = number_as_typed(typed);
  if (text.empty() || text.front() == '+') return std::nullopt;
  // Independent of the C locale (the desktop program runs under the user's).
  double v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v, std::chars_format::general);
  if (ec != std::errc() || ptr != end || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<std::uint64_t> typed_count(std::string_view typed) {
  const std::string text = number_as_typed(typed);
  if (text.empty()) return std::nullopt;
  std::uint64_t v = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return v;
}

std::optional<std::string_view> steel_item(std::string_view typed) {
  const std::string value = choice_text(typed);
  for (std::size_t i = 0; i < kSteelItems.size(); ++i) {
    const std::string_view item = kSteelItems[i];
    if (value == std::to_string(i + 1) || value == item || value == item.substr(2)) return item;
  }
  return std::nullopt;
}

std::optional<bool> option_flag(std::string_view typed) {
  const std::string value = choice_text(typed);
  if (value == "1") return true;
  if (value.empty() || value == "0") return false;
  return std::nullopt;
}

const OptionRow* option_named(const OptionGroupRow& group, std::string_view typed) {
  const std::string value = choice_text(typed);
  for (std::size_t k = 0; k < group.options.size(); ++k) {
    const OptionRow& o = group.options[k];
    if (is_named(o, value, NameKinds::All) || value == std::to_string(k + 1)) return &o;
  }
  return nullptr;
}

std::optional<NamedText> split_named_text(std::string_view argument) {
  const auto eq = argument.find('=');
  if (eq == std::string_view::npos || eq == 0) return std::nullopt;
  return NamedText{std::string(argument.substr(0, eq)), std::string(argument.substr(eq + 1))};
}

InputTarget find_input(const SheetTable& table, std::string_view name) {
  InputTarget t;
  const Control c = find_control(table, name, NameKinds::All);
  if (c == Control::Combo1) {
    t.kind = InputTarget::Kind::Steel;
    t.control = c;
  } else if (const OptionGroupRow* g = group_of(table, c)) {
    t.kind = InputTarget::Kind::Option;
    t.control = c;
    t.group = g;
  } else if (c != Control::None) {
    t.kind = InputTarget::Kind::Box;
    t.control = c;
  } else {
    for (const auto& g : table.groups) {
      if (!name.empty() && (name == g.caption || iequal(name, g.name))) {
        t.kind = InputTarget::Kind::Group;
        t.group = &g;
      }
    }
  }
  return t;
}

TypedValue typed_value(const InputTarget& target, std::string_view text, bool emptyTypesNothing,
                       BoxText box) {
  using Why = TypedValue::Why;
  TypedValue v;
  auto refuse = [&v, text](Control c, std::string_view why, Why kind) {
    v.kind = TypedValue::Kind::Refused;
    v.control = c;
    v.why = kind;
    v.refusal.reserve(text.size() + why.size() + 3);
    v.refusal.append("'").append(text).append("' ").append(why);
    return v;
  };
  auto type = [&v](Control c, std::string_view what) {
    v.kind = TypedValue::Kind::Type;
    v.control = c;
    v.text = what;
    return v;
  };
  switch (target.kind) {
    case InputTarget::Kind::None:
      return refuse(Control::None, "has no input to go into", Why::NoInput);
    case InputTarget::Kind::Box:
      if (emptyTypesNothing && text.empty()) return v;
      if (box == BoxText::WholeNumber && !typed_number(text)) {
        // Blanks alone leave the box as it is, as an empty cell does.
        if (emptyTypesNothing && choice_text(text).empty()) return v;
        return refuse(target.control, "is not a number", Why::NotANumber);
      }
      return type(target.control, text);
    case InputTarget::Kind::Steel: {
      if (choice_text(text).empty()) return v;
      const auto item = steel_item(text);
      if (!item) {
        return refuse(target.control, "is no steel kind (1, 2, 3 or an item of the list)",
                      Why::NoSteel);
      }
      return type(target.control, *item);
    }
    case InputTarget::Kind::Option: {
      const auto chosen = option_flag(text);
      if (!chosen) {
        return refuse(target.control, "chooses nothing (1 chooses the option, 0 or empty not)",
                      Why::NoChoice);
      }
      if (!*chosen) return v;
      return type(target.control, "1");
    }
    case InputTarget::Kind::Group: {
      if (choice_text(text).empty()) return v;
      const OptionRow* o = option_named(*target.group, text);
      if (o == nullptr) {
        return refuse(target.group->options[0].control,
                      std::string("is no option of ").append(target.group->caption), Why::NoOption);
      }
      return type(o->control, "1");
    }
  }
  return v;
}

std::string_view input_label(const SheetTable& table, Control c) {
  if (const FieldRow* f = table.field(c)) return f->label;
  if (c == Control::Combo1) return table.combo.label;
  if (const OptionGroupRow* g = group_of(table, c)) return g->caption;
  return control_name(c);
}

}  // namespace pellucor::sheet
