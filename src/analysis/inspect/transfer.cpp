#include "analysis/inspect/transfer.hpp"

#include <cstdio>
#include <stdexcept>

#include "analysis/text/digits.hpp"

namespace pellucor::analysis::inspect {

namespace {

std::string num(double v) {
  return text::num(v, 6);
}

}  // namespace

void SheetTransfer::add(const sheet::SheetTable& table, sheet::BoxRole role, double value,
                        std::string text, std::optional<mc::Scatter> boxScatter,
                        std::string_view name, std::string_view english) {
  const sheet::FieldRow* row = table.withRole(role);
  if (row == nullptr) {
    throw std::logic_error("SheetTransfer: no box of role " +
                           std::to_string(static_cast<int>(role)) + " on " +
                           std::string(table.cliName));
  }
  const sheet::Control box = row->control;
  const std::string_view alias = row->alias;
  if (value < row->lo || value > row->hi) {
    outOfRange.push_back(
        {std::string(name) + " " + text + " 不在“" + std::string(row->label) + "”的有效范围 " +
             num(row->lo) + "--" + num(row->hi) + " 内，表格不会接受。",
         std::string(english) + " " + text + " lies outside the range " + num(row->lo) + " to " +
             num(row->hi) + " of the box " + std::string(alias) + "; the sheet will refuse it"});
  }
  entries.push_back({box, std::move(text)});
  if (boxScatter) scatter.push_back({box, *boxScatter});
}

}  // namespace pellucor::analysis::inspect
