// The parts of the member table's view: cells that sort numbers by value, the delegate that
// offers the choices of a column and shows results with the digits an engineer reads, and the
// member column kept in view over the table's left edge.
#pragma once

#include <QStringList>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidgetItem>
#include <map>
#include <string>

class QTableWidget;

namespace pellucor::shell {

class MemberColumns;

// A cell that sorts numbers by value and texts by text (numbers first, then texts and empty
// cells). A cell whose text stands for a number ("未开裂" for a crack width below zero) keeps
// that number under kSortValueRole and sorts by it.
class MemberCell final : public QTableWidgetItem {
 public:
  static constexpr int kSortValueRole = Qt::UserRole + 20;

  explicit MemberCell(const QString& text = {}) : QTableWidgetItem(text) {}
  QTableWidgetItem* clone() const override { return new MemberCell(*this); }
  bool operator<(const QTableWidgetItem& other) const override;
};

// Drop-down lists for the steel kind and the option groups; numbers to the right, results with
// the digits an engineer reads (the cell keeps every digit: its tip, a copy and an export).
class ChoiceDelegate final : public QStyledItemDelegate {
 public:
  ChoiceDelegate(const MemberColumns& columns, QObject* parent);

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  std::map<int, QStringList> choices_;
  std::map<int, std::string> units_;
};

// The member column laid over the table's left edge: it stays in view when the table scrolls
// to the right. The same cells (model and selection), the table's delegate.
class FrozenColumn final : public QTableView {
 public:
  explicit FrozenColumn(QTableWidget& main);
  // Lays it over the table's first column again (after the table changed its size).
  void place();

 private:
  QTableWidget& main_;
};

}  // namespace pellucor::shell
