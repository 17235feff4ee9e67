#include "shell/sheet_view/stale_inputs.hpp"

#include <string_view>

#include "analysis/mc/problem.hpp"
#include "sheet/controller.hpp"
#include "sheet/number_form.hpp"
#include "shell/kit/text.hpp"

namespace pellucor::shell {

namespace {

// A box as the user reads it: empty for a value of 0 (not entered).
QString box_text(double v) {
  return v == 0 ? QStringLiteral("（空）") : digits(v);
}

QString chosen_option(const sheet::OptionGroupRow& g, const sheet::SheetInputs& in) {
  for (const auto& o : g.options) {
    if (in.option(sheet::option_number(o.control))) return qs(o.caption);
  }
  return QStringLiteral("（未选）");
}

QString steel_text(const sheet::SheetInputs& in) {
  return in.steelText.empty() ? QStringLiteral("（未选）") : qs(in.steelText);
}

}  // namespace

std::vector<InputChange> changed_inputs(const sheet::SheetController& controller,
                                        const sheet::SheetView& view) {
  const auto& before = controller.completedInputs();
  if (!before) return {};
  return input_changes(controller.table(), *before,
                       analysis::mc::inputs_of(controller.table(), view));
}

std::vector<InputChange> input_changes(const sheet::SheetTable& table,
                                       const sheet::SheetInputs& before,
                                       const sheet::SheetInputs& now) {
  std::vector<InputChange> out;
  for (const auto& f : table.fields) {
    const int n = sheet::text_box_number(f.control);
    if (before.box(n) != now.box(n)) {
      out.push_back({qs(f.label), box_text(before.box(n)), box_text(now.box(n))});
    }
  }
  for (const auto& g : table.groups) {
    const QString was = chosen_option(g, before);
    const QString is = chosen_option(g, now);
    if (was != is) out.push_back({qs(g.caption), was, is});
  }
  if (before.steelKind != now.steelKind || before.steelText != now.steelText) {
    out.push_back({qs(table.combo.label), steel_text(before), steel_text(now)});
  }
  return out;
}

QStringList change_lines(const std::vector<InputChange>& changes) {
  QStringList lines;
  for (const InputChange& c : changes) {
    lines << QStringLiteral("%1：计算时 %2，现在 %3").arg(c.name, c.before, c.now);
  }
  return lines;
}

QString stale_question(const std::vector<InputChange>& changes, const QString& action) {
  return QStringLiteral(
             "计算表中的输入在最近一次完成的计算之后改动过：\n\n%1\n\n"
             "%2的将是上次计算的输入和结果，与计算表现在的输入不符。"
             "要更新结果，请先按“计 算”。\n\n仍然%2上次的计算结果吗？")
      .arg(change_lines(changes).join(QLatin1Char('\n')), action);
}

QStringList stale_answers(const QString& action) {
  return {QStringLiteral("仍然%1").arg(action), QStringLiteral("取消")};
}

}  // namespace pellucor::shell
