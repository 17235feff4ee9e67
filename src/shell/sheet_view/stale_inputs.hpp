// Whether the results a sheet holds still belong to its boxes: the inputs of its last completed
// calculation against what the boxes, options and steel-kind list hold now. 保存数据 and 报告
// ask before they write results that no longer match, and the report says which inputs differ.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace pellucor::sheet {
class SheetController;
class SheetView;
struct SheetInputs;
struct SheetTable;
}  // namespace pellucor::sheet

namespace pellucor::shell {

struct InputChange {
  QString name;    // the box's label, the option group's caption or "钢筋种类"
  QString before;  // as the last completed calculation read it
  QString now;     // as the sheet holds it now
};

// The inputs that differ; empty when they match or when no calculation has completed.
std::vector<InputChange> changed_inputs(const sheet::SheetController& controller,
                                        const sheet::SheetView& view);
// The inputs of `table` that differ between two sets (boxes, options, steel kind).
std::vector<InputChange> input_changes(const sheet::SheetTable& table,
                                       const sheet::SheetInputs& before,
                                       const sheet::SheetInputs& now);

// "保护层厚度：计算时 30，现在 35" for each change, in the sheet's order.
QStringList change_lines(const std::vector<InputChange>& changes);

// The question asked before results that no longer match the boxes are written by `action`
// ("保存数据", "写报告"), with the changes.
QString stale_question(const std::vector<InputChange>& changes, const QString& action);
// Its answers: write the earlier results anyway (the first), or not.
QStringList stale_answers(const QString& action);

}  // namespace pellucor::shell
