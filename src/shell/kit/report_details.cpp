#include "shell/kit/report_details.hpp"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include "shell/kit/window_kit.hpp"

namespace pellucor::shell {

namespace {

constexpr const char* kGroup = "reportDetails";

}  // namespace

QList<std::pair<QString, QString>> ReportDetails::rows() const {
  QList<std::pair<QString, QString>> out;
  auto add = [&out](const char* label, const QString& text) {
    if (!text.trimmed().isEmpty()) out.append({QString::fromUtf8(label), text.trimmed()});
  };
  add("工程名称", project);
  add("结构", structure);
  add("构件", member);
  add("检测人", inspector);
  add("校核人", checker);
  if (date.isValid())
    out.append({QStringLiteral("日期"), date.toString(QStringLiteral("yyyy-MM-dd"))});
  return out;
}

ReportDetails remembered_report_details() {
  auto settings = program_settings();
  settings->beginGroup(QString::fromLatin1(kGroup));
  ReportDetails d;
  d.project = settings->value(QStringLiteral("project")).toString();
  d.structure = settings->value(QStringLiteral("structure")).toString();
  d.inspector = settings->value(QStringLiteral("inspector")).toString();
  d.checker = settings->value(QStringLiteral("checker")).toString();
  return d;
}

void remember_report_details(const ReportDetails& details) {
  auto settings = program_settings();
  settings->beginGroup(QString::fromLatin1(kGroup));
  settings->setValue(QStringLiteral("project"), details.project);
  settings->setValue(QStringLiteral("structure"), details.structure);
  settings->setValue(QStringLiteral("inspector"), details.inspector);
  settings->setValue(QStringLiteral("checker"), details.checker);
}

ReportDetailsDialog::ReportDetailsDialog(const ReportDetails& initial, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("reportDetails"));
  setWindowTitle(QStringLiteral("报告信息"));
  auto* form = new QFormLayout;
  auto line = [&](const QString& text, const char* name) {
    auto* edit = new QLineEdit(text, this);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMinimumWidth(260);
    return edit;
  };
  project_ = line(initial.project, "project");
  structure_ = line(initial.structure, "structure");
  member_ = line(initial.member, "member");
  inspector_ = line(initial.inspector, "inspector");
  checker_ = line(initial.checker, "checker");
  date_ = new QDateEdit(initial.date.isValid() ? initial.date : QDate::currentDate(), this);
  date_->setObjectName(QStringLiteral("date"));
  date_->setCalendarPopup(true);
  date_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  form->addRow(QStringLiteral("工程名称(&P)："), project_);
  form->addRow(QStringLiteral("结构(&S)："), structure_);
  form->addRow(QStringLiteral("构件(&M)："), member_);
  form->addRow(QStringLiteral("检测人(&I)："), inspector_);
  form->addRow(QStringLiteral("校核人(&C)："), checker_);
  form->addRow(QStringLiteral("日期(&D)："), date_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

ReportDetails ReportDetailsDialog::details() const {
  ReportDetails d;
  d.project = project_->text().trimmed();
  d.structure = structure_->text().trimmed();
  d.member = member_->text().trimmed();
  d.inspector = inspector_->text().trimmed();
  d.checker = checker_->text().trimmed();
  d.date = date_->date();
  return d;
}

}  // namespace pellucor::shell
