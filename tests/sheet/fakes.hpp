// A recording sheet view and a small module whose field table uses every kind of check.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sheet/number_form.hpp"
#include "sheet/sheet_table.hpp"
#include "sheet/view.hpp"

namespace pellucor::sheet::testing {

class FakeView : public SheetView {
 public:
  struct Message {
    std::string text;
    std::string title;
  };

  explicit FakeView(std::vector<std::pair<Control, Control>> optionPairs = {})
      : optionPairs_(std::move(optionPairs)) {}

  std::string text(Control c) const override {
    const auto it = texts.find(c);
    return it == texts.end() ? std::string() : it->second;
  }
  void setText(Control c, std::string_view t) override {
    texts[c] = std::string(t);
    log.push_back("text " + std::string(control_name(c)) + "=" + std::string(t));
  }
  void setEnabled(Control c, bool on) override { enabled[c] = on; }
  bool isEnabled(Control c) const override {
    const auto it = enabled.find(c);
    return it == enabled.end() || it->second;
  }
  void setFocus(Control c) override {
    focus = c;
    log.push_back("focus " + std::string(control_name(c)));
  }
  bool isSelected(Control option) const override { return selected.count(option) > 0; }
  void select(Control option) override {
    for (const auto& [a, b] : optionPairs_) {
      if (option == a) selected.erase(b);
      if (option == b) selected.erase(a);
    }
    selected.insert(option);
  }
  void clearPane() override {
    pane.clear();
    log.emplace_back("clear");
  }
  void printLine(std::string_view line) override {
    pane.emplace_back(line);
    log.push_back("print " + std::string(line));
  }
  void showMessage(std::string_view t, std::string_view title) override {
    messages.push_back({std::string(t), std::string(title)});
    log.push_back("message " + std::string(t));
    if (onMessage) onMessage();
  }
  std::optional<std::string> askSaveFileName(std::string_view title, std::string_view filter,
                                             std::string_view ext) override {
    dialogs.push_back(std::string(title) + "|" + std::string(filter) + "|" + std::string(ext));
    if (onDialog) onDialog();
    return saveAnswer;
  }
  void close() override { closed = true; }

  // A user edit: the text changes, then the change notification (no notification when the
  // text stays the same, as with a real box).
  template <class Controller>
  void edit(Controller& ctl, Control c, std::string_view t) {
    if (text(c) == t) return;
    texts[c] = std::string(t);
    ctl.textChanged(c);
  }
  // Typing a text key by key into a box that holds `start`.
  template <class Controller>
  void type(Controller& ctl, Control c, std::string_view keys, std::string_view start = "") {
    std::string now(start);
    edit(ctl, c, now);
    for (char k : keys) {
      now.push_back(k);
      edit(ctl, c, now);
    }
  }

  std::map<Control, std::string> texts;
  std::map<Control, bool> enabled;
  std::set<Control> selected;
  std::vector<std::string> pane;
  std::vector<Message> messages;
  std::vector<std::string> log;
  std::vector<std::string> dialogs;
  Control focus = Control::None;
  std::optional<std::string> saveAnswer;
  bool closed = false;
  std::function<void()> onMessage;
  std::function<void()> onDialog;

 private:
  std::vector<std::pair<Control, Control>> optionPairs_;
};

// Field table of the fake sheet:
//   Text1  leave range 1-5.5            Text2  zero blanking, then range 0.4-1.0
//   Text3  change range 1-80            Text4/Text5 either-or pair 1-60 / 1.0-3.5
//   Text6  change 0.2-8.0 locking Text7-Text9, zero blanking on leave
//   Text7-Text9 no checks              Text10 assumed cracking time, leave range 1-80
// Option1/Option2 in one group. Checks at Calculate: Text1, Text4 or Text5, Text10, steel
// kind, then the plausibility stop when Text7 >= Text8 > 0.
inline SheetTable fake_table() {
  SheetTable s;
  s.number = 9;
  s.formName = "frm_fake";
  s.caption = "fake";
  s.cliName = "fake";
  auto field = [](Control c, double lo, double hi, LeaveCheck leave, ChangeCheck change,
                  std::vector<std::string_view> prompts, std::string_view msg) {
    FieldRow f;
    f.control = c;
    f.lo = lo;
    f.hi = hi;
    f.leave = leave;
    f.change = change;
    f.prompts = std::move(prompts);
    f.rangeMessage = msg;
    return f;
  };
  using LC = LeaveCheck;
  using CC = ChangeCheck;
  s.fields.push_back(field(Control::Text1, 1, 5.5, LC::Range, CC::None, {" p1"}, "bad 1"));
  s.fields.push_back(
      field(Control::Text2, 0.4, 1.0, LC::ZeroBlankThenRange, CC::None, {" p2"}, "bad 2"));
  s.fields.push_back(field(Control::Text3, 1, 80, LC::None, CC::Range, {" p3"}, "bad 3"));
  s.fields.push_back(
      field(Control::Text4, 1, 60, LC::None, CC::EitherOr, {" p4a", " p4b"}, "bad 4"));
  s.fields.back().partner = Control::Text5;
  s.fields.push_back(field(Control::Text5, 1.0, 3.5, LC::None, CC::EitherOr, {" p5"}, "bad 5"));
  s.fields.back().partner = Control::Text4;
  s.fields.push_back(
      field(Control::Text6, 0.2, 8.0, LC::ZeroBlankOnly, CC::LockDerivation, {" p6"}, "bad 6"));
  s.fields.back().locked = {Control::Text7, Control::Text8, Control::Text9};
  s.fields.push_back(field(Control::Text7, 10, 80, LC::None, CC::None, {" p7"}, ""));
  s.fields.push_back(field(Control::Text8, 1, 13, LC::None, CC::None, {" p8"}, ""));
  s.fields.push_back(field(Control::Text9, 0.35, 0.7, LC::None, CC::None, {" p9"}, ""));
  s.fields.push_back(field(Control::Text10, 1, 80, LC::Range, CC::None, {" p10"}, "bad 10"));
  OptionGroupRow g;
  g.name = "Frame1";
  g.options[0].control = Control::Option1;
  g.options[0].prompt = " o1";
  g.options[1].control = Control::Option2;
  g.options[1].prompt = " o2";
  s.groups.push_back(g);
  s.tabOrder = {Control::Text1,  Control::Text2,  Control::Text3,   Control::Text4,
                Control::Text5,  Control::Text6,  Control::Text7,   Control::Text8,
                Control::Text9,  Control::Text10, Control::Option1, Control::Option2,
                Control::Combo1, Control::CmdCal, Control::CmdSave, Control::CmdExit};
  s.enabledAfterCalculation = {Control::Text4, Control::Text5, Control::Text7, Control::Text8,
                               Control::Text9};
  s.assumedTimeBox = Control::Text10;
  return s;
}

// The result lines of the fake module without passes, in the pane and in the file.
inline const std::vector<std::string> kNoPassesPane = {"no passes", "w: 0.5  mm"};
inline const std::vector<std::string> kNoPassesFile = {"no passes", "w: 0.5   mm"};

// A module with the fake sheet; its calculation runs `assumedTimes.size()` passes (none:
// one report without passes) and can stop after a given number of passes.
class FakeModule : public Module {
 public:
  FakeModule() : table_(fake_table()) {}

