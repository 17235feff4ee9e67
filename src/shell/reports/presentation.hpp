// How the printed report and the member table show the quantities of a record: the name and
// unit (corrected where a sheet's own label is plainly wrong for the value it carries), the
// value with the digits an engineer reads, and the member's state at the inspection age. The
// output pane and the result file keep the sheets' own texts and seven significant digits.
#pragma once

#include <QString>
#include <optional>
#include <string_view>

#include "shell/kit/quantity_names.hpp"

namespace pellucor::sheet {
struct ResultItem;
struct ResultRecord;
}  // namespace pellucor::sheet

namespace pellucor::shell {

// A result value with the digits an engineer reads: ages to 0.1 a (three significant digits
// below 1 a), everything else to three significant digits, very small or large magnitudes as
// "1.50×10^-4".
QString engineer_digits(double value, std::string_view unit);
// The item's value as the report shows it: an input as typed, a result with engineer_digits(),
// a text as the sheet prints it.
QString shown_value(const sheet::ResultItem& item);

// The member's state at the inspection age t against t_i, t_c and t_d of its calculation.
enum class MemberState {
  NotCorroding,  // t < t_i
  Corroding,     // t_i <= t < t_c
  Cracked,       // t_c <= t < t_d
  Ended,         // t >= t_d (also when the durable life ends before the cover cracks)
};
std::optional<MemberState> member_state(const sheet::ResultRecord& record);
MemberState member_state(double t, double ti, double tc, double td);
// 尚未锈蚀 / 锈蚀中、未开裂 / 已开裂 / 耐久性已终结
QString state_name(MemberState state);

}  // namespace pellucor::shell
