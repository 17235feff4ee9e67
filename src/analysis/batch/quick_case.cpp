#include "analysis/batch/quick_case.hpp"

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>

#include "sheet/control_names.hpp"
#include "sheet/numeric.hpp"

namespace pellucor::analysis::batch {

namespace {

using sheet::Control;
using sheet::FieldRow;

constexpr std::size_t kControls = static_cast<std::size_t>(Control::Picture1) + 1;
// As the controller: change checks raised by the sheet's own texts nest this deep at most.
constexpr int kMaxChangeDepth = 8;

std::size_t at(Control c) {
  return static_cast<std::size_t>(c);
}

bool in_range(const FieldRow& f, double v) {
  return f.lo <= v && v <= f.hi;
}

// The sheet as its controller and a view in memory would hold it, with the events of a member
// typed in: texts (pointing at the defaults or at the entries' texts), enabled flags, options,
// the focus. `gaveUp` is set where a message box would come up.
// Where a sheet keeps each control: its field row, its option group, its place in the tab
// order. Made once per sheet (the sheets' tables live as long as the program).
struct ControlMap {
  std::array<const FieldRow*, kControls> field{};
  std::array<const sheet::OptionGroupRow*, kControls> group{};
  std::array<std::size_t, kControls> rank{};

  explicit ControlMap(const sheet::SheetTable& table) {
    for (const auto& f : table.fields) field[at(f.control)] = &f;
    for (const auto& g : table.groups) {
      for (const auto& o : g.options) group[at(o.control)] = &g;
    }
    rank.fill(table.tabOrder.size());
    for (std::size_t i = 0; i < table.tabOrder.size(); ++i) rank[at(table.tabOrder[i])] = i;
  }
};

const ControlMap& map_of(const sheet::SheetTable& table) {
  // Most calls ask for the sheet of the call before on the same thread.
  thread_local const sheet::SheetTable* lastTable = nullptr;
  thread_local const ControlMap* lastMap = nullptr;
  if (lastTable == &table) return *lastMap;
  static std::mutex mutex;
  static std::vector<std::pair<const sheet::SheetTable*, std::unique_ptr<ControlMap>>> maps;
  const std::lock_guard lock(mutex);
  const ControlMap* found = nullptr;
  for (const auto& [t, m] : maps) {
    if (t == &table) found = m.get();
  }
  if (found == nullptr) {
    maps.emplace_back(&table, std::make_unique<ControlMap>(table));
    found = maps.back().second.get();
  }
  lastTable = &table;
  lastMap = found;
  return *found;
}

class QuickSheet {
 public:
  explicit QuickSheet(const sheet::SheetTable& table) : table_(table), map_(map_of(table)) {
    enabled_.fill(true);
    for (const auto& f : table_.fields) text_[at(f.control)] = sheet::kDefaultBoxText;
    for (const auto& g : table_.groups) selected_[at(g.options[0].control)] = true;
    focused_ = Control::Text1;  // the sheet opens with the focus in its first box
  }

  bool gaveUp() const { return gaveUp_; }

  // The typist's order of events for each entry (see Typist::type), then the move to Calculate.
  void type(std::span<const TypedText> given) {
    // The entries in tab order, those of one control in the order given (a stable insertion
    // sort: a member has a few dozen entries at most).
    thread_local std::vector<const TypedText*> entries;  // used again from member to member
    entries.clear();
    for (const TypedText& e : given) {
      entries.push_back(&e);
      for (std::size_t k = entries.size() - 1;
           k > 0 && map_.rank[at(entries[k - 1]->control)] > map_.rank[at(e.control)]; --k) {
        std::swap(entries[k - 1], entries[k]);
      }
    }
    for (const TypedText* e : entries) {
      const bool option = map_.group[at(e->control)] != nullptr;
      if (e->text.empty() && !option) continue;  // an empty cell leaves its box as it is
      if (!enabled_[at(e->control)]) continue;   // a user could not type into it
      moveFocus(e->control);
      if (gaveUp_) return;
      if (option) {
        select(e->control);
      } else if (text_[at(e->control)] != e->text) {
        assign(e->control, e->text);
        changeCheck(e->control);
        if (gaveUp_) return;
      }
      leaving(e->control);
      if (gaveUp_) return;
      alreadyLeft_ = e->control;
    }
    moveFocus(Control::CmdCal);
  }

  // What Calculate reads (see SheetController::readInputs).
  sheet::SheetInputs inputs() const {
    sheet::SheetInputs in;
    for (const auto& f : table_.fields) {
      const int n = sheet::text_box_number(f.control);
      if (n > 0) in.value[static_cast<std::size_t>(n)] = value(f.control);
    }
    for (const auto& g : table_.groups) {
      for (const auto& o : g.options) {
        const int n = sheet::option_number(o.control);
        if (n > 0) in.selected[static_cast<std::size_t>(n)] = selected_[at(o.control)];
      }
    }
    in.steelText = std::string(text_[at(Control::Combo1)]);
    in.steelKind = sheet::steel_kind(in.steelText);
    in.steelName = sheet::steel_name(in.steelText);
    return in;
  }

 private:
  // A box's value by the numeric prefix rule, read once per text.
  double value(Control c) const {
    if (!known_[at(c)]) {
      value_[at(c)] = sheet::numeric_prefix(text_[at(c)]);
      known_[at(c)] = true;
    }
    return value_[at(c)];
  }

  void assign(Control c, std::string_view text) {
    text_[at(c)] = text;
    known_[at(c)] = false;
  }

  void giveUp() { gaveUp_ = true; }

