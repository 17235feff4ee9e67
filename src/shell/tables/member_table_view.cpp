#include "shell/tables/member_table_view.hpp"

#include <QComboBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>

#include "analysis/batch/csv.hpp"
#include "shell/kit/text.hpp"
#include "shell/reports/presentation.hpp"
#include "shell/tables/member_columns.hpp"

namespace pellucor::shell {

namespace batch = analysis::batch;

bool MemberCell::operator<(const QTableWidgetItem& other) const {
  const auto value = [](const QTableWidgetItem& item, double* v) {
    if (const QVariant s = item.data(kSortValueRole); s.isValid()) {
      *v = s.toDouble();
      return true;
    }
    return batch::number_cell(utf8(item.text().trimmed()), v);
  };
  double a = 0;
  double b = 0;
  const bool an = value(*this, &a);
  const bool bn = value(other, &b);
  if (an && bn) return a < b;
  if (an != bn) return an;  // numbers before texts and empty cells
  return text() < other.text();
}

ChoiceDelegate::ChoiceDelegate(const MemberColumns& columns, QObject* parent)
    : QStyledItemDelegate(parent), choices_(columns.choices()), units_(columns.resultUnits()) {}

void ChoiceDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  double v = 0;
  if (!batch::number_cell(utf8(option->text.trimmed()), &v)) return;
  option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
  if (const auto it = units_.find(index.column()); it != units_.end()) {
    option->text = engineer_digits(v, it->second);
  }
}

QWidget* ChoiceDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const {
  const auto it = choices_.find(index.column());
  if (it == choices_.end()) return QStyledItemDelegate::createEditor(parent, option, index);
  auto* box = new QComboBox(parent);
  box->addItem(QString());
  box->addItems(it->second);
  return box;
}

void ChoiceDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  if (auto* box = qobject_cast<QComboBox*>(editor)) {
    const int i = box->findText(index.data().toString());
    box->setCurrentIndex(i < 0 ? 0 : i);
    return;
  }
  QStyledItemDelegate::setEditorData(editor, index);
}

void ChoiceDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                  const QModelIndex& index) const {
  if (auto* box = qobject_cast<QComboBox*>(editor)) {
    model->setData(index, box->currentText());
    return;
  }
  QStyledItemDelegate::setModelData(editor, model, index);
}

FrozenColumn::FrozenColumn(QTableWidget& main) : QTableView(&main), main_(main) {
  setObjectName(QStringLiteral("frozenMemberColumn"));
  setModel(main.model());
  setSelectionModel(main.selectionModel());
  setItemDelegate(main.itemDelegate());
  setFocusPolicy(Qt::NoFocus);
  verticalHeader()->hide();
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setDefaultAlignment(main.horizontalHeader()->defaultAlignment());
  horizontalHeader()->setMinimumHeight(main.horizontalHeader()->minimumHeight());
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(main.verticalScrollMode());
  setSelectionBehavior(main.selectionBehavior());
  setSelectionMode(main.selectionMode());
  setEditTriggers(main.editTriggers());
  for (int c = 1; c < model()->columnCount(); ++c) setColumnHidden(c, true);
  setColumnWidth(0, main.columnWidth(0));
  setFrameStyle(QFrame::NoFrame);
  main.viewport()->stackUnder(this);
  connect(main.horizontalHeader(), &QHeaderView::sectionResized, this,
          [this](int section, int, int size) {
            if (section == 0) {
              setColumnWidth(0, size);
              place();
            }
          });
  connect(main.verticalHeader(), &QHeaderView::sectionResized, this,
          [this](int row, int, int size) { setRowHeight(row, size); });
  connect(verticalScrollBar(), &QAbstractSlider::valueChanged, main.verticalScrollBar(),
          &QAbstractSlider::setValue);
  connect(main.verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(),
          &QAbstractSlider::setValue);
  // Its header sorts the table like the table's own.
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int) {
    const Qt::SortOrder order =
        main_.horizontalHeader()->sortIndicatorSection() == 0 &&
                main_.horizontalHeader()->sortIndicatorOrder() == Qt::AscendingOrder
            ? Qt::DescendingOrder
            : Qt::AscendingOrder;
    if (main_.isSortingEnabled()) main_.sortByColumn(0, order);
  });
  place();
  show();
}

void FrozenColumn::place() {
  setGeometry(main_.verticalHeader()->width() + main_.frameWidth(), main_.frameWidth(),
              main_.columnWidth(0),
              main_.viewport()->height() + main_.horizontalHeader()->height());
  horizontalHeader()->setFixedHeight(main_.horizontalHeader()->height());
}

}  // namespace pellucor::shell
