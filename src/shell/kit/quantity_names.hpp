// The names and units of the quantities a record carries, as every output beyond the sheet's
// pane and result file shows them (the report, the member table, the reliability analysis):
// one name for one quantity, and the unit corrected where a sheet's own label is plainly wrong
// for the value it carries. The pane and the result file keep the sheets' own texts.
#pragma once

#include <QString>
#include <string_view>

namespace pellucor::sheet {
struct ResultItem;
}  // namespace pellucor::sheet

namespace pellucor::shell {

// The name and unit of an item as the outputs beyond the pane show them.
struct Shown {
  QString name;
  QString unit;  // empty: none
};
Shown shown(const sheet::ResultItem& item);

// A unit with its squares and cubes raised, as the outputs beyond the pane write it ("m^2/a"
// as m²/a, "kg/m^3" as kg/m³); the member-table import reads either spelling.
QString raised_powers(const QString& unit);

// The end of the durable life t_d, printed by every sheet but the carbonation one, under one
// name whatever the sheet's pane calls it.
inline constexpr std::string_view kEndOfLifeKey = "td";
QString end_of_life_name();

}  // namespace pellucor::shell
