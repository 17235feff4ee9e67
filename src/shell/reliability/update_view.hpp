// An updated reliability analysis as the window and the printed report show it: the sampler and
// its diagnostics in plain Chinese, the measurements and their errors, prior against posterior
// (probabilities and indices at the target age, the ages at which an index falls below its
// target, the percentiles), the inputs' means, CoVs and 90 % intervals, the posterior
// correlations; and the charts: the posterior predictive curves with the measurements on them,
// and the inputs' prior against their posterior.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "analysis/update/update.hpp"

class QChart;

namespace pellucor::shell {

// The sampler, its effective samples and the limits it met or did not meet; the measurements
// and the errors they are compared with; the cover's updated law.
QStringList update_diagnostic_lines(const analysis::update::UpdateResult& r);

// Rows t_i, t_c, t_d: P(t <= tau) prior and posterior (its standard error), beta prior and
// posterior (the target), the age at which beta falls below its target prior and posterior.
QList<QStringList> update_comparison_cells(const analysis::update::UpdateResult& r);
QStringList update_comparison_header(const analysis::update::UpdateResult& r);

// Rows t_i, t_c, t_d, remaining life: the 5, 50 and 95 % points, prior and posterior.
QList<QStringList> update_percentile_cells(const analysis::update::UpdateResult& r);

// Per input: its label, prior mean, CoV, 90 % interval, posterior mean, CoV, 90 % interval.
QList<QStringList> update_input_cells(const analysis::update::UpdateResult& r);

// The posterior correlations, inputs by inputs (the first column names the row's input).
QList<QStringList> update_correlation_cells(const analysis::update::UpdateResult& r);

// Curve `curve` of the result: the 5-95 % band and median of the model's value, prior and
// posterior, the 5-95 % of a new measurement, and the measurements (those left out hollow).
void draw_predictive_chart(QChart& chart, const analysis::update::PredictiveCurve& curve);

// Each input's 90 % interval and mean, prior and posterior, relative to its prior mean.
void draw_update_inputs_chart(QChart& chart, const analysis::update::UpdateResult& r);

}  // namespace pellucor::shell
