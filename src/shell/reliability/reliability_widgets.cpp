#include "shell/reliability/reliability_widgets.hpp"

#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>

namespace pellucor::shell {

QChartView* make_chart_view() {
  auto* view = new QChartView(new QChart);
  view->setRenderHint(QPainter::Antialiasing);
  view->setMinimumSize(320, 220);
  return view;
}

QTableWidget* make_result_table(int columns, const QStringList& header, const char* name,
                                QWidget* parent) {
  auto* t = new QTableWidget(0, columns, parent);
  t->setObjectName(QString::fromLatin1(name));
  t->setHorizontalHeaderLabels(header);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  t->horizontalHeader()->setStretchLastSection(true);
  t->setWordWrap(false);
  t->verticalHeader()->hide();
  t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  return t;
}

void fill_table(QTableWidget& t, const QList<QStringList>& rows) {
  t.setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < rows.size(); ++r) {
    for (int c = 0; c < t.columnCount(); ++c) {
      const QString text = c < rows[r].size() ? rows[r][c] : QString();
      t.setItem(r, c, new QTableWidgetItem(text));
    }
  }
  // Every row shown: the page scrolls, not the table.
  t.resizeColumnsToContents();
  t.resizeRowsToContents();
  int height = t.horizontalHeader()->sizeHint().height() + 2 * t.frameWidth();
  for (int r = 0; r < t.rowCount(); ++r) height += t.rowHeight(r);
  const int width = t.verticalHeader()->isVisible() ? t.verticalHeader()->sizeHint().width() : 0;
  int columns = width + 2 * t.frameWidth();
  for (int c = 0; c < t.columnCount(); ++c) columns += t.columnWidth(c);
  if (columns > t.viewport()->width()) height += t.horizontalScrollBar()->sizeHint().height();
  t.setFixedHeight(height);
}

}  // namespace pellucor::shell