  void select(Control option) {
    for (const auto& o : map_.group[at(option)]->options) selected_[at(o.control)] = false;
    selected_[at(option)] = true;
  }

  // Typist::moveFocus: the leave check of the control that had the focus, once per visit.
  void moveFocus(Control target) {
    const Control from = focused_;
    if (from != Control::None && from != target && from != alreadyLeft_) {
      leaving(from);
      if (gaveUp_) return;
    }
    focused_ = target;
    alreadyLeft_ = Control::None;
  }

  // SheetController::setText: a text set by the sheet itself raises its change check at once.
  void setText(Control c, std::string_view text) {
    if (text_[at(c)] == text) return;
    assign(c, text);
    changeCheck(c);
  }

  // SheetController::leaving, without its message: where one would come up, give up.
  void leaving(Control c) {
    if (c == Control::Combo1) {
      const double v = value(c);
      if (!(v >= 1 && v <= 3)) giveUp();
      return;
    }
    const FieldRow* f = map_.field[at(c)];
    if (f == nullptr) return;
    const double v = value(c);
    switch (f->leave) {
      case sheet::LeaveCheck::None:
        return;
      case sheet::LeaveCheck::ZeroBlankOnly:
        if (v == 0) setText(c, "");
        return;
      case sheet::LeaveCheck::ZeroBlankThenRange:
        if (v == 0) {
          setText(c, "");
          return;
        }
        break;
      case sheet::LeaveCheck::Range:
        break;
    }
    if (!in_range(*f, v)) giveUp();
  }

  // SheetController::runChangeCheck, without its message.
  void changeCheck(Control c) {
    const FieldRow* f = map_.field[at(c)];
    if (f == nullptr || f->change == sheet::ChangeCheck::None || gaveUp_) return;
    if (depth_ >= kMaxChangeDepth) return;
    ++depth_;
    const double v = value(c);
    if (v == 0) {
      switch (f->change) {
        case sheet::ChangeCheck::Range:
          setText(c, "");
          break;
        case sheet::ChangeCheck::EitherOr:
          setText(c, "");
          if (f->partner != Control::None) enabled_[at(f->partner)] = true;
          break;
        case sheet::ChangeCheck::LockDerivation:
          for (Control l : f->locked) enabled_[at(l)] = true;
          break;
        case sheet::ChangeCheck::None:
          break;
      }
    } else if (!in_range(*f, v)) {
      giveUp();
    } else {
      switch (f->change) {
        case sheet::ChangeCheck::EitherOr:
          if (f->partner != Control::None) {
            setText(f->partner, "");
            enabled_[at(f->partner)] = false;
          }
          break;
        case sheet::ChangeCheck::LockDerivation:
          for (Control l : f->locked) {
            setText(l, "");
            enabled_[at(l)] = false;
          }
          break;
        case sheet::ChangeCheck::Range:
        case sheet::ChangeCheck::None:
          break;
      }
    }
    --depth_;
  }

  const sheet::SheetTable& table_;
  std::array<std::string_view, kControls> text_{};
  mutable std::array<double, kControls> value_{};
  mutable std::array<bool, kControls> known_{};
  std::array<bool, kControls> enabled_{};
  std::array<bool, kControls> selected_{};
  const ControlMap& map_;
  Control focused_ = Control::None;
  Control alreadyLeft_ = Control::None;
  int depth_ = 0;
  bool gaveUp_ = false;
};

// The passes of the model write only into a box that nobody reads again (no change check, or
// the quick way is not taken); of the record the member needs its results and its inspection
// age, no report text is made.
class QuietSink final : public sheet::CalculationSink {
 public:
  void passStarted(double) override {}
  void passFinished(const std::vector<std::string>&) override {}
  bool wantsReport() const override { return false; }
  bool wantsInputs() const override { return false; }  // the results and the age are read
};

}  // namespace

CaseResult run_case_quickly(const sheet::Module& module, const std::vector<Entry>& entries) {
  std::vector<TypedText> typed;
  typed.reserve(entries.size());
  for (const Entry& e : entries) typed.push_back({e.control, e.text});
  return run_case_quickly(module, typed);
}

CaseResult run_case_quickly(const sheet::Module& module, std::span<const TypedText> typed) {
  const sheet::SheetTable& table = module.table();
  auto longWay = [&] {
    std::vector<Entry> entries;
    entries.reserve(typed.size());
    for (const TypedText& t : typed) entries.push_back({t.control, std::string(t.text)});
    return run_case(module, entries);
  };
  // The model's passes write their running value into this box; when it checks its changes, a
  // message could come up in the middle of the calculation: the long way.
  if (table.assumedTimeBox != Control::None) {
    const FieldRow* box = table.field(table.assumedTimeBox);
    if (box == nullptr || box->change != sheet::ChangeCheck::None) return longWay();
  }
  QuickSheet sheet(table);
  sheet.type(typed);
  if (sheet.gaveUp()) return longWay();

  CaseResult result;
  const sheet::SheetInputs in = sheet.inputs();
  if (const auto failure = module.check(in)) {
    result.message =
        Message{std::string(failure->message), std::string(sheet::kTitleInput), failure->focus};
    return result;
  }
  QuietSink sink;
  sheet::CalculationOutcome outcome = module.calculate(in, sink);
  if (outcome.stop) {
    result.message =
        Message{std::string(sheet::kPlausibility), std::string(sheet::kTitleInput), Control::None};
    return result;
  }
  result.done = true;
  result.record = std::move(outcome.record);
  result.run = std::move(outcome.run);
  return result;
}

}  // namespace pellucor::analysis::batch
