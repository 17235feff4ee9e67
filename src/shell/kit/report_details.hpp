// Who and what a printed report is for: project, structure, member, inspected by, checked by,
// date. Asked in a short dialog before a report is written; everything but the date and the
// member is remembered between runs.
#pragma once

#include <QDate>
#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

class QDateEdit;
class QLineEdit;

namespace pellucor::shell {

struct ReportDetails {
  QString project;
  QString structure;
  QString member;
  QString inspector;
  QString checker;
  QDate date = QDate::currentDate();

  // The filled-in details as "label, text" pairs in the order the report prints them.
  QList<std::pair<QString, QString>> rows() const;
  bool operator==(const ReportDetails&) const = default;
};

// The details remembered from the last report (today's date, no member); and remembering them.
ReportDetails remembered_report_details();
void remember_report_details(const ReportDetails& details);

// The dialog: one line per detail, the date with a calendar; 确定 and 取消.
class ReportDetailsDialog final : public QDialog {
  Q_OBJECT

 public:
  ReportDetailsDialog(const ReportDetails& initial, QWidget* parent = nullptr);
  ReportDetails details() const;

 private:
  QLineEdit* project_ = nullptr;
  QLineEdit* structure_ = nullptr;
  QLineEdit* member_ = nullptr;
  QLineEdit* inspector_ = nullptr;
  QLineEdit* checker_ = nullptr;
  QDateEdit* date_ = nullptr;
};

}  // namespace pellucor::shell
