#include "shell/tables/member_columns.hpp"

#include "analysis/batch/result_columns.hpp"
#include "modules/registry.hpp"
#include "sheet/number_form.hpp"
#include "shell/kit/text.hpp"
#include "shell/reports/presentation.hpp"
#include "shell/tables/assessment_panel.hpp"

namespace pellucor::shell {

namespace batch = analysis::batch;
using sheet::Control;

namespace {

constexpr std::string_view kMemberHeader = "member";

bool has_range(const sheet::FieldRow& f) {
  return f.leave == sheet::LeaveCheck::Range || f.leave == sheet::LeaveCheck::ZeroBlankThenRange ||
         f.change != sheet::ChangeCheck::None;
}

// A header on lines short enough for a narrow column: the name in pieces of up to seven
// characters, the unit on a line of its own.
QString wrapped_header(const QString& text) {
  QString name = text;
  QString unit;
  if (const qsizetype at = text.lastIndexOf(QStringLiteral(" (")); at > 0 && text.endsWith(')')) {
    name = text.left(at);
    unit = text.mid(at + 1);
  }
  // Words kept whole where they fit; a longer run of characters in pieces.
  QStringList lines;
  QString line;
  for (const QString& word : name.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    if (!line.isEmpty() && line.size() + 1 + word.size() <= 7) {
      line += QLatin1Char(' ') + word;
      continue;
    }
    if (!line.isEmpty()) lines << line;
    line = word;
    while (line.size() > 7) {
      const int pieces = static_cast<int>((line.size() + 6) / 7);
      const int each = static_cast<int>((line.size() + pieces - 1) / pieces);
      lines << line.left(each);
      line = line.mid(each);
    }
  }
  if (!line.isEmpty()) lines << line;
  if (!unit.isEmpty()) lines << unit;
  return lines.join(QLatin1Char('\n'));
}

}  // namespace

MemberColumns::MemberColumns(int sheet) {
  const sheet::SheetTable& s =
      modules::all_modules().at(static_cast<std::size_t>(sheet - 1))->table();
  batch::InputColumn member;
  member.kind = batch::InputColumn::Kind::Member;
  member.header = kMemberHeader;
  inputs_.push_back(member);
  headers_ = {QStringLiteral("构件")};
  tips_ = {QStringLiteral("构件名称（原样保留）")};
  for (Control c : s.tabOrder) {
    batch::InputColumn column;
    column.kind = batch::InputColumn::Kind::Control;
    column.control = c;
    if (const sheet::FieldRow* f = s.field(c)) {
      column.header = f->label;
      // The unit the prompt states, corrected where the sheet misspells it.
      const QString unit =
          shown(sheet::ResultItem{&f->typed, sheet::ItemKind::Input, 0.0, {}}).unit;
      inputUnits_[static_cast<int>(inputs_.size())] = unit;
      headers_ << wrapped_header(unit.isEmpty() ? qs(f->label)
                                                : qs(f->label) + QStringLiteral(" (") + unit +
                                                      QStringLiteral(")"));
      QString tip = has_range(*f) ? QStringLiteral("有效范围 %1--%2")
                                        .arg(qs(sheet::general_digits(f->lo, 15)),
                                             qs(sheet::general_digits(f->hi, 15)))
                                  : QStringLiteral("不检查范围");
      for (std::string_view p : f->prompts) tip += QStringLiteral("\n") + qs(p).trimmed();
      tips_ << tip;
    } else if (c == Control::Combo1) {
      column.header = s.combo.label;
      headers_ << qs(s.combo.label);
      tips_ << qs(sheet::kComboPrompt).trimmed();
      QStringList items;
      for (std::string_view item : sheet::kSteelItems) items << qs(item);
      choices_[static_cast<int>(inputs_.size())] = items;
    } else {
      // An option: its group gets one column, at the place of its first option.
      const sheet::OptionGroupRow* group = nullptr;
      for (const auto& g : s.groups) {
        if (g.options[0].control == c) group = &g;
      }
      if (group == nullptr) continue;
      column.kind = batch::InputColumn::Kind::Group;
      column.control = Control::None;
      column.group = group;
      column.header = group->caption;
      headers_ << wrapped_header(qs(group->caption));
      tips_ << qs(group->options[0].prompt).trimmed() + QStringLiteral("\n（空：") +
                   qs(group->options[0].caption) + QStringLiteral("）");
      choices_[static_cast<int>(inputs_.size())] = {qs(group->options[0].caption),
                                                    qs(group->options[1].caption)};
    }
    inputs_.push_back(column);
  }
  headers_ << QStringLiteral("状态");
  tips_ << QStringLiteral("完成，或计算停止时的提示及其输入");
  // The results with the names and units they carry (corrected where a sheet's own label is
  // wrong for its value; t_d by the name it has everywhere beyond the pane), then the state at
  // the inspection age. The console's t_d and t_d−t columns are not repeated here: t_d is a
  // result of the sheet (or, where the sheet prints none, the console's t_d), and the
  // assessment's 剩余寿命 says what remains.
  std::vector<std::string> units;
  for (const sheet::ItemText* form : s.results) {
    if (form->label.empty()) continue;
    const Shown shownAs = shown(sheet::ResultItem{form, sheet::ItemKind::Result, 0.0, {}});
    resultHeaders_ << (shownAs.unit.isEmpty() ? shownAs.name
                                              : shownAs.name + QStringLiteral(" (") + shownAs.unit +
                                                    QStringLiteral(")"));
    resultKeys_.emplace_back(form->key);
    resultSources_.push_back(resultSources_.size());
    units.push_back(utf8(shownAs.unit));
  }
  // A sheet that prints no t_d: the console's t_d column, under the same name.
  if (result(kEndOfLifeKey) < 0) {
    resultSources_.push_back(resultSources_.size());
    resultKeys_.emplace_back(kEndOfLifeKey);
    resultHeaders_ << end_of_life_name() + QStringLiteral(" (a)");
    units.emplace_back("a");
  }
  for (std::size_t k = 0; k < units.size(); ++k) {
    resultUnits_[firstResult() + static_cast<int>(k)] = units[k];
  }
  for (const QString& h : resultHeaders_) {
    headers_ << wrapped_header(h);
    tips_ << h;
  }
  headers_ << QString::fromUtf8(kStateHeader);
  tips_ << QStringLiteral("检测时构件所处的阶段：尚未锈蚀、锈蚀中未开裂、已开裂或耐久性已终结");
  for (const QString& h : AssessmentPanel::columnHeaders()) {
    headers_ << h;
    tips_ << QStringLiteral("按下方的评估设置：") + h;
  }
}

int MemberColumns::result(std::string_view key) const {
  for (std::size_t k = 0; k < resultKeys_.size(); ++k) {
    if (resultKeys_[k] == key) return firstResult() + static_cast<int>(k);
  }
  return -1;
}

int MemberColumns::of(Control control) const {
  for (std::size_t i = 0; i < inputs_.size(); ++i) {
    const auto& c = inputs_[i];
    if (c.kind == batch::InputColumn::Kind::Control && c.control == control) {
      return static_cast<int>(i);
    }
    if (c.kind == batch::InputColumn::Kind::Group &&
        (c.group->options[0].control == control || c.group->options[1].control == control)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

QString MemberColumns::name(int column) const {
  if (column < 0 || static_cast<std::size_t>(column) >= inputs_.size()) return {};
  return qs(inputs_[static_cast<std::size_t>(column)].header);
}

std::vector<std::string> MemberColumns::exportHeader() const {
  // The headers the window shows, unbroken: the boxes' labels with their units. An import here
  // and the console's batch read them back.
  std::vector<std::string> header;
  for (std::size_t i = 0; i < inputs_.size(); ++i) {
    if (inputs_[i].kind == batch::InputColumn::Kind::Member) {
      header.push_back(utf8(headers_[static_cast<int>(i)]));
      continue;
    }
    const auto unit = inputUnits_.find(static_cast<int>(i));
    header.push_back(unit == inputUnits_.end() || unit->second.isEmpty()
                         ? std::string(inputs_[i].header)
                         : std::string(inputs_[i].header) + " (" + utf8(unit->second) + ")");
  }
  header.push_back(utf8(headers_[status()]));
  for (const QString& h : resultHeaders_) header.push_back(utf8(h));
  header.emplace_back(kStateHeader);
  for (const QString& h : AssessmentPanel::columnHeaders()) header.push_back(utf8(h));
  return header;
}

std::vector<bool> MemberColumns::textColumns() const {
  std::vector<bool> text = batch::text_columns(inputs_);
  text.resize(static_cast<std::size_t>(count()), false);
  for (int c : {status(), state(), governing(), grade()}) text[static_cast<std::size_t>(c)] = true;
  return text;
}

}  // namespace pellucor::shell
