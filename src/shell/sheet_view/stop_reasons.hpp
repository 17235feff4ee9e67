// Why a calculation gave up, in plain Chinese for the output pane. The message box of a
// plausibility stop says only "请您检查输入数据的合理性!"; after it the pane says what made the
// model give up, naming the quantity (its label and the value that was read) where it is known, and
// which boxes to look at.
#pragma once

#include <QStringList>
#include <optional>

#include "model/stop.hpp"
#include "sheet/sheet_table.hpp"

namespace pellucor::shell {

// The lines for the pane after a plausibility stop on the sheet `table` with the inputs `in`
// as Calculate read them. `reason` is the model's reason; none for the consistency check made
// before the model runs (a measured or critical concentration not below the surface one).
// `assumedTime` is the text of the assumed cracking time's box after the stop (the running
// value of the iteration), when the sheet has one.
QStringList stop_explanation(const sheet::SheetTable& table, const sheet::SheetInputs& in,
                             std::optional<model::StopReason> reason,
                             const QString& assumedTime = {});

}  // namespace pellucor::shell
