#include "sheet/result_record.hpp"

#include <cmath>

#include "sheet/number_form.hpp"

namespace pellucor::sheet {

namespace {

bool is_input(const ResultItem& item) {
  return item.kind != ItemKind::Result;
}

std::string trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(' ');
  return std::string(s.substr(first, last - first + 1));
}

}  // namespace

const ResultItem* ResultRecord::find(std::string_view key) const {
  for (const ResultItem& item : items) {
    if (item.key() == key) return &item;
  }
  return nullptr;
}

std::optional<double> ResultRecord::value(std::string_view key) const {
  const ResultItem* item = find(key);
  if (item == nullptr) return std::nullopt;
  return item->value;
}

std::vector<std::string> result_lines(const ResultRecord& record, bool forFile) {
  std::vector<std::string> lines;
  lines.reserve(record.items.size());
  for (const ResultItem& item : record.items) {
    if (is_input(item) || !item.printed()) continue;
    std::string line(item.label());
    if (item.isText()) {
      line += item.text;
    } else {
      line += number_single(*item.value);
      line += forFile && item.form->fileAfter ? *item.form->fileAfter : item.form->after;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> echo_lines(const ResultRecord& record) {
  std::vector<std::string> lines;
  int current = 0;
  for (const ResultItem& item : record.items) {
    if (!is_input(item) || !item.printed()) continue;
    if (lines.empty() || item.form->line != current) {
      lines.emplace_back();
      current = item.form->line;
    }
    std::string& line = lines.back();
    line += item.label();
    line += item.isText() ? item.text : number_double(*item.value);
  }
  return lines;
}

Report format_report(const ResultRecord& record) {
  Report r;
  r.pane = result_lines(record, false);
  r.file = result_lines(record, true);
  r.echo = echo_lines(record);
  return r;
}

std::string value_text(const ResultItem& item) {
  if (item.isText()) return trimmed(item.text);
  return item.kind == ItemKind::Result ? digits_single(*item.value) : digits_double(*item.value);
}

std::vector<std::pair<const ResultItem*, const ResultItem*>> input_differences(
    const ResultRecord& a, const ResultRecord& b) {
  std::vector<std::pair<const ResultItem*, const ResultItem*>> out;
  for (const ResultItem& x : a.items) {
    if (x.kind != ItemKind::Input) continue;
    const ResultItem* y = b.find(x.key());
    if (y == nullptr || y->kind != ItemKind::Input) {
      out.emplace_back(&x, nullptr);
    } else if (x.value != y->value || x.text != y->text) {
      out.emplace_back(&x, y);
    }
  }
  for (const ResultItem& y : b.items) {
    if (y.kind != ItemKind::Input) continue;
    const ResultItem* x = a.find(y.key());
    if (x == nullptr || x->kind != ItemKind::Input) out.emplace_back(nullptr, &y);
  }
  return out;
}

}  // namespace pellucor::sheet
