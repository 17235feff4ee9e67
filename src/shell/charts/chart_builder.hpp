// Qt charts of the curves of a calculation: the curves, the marked points with their labels,
// the reference lines, the phases of the time course shaded, axes titled in Chinese with units.
// The chart window shows them; the PDF report draws them as vector graphics.
#pragma once

#include <QChart>
#include <QFont>
#include <QList>
#include <QRectF>
#include <QString>

#include "analysis/curves/curves.hpp"

namespace pellucor::shell {

// What a series of a built chart shows; kept in its "role" property.
inline constexpr const char* kRoleProperty = "role";
inline constexpr const char* kRoleCurve = "curve";
inline constexpr const char* kRoleMarker = "marker";
inline constexpr const char* kRoleGuide = "guide";
inline constexpr const char* kRolePhase = "phase";

// A font with the Chinese glyphs, for the charts and the report.
QFont cjk_font(qreal pointSize);

// The axis title: name and unit, e.g. "龄期 (a)"; the name alone without a unit.
QString axis_title(const std::string& name, const std::string& unit);

// The name a marked point carries beside it (its label up to the values).
QString marker_tag(const analysis::curves::Marker& marker);

// A new chart (owned by the caller) of `chart`.
QChart* make_chart(const analysis::curves::Chart& chart);

// Where a chart made by make_chart() shows the names of its marked points (chart coordinates,
// as laid out for its present size); a name without a free place is not shown.
QList<QRectF> marker_label_boxes(const QChart& chart);

// "name value unit" of every curve at the abscissa x (interpolated between its points), for
// the read-out under the mouse; empty outside every curve.
QString readout(const analysis::curves::Chart& chart, double x);

}  // namespace pellucor::shell
