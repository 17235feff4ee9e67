// The columns of a sheet's member table, each found by what it holds: the member's name, one
// column per input of the sheet (a box, the steel kind, an option group) in the sheet's tab
// order, the status of the row, the results (the sheet's printed results with their names and
// units corrected where a sheet's own label is wrong for its value, then t_d and the remaining
// life), the member's state at the inspection age, and the four columns of its assessment
// (governing limit state, remaining life, margin, grade). Built once for a sheet; the window,
// its imports and exports, and its tests read the places and the headers from here.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/batch/batch.hpp"

namespace pellucor::shell {

class MemberColumns {
 public:
  // The columns of sheet 1..n.
  explicit MemberColumns(int sheet);

  // The input columns in their order, the member's first: what a row gives the batch runner.
  const std::vector<analysis::batch::InputColumn>& inputs() const { return inputs_; }

  int member() const { return 0; }
  int status() const { return static_cast<int>(inputs_.size()); }
  int firstResult() const { return status() + 1; }
  int results() const { return static_cast<int>(resultHeaders_.size()); }
  int state() const { return firstResult() + results(); }
  // The assessment's columns, in the order of AssessmentPanel::columnCells().
  int governing() const { return state() + 1; }
  int remainingLife() const { return state() + 2; }
  int margin() const { return state() + 3; }
  int grade() const { return state() + 4; }
  std::array<int, 4> assessment() const {
    return {governing(), remainingLife(), margin(), grade()};
  }
  int count() const { return grade() + 1; }

  // Whether the user types into the column (the member and the inputs), or the run fills it.
  bool typed(int column) const { return column >= 0 && column < status(); }
  // The batch runner's result cell that result column `firstResult() + k` shows.
  std::size_t resultSource(int k) const { return resultSources_.at(static_cast<std::size_t>(k)); }
  // The result column of the record's item `key` ("td", "w"); -1 for none.
  int result(std::string_view key) const;
  // The input column fed by `control` (its option group's column for an option); -1 for none.
  int of(sheet::Control control) const;
  // The name of input column c as the sheet labels it (the box's label, the caption of the
  // steel list or of the option group); empty for the other columns.
  QString name(int column) const;

  // The header of each column as the window shows it (on short lines, the unit on its own),
  // and its tip (the range, the prompts, what the column holds).
  const QStringList& headers() const { return headers_; }
  const QStringList& tips() const { return tips_; }
  // The items a cell of column c offers (the steel kinds, the options of a group); none for a
  // column typed freely.
  const std::map<int, QStringList>& choices() const { return choices_; }
  // The unit of each result column (the digits an engineer reads depend on it).
  const std::map<int, std::string>& resultUnits() const { return resultUnits_; }

  // The header row of an export, unbroken, in the window's words: "构件", the inputs by their
  // labels with units (an import reads them back), "状态", the results, the state and the
  // assessment.
  std::vector<std::string> exportHeader() const;
  // Per column of an export: never a number (the member, a choice, the status, the state, the
  // governing limit state, the grade).
  std::vector<bool> textColumns() const;

 private:
  std::vector<analysis::batch::InputColumn> inputs_;
  std::map<int, QString> inputUnits_;       // input column: the unit of its box
  QStringList resultHeaders_;               // "name (unit)" of each result column
  std::vector<std::string> resultKeys_;     // the record's key of each result column
  std::vector<std::size_t> resultSources_;  // the batch result cell each result column shows
  QStringList headers_;
  QStringList tips_;
  std::map<int, QStringList> choices_;
  std::map<int, std::string> resultUnits_;
};

// The header of the state column.
inline constexpr const char* kStateHeader = "检测时状态";

}  // namespace pellucor::shell
