// The charts of a reliability run, drawn into a chart given to them (whatever it showed before is
// removed): the probabilities of initiation, cracking and end of durability by age, each with
// the band between its lower bound (samples the model could not follow counted as not failed)
// and the headline; their reliability indices with the targets, an index that is only a bound
// (no sample, or every sample, failed) marked as such; and the rank correlations of the inputs
// with the times. Without a run the chart is left empty with its title. The window and the
// printed report draw the same charts with these.
#pragma once

#include "analysis/mc/report.hpp"

#include <Qt>

class QAbstractAxis;
class QAbstractSeries;
class QChart;
class QString;
class QValueAxis;

namespace pellucor::shell {

void draw_probability_chart(QChart& chart, const analysis::mc::Summary* summary);
void draw_beta_chart(QChart& chart, const analysis::mc::Summary* summary);
void draw_tornado_chart(QChart& chart, const analysis::mc::Report* report);

// What these charts and those of an update are drawn with: a chart emptied of its series and
// axes with its title, a value axis added on one side, a series added on two axes.
void reset_chart(QChart& chart, const QString& title);
QValueAxis* add_axis(QChart& chart, const QString& title, double lo, double hi, Qt::Alignment side);
void attach(QChart& chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y);

}  // namespace pellucor::shell
