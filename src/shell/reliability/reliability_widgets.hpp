// The widgets the reliability window builds its results from: a chart view, a table of results
// that shows every row (the page scrolls, not the table), and its filling.
#pragma once

#include <QList>
#include <QStringList>

class QChartView;
class QTableWidget;
class QWidget;

namespace pellucor::shell {

QChartView* make_chart_view();
QTableWidget* make_result_table(int columns, const QStringList& header, const char* name,
                                QWidget* parent);
void fill_table(QTableWidget& t, const QList<QStringList>& rows);

}  // namespace pellucor::shell
