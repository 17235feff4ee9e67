#include "sheet/control.hpp"

#include <array>

namespace pellucor::sheet {

namespace {

struct NamedControl {
  Control control;
  std::string_view name;
};

constexpr std::array<NamedControl, 28> kNames = {{
    {Control::Text1, "Text1"},       {Control::Text2, "Text2"},
    {Control::Text3, "Text3"},       {Control::Text4, "Text4"},
    {Control::Text5, "Text5"},       {Control::Text6, "Text6"},
    {Control::Text7, "Text7"},       {Control::Text8, "Text8"},
    {Control::Text9, "Text9"},       {Control::Text10, "Text10"},
    {Control::Text11, "Text11"},     {Control::Text12, "Text12"},
    {Control::Text13, "Text13"},     {Control::Text14, "Text14"},
    {Control::Text15, "Text15"},     {Control::Text16, "Text16"},
    {Control::Text17, "Text17"},     {Control::Text18, "Text18"},
    {Control::Option1, "Option1"},   {Control::Option2, "Option2"},
    {Control::Option3, "Option3"},   {Control::Option4, "Option4"},
    {Control::Combo1, "Combo1"},     {Control::CmdCal, "Cmd_cal"},
    {Control::CmdSave, "Cmd_save"},  {Control::CmdExit, "Cmd_exit"},
    {Control::Picture1, "Picture1"}, {Control::None, ""},
}};

}  // namespace

std::string_view control_name(Control c) {
  for (const auto& n : kNames) {
    if (n.control == c) return n.name;
  }
  return {};
}

std::optional<Control> control_from_name(std::string_view name) {
  if (name.empty()) return std::nullopt;
  for (const auto& n : kNames) {
    if (n.name == name) return n.control;
  }
  return std::nullopt;
}

}  // namespace pellucor::sheet
