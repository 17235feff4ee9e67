// The charts of a fit of inspection data: the measured points, the fitted curve, the residuals,
// with the guides (a critical content, a design cover) as dashed lines across. The fit windows
// show them; the structure report prints them.
#pragma once

#include <vector>

#include "analysis/curves/curves.hpp"

class QChart;
class QChartView;

namespace pellucor::shell {

// The chart of a fit: the series whose flag in `asPoints` is set as measured points, the others
// as lines; the guides as dashed lines across. The caller owns it.
QChart* fit_chart(const analysis::curves::Chart& c, const std::vector<bool>& asPoints);
// Shows fit_chart(c, asPoints) in `view` (the chart it showed before is deleted).
void show_fit_chart(QChartView& view, const analysis::curves::Chart& c,
                    const std::vector<bool>& asPoints);

}  // namespace pellucor::shell
