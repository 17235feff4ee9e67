#include "analysis/batch/result_columns.hpp"

#include <stdexcept>

#include "modules/registry.hpp"
#include "sheet/number_form.hpp"

namespace pellucor::analysis::batch {

namespace {

// The end of the durable life under its one name, whatever the sheet's pane calls it (some
// say 使用年限), and the remaining life computed from it and the inspection age. An import
// reads none of these: they stand after the status column, among an earlier run's output.
constexpr const char* kEndOfDurabilityHeader = "耐久性终结时间 t_d (a)";
constexpr const char* kRemainingLifeHeader = "剩余寿命 t_d-t (a)";

bool is_end_of_life(const sheet::ItemText& form) {
  return form.key == "td";
}

// The sheet's printed result items, in the report's order.
std::vector<const sheet::ItemText*> printed_results(int sheet) {
  const sheet::SheetTable& table =
      modules::all_modules().at(static_cast<std::size_t>(sheet - 1))->table();
  std::vector<const sheet::ItemText*> out;
  for (const sheet::ItemText* form : table.results) {
    if (!form->label.empty()) out.push_back(form);
  }
  return out;
}

std::vector<std::string> headers_of(int sheet) {
  std::vector<std::string> out;
  bool printsEnd = false;
  for (const sheet::ItemText* form : printed_results(sheet)) {
    if (is_end_of_life(*form)) {
      printsEnd = true;
      out.emplace_back(kEndOfDurabilityHeader);
      continue;
    }
    std::string h(form->name);
    if (!form->unit.empty()) h += " (" + std::string(form->unit) + ")";
    out.push_back(std::move(h));
  }
  // A sheet that prints no t_d: the record's, under the same name.
  if (!printsEnd) out.emplace_back(kEndOfDurabilityHeader);
  out.emplace_back(kRemainingLifeHeader);
  return out;
}

}  // namespace

const std::vector<std::string>& result_headers(int sheet) {
  const std::size_t count = modules::all_modules().size();
  if (sheet < 1 || static_cast<std::size_t>(sheet) > count) {
    throw std::out_of_range("no sheet " + std::to_string(sheet));
  }
  static const std::vector<std::vector<std::string>> all = [count] {
    std::vector<std::vector<std::string>> h;
    for (std::size_t i = 1; i <= count; ++i) h.push_back(headers_of(static_cast<int>(i)));
    return h;
  }();
  return all[static_cast<std::size_t>(sheet - 1)];
}

std::vector<std::string> result_cells(const CaseResult& result) {
  std::vector<std::string> cells;
  fill_result_cells(result, cells);
  return cells;
}

void fill_result_cells(const CaseResult& result, std::vector<std::string>& cells) {
  std::size_t n = 0;
  // The next cell, emptied (its memory kept).
  auto next = [&]() -> std::string& {
    if (n == cells.size()) cells.emplace_back();
    std::string& cell = cells[n++];
    cell.clear();
    return cell;
  };
  if (result.done) {
    const sheet::ResultRecord& r = result.record;
    const sheet::ResultItem* td = nullptr;
    const sheet::ResultItem* t = nullptr;
    bool printedEnd = false;
    for (const sheet::ResultItem& item : r.items) {
      if (item.kind == sheet::ItemKind::Result && item.printed()) {
        printedEnd = printedEnd || item.key() == "td";
        std::string& cell = next();
        if (item.isText()) {
          cell = sheet::value_text(item);
        } else {
          sheet::append_digits_single(cell, *item.value);
        }
      }
      // The first item of each key, as ResultRecord::value finds it.
      if (td == nullptr && item.key() == "td") td = &item;
      if (t == nullptr && item.key() == "age") t = &item;
    }
    if (td != nullptr && t != nullptr && td->value && t->value) {
      if (!printedEnd) sheet::append_digits_single(next(), *td->value);
      sheet::append_digits_single(next(), *td->value - *t->value);
    } else {
      if (!printedEnd) next();
      next();
    }
  }
  cells.resize(n);
}

}  // namespace pellucor::analysis::batch