  const SheetTable& table() const override { return table_; }

  std::optional<CheckFailure> check(const SheetInputs& in) const override {
    ++checks;
    if (in.box(1) == 0) return CheckFailure{"not entered 1", Control::Text1};
    if (in.box(4) == 0 && in.box(5) == 0) return CheckFailure{"not entered 4/5", Control::Text4};
    if (in.box(10) == 0) return CheckFailure{"not entered 10", Control::Text10};
    if (in.steelKind == 0) return CheckFailure{kSteelKindNotEntered, Control::Combo1};
    if (in.box(8) > 0 && in.box(7) >= in.box(8)) return CheckFailure{kPlausibility};
    return std::nullopt;
  }

  CalculationOutcome calculate(const SheetInputs& in, CalculationSink& sink) const override {
    ++runs;
    CalculationOutcome out;
    ResultRecord record;
    record.input(kM, in.box(1));
    record.add(ItemKind::Input, kName, in.steelKind, in.steelName);
    record.add(ItemKind::Input, kStress, std::nullopt, in.option(1) ? "first" : "second");
    if (assumedTimes.empty()) {
      record.add(ItemKind::Result, kNoPasses, std::nullopt);
      record.result(kW, 0.5);
    }
    for (std::size_t k = 0; k < assumedTimes.size(); ++k) {
      if (stopAfterPasses && *stopAfterPasses == static_cast<int>(k)) {
        out.stop = model::StopReason::ZeroRate;
        return out;
      }
      sink.passStarted(assumedTimes[k]);
      ResultRecord pass = record;
      pass.add(ItemKind::Result, pass_label(k + 1), std::nullopt).result(kT, assumedTimes[k] * 2);
      if (sink.wantsReport()) sink.passFinished(result_lines(pass));
      if (k + 1 == assumedTimes.size()) record = pass;
    }
    if (stopAfterPasses && *stopAfterPasses == static_cast<int>(assumedTimes.size())) {
      out.stop = model::StopReason::PassLimit;
      return out;
    }
    if (sink.wantsReport()) out.report = format_report(record);
    out.record = std::move(record);
    return out;
  }

  // The items of its record: the echo "m= <Text1> ,name=<steel name>" and "stress=first" (or
  // second); the results "pass <n>" and "t: <2 t*>  a" of the last pass, or without passes
  // "no passes" and a line whose unit the file writes otherwise than the pane.
  static constexpr ItemText kM{.key = "m", .label = "m=", .line = 1};
  static constexpr ItemText kName{.key = "steel", .label = ",name=", .line = 1};
  static constexpr ItemText kStress{.key = "stress", .label = "stress=", .line = 2};
  static constexpr ItemText kNoPasses{.key = "none", .label = "no passes"};
  static constexpr ItemText kW{.key = "w", .label = "w:", .after = " mm", .fileAfter = "  mm"};
  static constexpr ItemText kT{.key = "t", .label = "t:", .after = " a"};
  static const ItemText& pass_label(std::size_t n) {
    static const std::array<std::string, 10> labels = [] {
      std::array<std::string, 10> l;
      for (std::size_t i = 0; i < l.size(); ++i) l[i] = "pass " + std::to_string(i);
      return l;
    }();
    static const std::array<ItemText, 10> forms = [] {
      std::array<ItemText, 10> f;
      for (std::size_t i = 0; i < f.size(); ++i) f[i] = {.key = labels[i], .label = labels[i]};
      return f;
    }();
    return forms.at(n);
  }

  std::vector<double> assumedTimes;
  std::optional<int> stopAfterPasses;
  mutable int checks = 0;
  mutable int runs = 0;

 private:
  SheetTable table_;
};

}  // namespace pellucor::sheet::testing
