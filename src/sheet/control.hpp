// The named controls of a calculation sheet.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pellucor::sheet {

// clang-format off
enum class Control : std::uint8_t {
  None = 0,
  Text1, Text2, Text3, Text4, Text5, Text6, Text7, Text8, Text9,
  Text10, Text11, Text12, Text13, Text14, Text15, Text16, Text17, Text18,
  Option1, Option2, Option3, Option4,
  Combo1,
  CmdCal, CmdSave, CmdExit,
  Picture1,
};
// clang-format on

inline constexpr int kMaxTextBoxes = 18;

// Text box number n (1..18).
constexpr Control text_box(int n) {
  return static_cast<Control>(static_cast<int>(Control::Text1) + n - 1);
}
constexpr bool is_text_box(Control c) {
  return c >= Control::Text1 && c <= Control::Text18;
}
// 1..18 for a text box, 0 otherwise.
constexpr int text_box_number(Control c) {
  return is_text_box(c) ? static_cast<int>(c) - static_cast<int>(Control::Text1) + 1 : 0;
}
constexpr Control option_button(int n) {
  return static_cast<Control>(static_cast<int>(Control::Option1) + n - 1);
}
constexpr bool is_option(Control c) {
  return c >= Control::Option1 && c <= Control::Option4;
}
constexpr int option_number(Control c) {
  return is_option(c) ? static_cast<int>(c) - static_cast<int>(Control::Option1) + 1 : 0;
}

// "Text1", "Option2", "Combo1", "Cmd_cal", "Cmd_save", "Cmd_exit", "Picture1".
std::string_view control_name(Control c);
std::optional<Control> control_from_name(std::string_view name);

}  // namespace pellucor::sheet
