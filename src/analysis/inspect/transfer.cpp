#include "analysis/inspect/transfer.hpp"

#include <cstdio>
#include <stdexcept>

namespace pellucor::analysis::inspect {

namespace {

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

}  // namespace

void SheetTransfer::add(const sheet::SheetTable& table, std::string_view alias, double value,
                        std::string text, std::optional<mc::Scatter> boxScatter,
                        std::string_view name, std::string_view english) {
  const sheet::Control box = batch::control_by_name(table, alias);
  const sheet::FieldRow* row = table.field(box);
  if (row == nullptr) {
    throw std::logic_error("SheetTransfer: no box " + std::string(alias) + " on " +
                           std::string(table.cliName));
  }
  if (value < row->lo || value > row->hi) {
    outOfRange.push_back(std::string(name) + " " + text + " 不在“" + std::string(row->label) +
                         "”的有效范围 " + num(row->lo) + "--" + num(row->hi) +
                         " 内，表格不会接受。");
    outOfRangeEnglish.push_back(std::string(english) + " " + text + " lies outside the range " +
                                num(row->lo) + " to " + num(row->hi) + " of the box " +
                                std::string(alias) + "; the sheet will refuse it");
  }
  entries.push_back({box, std::move(text)});
  if (boxScatter) scatter.push_back({box, *boxScatter});
}

}  // namespace pellucor::analysis::inspect
