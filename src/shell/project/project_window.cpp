#include "shell/project/project_window.hpp"

#include <QBoxLayout>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "analysis/mc/problem.hpp"
#include "analysis/update/member_update.hpp"
#include "modules/registry.hpp"
#include "sheet/control_names.hpp"
#include "sheet/user_input.hpp"
#include "shell/analysis_menu/analysis_actions.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/text.hpp"
#include "shell/kit/window_kit.hpp"
#include "shell/project/fit_profile_window.hpp"
#include "shell/project/fit_readings.hpp"
#include "shell/project/fit_survey_windows.hpp"
#include "shell/project/project_assessment_window.hpp"
#include "shell/reliability/reliability_window.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"
#include "shell/tables/assessment_panel.hpp"
#include "shell/tables/batch_window.hpp"

namespace pellucor::shell {

namespace project = analysis::project;

namespace {

const QString kTitle = QString::fromUtf8(kProjectTitle);

// The structure's one-line fields, in the order of the form.
struct StructureField {
  const char* label;
  const char* name;
  std::string project::Structure::*field;
};
const StructureField kFields[] = {
    {"工程名称", "projectName", &project::Structure::name},
    {"结构", "structureName", &project::Structure::structure},
    {"地点", "location", &project::Structure::location},
    {"业主", "owner", &project::Structure::owner},
    {"工程师", "engineer", &project::Structure::engineer},
    {"日期", "date", &project::Structure::date},
};

// A menu caption without its access key: "碳化(&A)" gives "碳化".
QString without_access_key(std::string_view caption) {
  return qs(caption).remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
}

QString sheet_caption(const project::Member& m) {
  const sheet::Module* module = project::module_of(m);
  return module != nullptr ? without_access_key(module->table().menuCaption) : qs(m.sheet);
}

QString inspection_summary(const project::Member& m) {
  QStringList parts;
  const auto& ins = m.inspection;
  if (!ins.profiles.empty()) {
    const auto fitted = std::count_if(ins.profiles.begin(), ins.profiles.end(),
                                      [](const project::ProfileRecord& p) { return p.fit; });
    parts << QStringLiteral("氯离子剖面 %1 条（已拟合 %2）").arg(ins.profiles.size()).arg(fitted);
  }
  if (ins.carbonation) {
    parts << QStringLiteral("碳化深度 %1 个").arg(ins.carbonation->depthMm.size());
  }
  if (ins.cover) parts << QStringLiteral("保护层 %1 个").arg(ins.cover->readingsMm.size());
  return parts.join(QStringLiteral("；"));
}

QString scatter_summary(const project::Member& m) {
  const sheet::Module* module = project::module_of(m);
  QStringList parts;
  for (const auto& [box, s] : m.scatter) {
    const sheet::FieldRow* f = module != nullptr ? module->table().field(box) : nullptr;
    parts << QStringLiteral("%1 CoV %2 %3")
                 .arg(f != nullptr ? qs(f->label) : qs(sheet::control_name(box)),
                      number_text(s.cov, 3),
                      s.law == analysis::mc::Distribution::Lognormal ? QStringLiteral("对数正态")
                                                                     : QStringLiteral("正态"));
  }
  return parts.join(QStringLiteral("；"));
}

}  // namespace

ProjectWindow::ProjectWindow(ProjectSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
  setObjectName(QStringLiteral("projectWindow"));

  auto* structure = new QGroupBox(QStringLiteral("结构"), this);
  auto* form = new QFormLayout(structure);
  for (const auto& f : kFields) {
    auto* edit = new QLineEdit(structure);
    edit->setObjectName(QString::fromLatin1(f.name));
    form->addRow(QString::fromUtf8(f.label), edit);
    fields_.push_back(edit);
    const auto member = f.field;
    connect(edit, &QLineEdit::textEdited, this, [this, member](const QString& text) {
      session_.update([&](project::Project& p) { p.structure.*member = text.toStdString(); });
    });
  }
  notes_ = new QPlainTextEdit(structure);
  notes_->setObjectName(QStringLiteral("notes"));
  notes_->setMaximumHeight(70);
  form->addRow(QStringLiteral("说明"), notes_);
  connect(notes_, &QPlainTextEdit::textChanged, this, [this] {
    if (filling_) return;
    const std::string text = notes_->toPlainText().toStdString();
    session_.update([&](project::Project& p) { p.structure.notes = text; });
  });

  members_ = new QTableWidget(0, 4, this);
  members_->setObjectName(QStringLiteral("members"));
  members_->setHorizontalHeaderLabels({QStringLiteral("构件"), QStringLiteral("计算表"),
                                       QStringLiteral("检测数据"),
                                       QStringLiteral("可靠度分析的离散性")});
  members_->verticalHeader()->hide();
  members_->setSelectionBehavior(QAbstractItemView::SelectRows);
  members_->setSelectionMode(QAbstractItemView::SingleSelection);
  // The names and sheets whole; the inspection data in the room left (whole in the tip).
  members_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  members_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
  connect(members_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (filling_ || item->column() != 0) return;
    const auto row = static_cast<std::size_t>(item->row());
    if (row >= rows_.size()) return;
    const std::string name = item->text().toStdString();
    const auto id = rows_[row];
    // Not while the table is being filled from the change itself.
    QMetaObject::invokeMethod(
        this,
        [this, id, name] { session_.updateMember(id, [&](project::Member& m) { m.name = name; }); },
        Qt::QueuedConnection);
  });
  connect(members_, &QTableWidget::cellDoubleClicked, this, [this](int, int column) {
    if (column != 0) openInSheet();
  });

  auto makeButton = [this](const QString& text, const char* name, auto slot) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::fromLatin1(name));
    connect(b, &QPushButton::clicked, this, slot);
    return b;
  };
  auto* row1 = new QHBoxLayout;
  row1->addWidget(makeButton(QStringLiteral("由当前表单添加(&F)"), "addFromSheet",
                             &ProjectWindow::addFromSheet));
  row1->addWidget(
      makeButton(QStringLiteral("新构件(&M)…"), "addMember", &ProjectWindow::addMember));
  row1->addWidget(
      makeButton(QStringLiteral("删除(&S)"), "removeMember", &ProjectWindow::removeMember));
  row1->addWidget(
      makeButton(QStringLiteral("在表单中打开(&O)"), "openInSheet", &ProjectWindow::openInSheet));
  row1->addWidget(
      makeButton(QStringLiteral("成员表(&T)"), "memberTable", [this] { openMemberTable(); }));
  row1->addStretch();
  auto* row2 = new QHBoxLayout;
  row2->addWidget(new QLabel(QStringLiteral("检测数据："), this));
  row2->addWidget(
      makeButton(QStringLiteral("氯离子剖面(&P)…"), "profiles", &ProjectWindow::openProfiles));
  row2->addWidget(
      makeButton(QStringLiteral("碳化深度(&H)…"), "carbonation", &ProjectWindow::openCarbonation));
  row2->addWidget(
      makeButton(QStringLiteral("保护层厚度(&V)…"), "cover", &ProjectWindow::openCover));
  row2->addWidget(makeButton(QStringLiteral("可靠度分析(&R)…"), "reliability",
                             &ProjectWindow::openReliability));
  row2->addWidget(makeButton(QStringLiteral("工程评估(&K)…"), "assessment",
                             [this] { ProjectAssessmentWindow::show(session_); }));
  row2->addStretch();

  file_ = new QLabel(this);
  file_->setObjectName(QStringLiteral("file"));
  file_->setWordWrap(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(structure);
  layout->addWidget(new QLabel(QStringLiteral("构件（名称可直接修改；双击在表单中打开）"), this));
  layout->addWidget(members_, 1);
  layout->addLayout(row1);
  layout->addLayout(row2);
  layout->addWidget(file_);

  connect(&session_, &ProjectSession::projectChanged, this, &ProjectWindow::refresh);
  connect(&session_, &ProjectSession::stateChanged, this, &ProjectWindow::retitle);
  refresh();
  resize(860, 620);
}

QPushButton* ProjectWindow::button(const char* objectName) const {
  return findChild<QPushButton*>(QString::fromLatin1(objectName));
}

void ProjectWindow::retitle() {
  const QString title = kTitle + QStringLiteral(" — ") + session_.displayName();
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->setWindowTitle(title);
  setWindowTitle(title);
  file_->setText((session_.path().isEmpty()
                      ? QStringLiteral("尚未保存为文件")
                      : QStringLiteral("文件：%1").arg(QDir::toNativeSeparators(session_.path()))) +
                 (session_.isModified() ? QStringLiteral("（有未保存的修改）") : QString()));
}

void ProjectWindow::refresh() {
  const auto current = currentMember();
  filling_ = true;
  const project::Project& p = session_.project();
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const QString text = qs(p.structure.*kFields[i].field);
    if (fields_[i]->text() != text) fields_[i]->setText(text);
  }
  if (notes_->toPlainText() != qs(p.structure.notes)) notes_->setPlainText(qs(p.structure.notes));
  members_->setRowCount(static_cast<int>(p.members.size()));
  rows_.clear();
  for (std::size_t i = 0; i < p.members.size(); ++i) {
    const project::Member& m = p.members[i];
    rows_.push_back(*session_.idAt(i));
    const int r = static_cast<int>(i);
    const QStringList cells = {qs(m.name), sheet_caption(m), inspection_summary(m),
                               scatter_summary(m)};
    for (int c = 0; c < cells.size(); ++c) {
      QTableWidgetItem* item = members_->item(r, c);
      if (item == nullptr) {
        item = new QTableWidgetItem;
        if (c != 0) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        members_->setItem(r, c, item);
      }
      if (item->text() != cells[c]) {
        item->setText(cells[c]);
        if (c >= 2) item->setToolTip(cells[c]);
      }
    }
  }
  filling_ = false;
  if (current) selectMember(*current);
  retitle();
}

std::optional<ProjectSession::MemberId> ProjectWindow::currentMember() const {
  const int r = members_->currentRow();
  if (r < 0 || static_cast<std::size_t>(r) >= rows_.size()) return std::nullopt;
  return rows_[static_cast<std::size_t>(r)];
}

void ProjectWindow::selectMember(ProjectSession::MemberId id) {
  const auto it = std::find(rows_.begin(), rows_.end(), id);
  if (it != rows_.end()) members_->setCurrentCell(static_cast<int>(it - rows_.begin()), 0);
}

void ProjectWindow::addFromSheet() {
  MainWindow& main = session_.mainWindow();
  // The sheet last active: the project window itself is active now.
  int sheet = 0;
  for (QMdiSubWindow* sub : main.mdiArea()->subWindowList(QMdiArea::ActivationHistoryOrder)) {
    if (auto* view = qobject_cast<QtSheetView*>(sub->widget()); view && view->isAttached()) {
      sheet = view->table().number;
    }
  }
  if (sheet == 0) {
    main.dialogs().showWarning(this, kTitle,
                               QStringLiteral("请先打开一个计算表并输入构件的数据。"));
    return;
  }
  if (const auto id = session_.saveSheetAsMember(sheet)) selectMember(*id);
}

void ProjectWindow::addMember() {
  QStringList answers;
  for (const sheet::Module* m : modules::all_modules()) {
    answers << without_access_key(m->table().menuCaption);
  }
  answers << QStringLiteral("取消");
  const auto answer =
      session_.mainWindow().dialogs().ask(this, kTitle, QStringLiteral("新构件用哪个计算表计算？"),
                                          answers, static_cast<int>(answers.size()) - 1);
  if (!answer || *answer >= static_cast<int>(modules::all_modules().size())) return;
  project::Member m;
  m.name = session_.freshMemberName().toStdString();
  m.sheet = modules::all_modules()[static_cast<std::size_t>(*answer)]->table().cliName;
  if (const auto id = session_.addMember(std::move(m))) selectMember(*id);
}

void ProjectWindow::removeMember() {
  const auto id = currentMember();
  if (!id) return;
  const project::Member* m = session_.member(*id);
  const auto answer = session_.mainWindow().dialogs().ask(
      this, kTitle, QStringLiteral("从工程中删除构件“%1”及其检测数据？").arg(qs(m->name)),
      {QStringLiteral("删除"), QStringLiteral("取消")}, 1);
  if (answer == 0) session_.removeMember(*id);
}

void ProjectWindow::openInSheet() {
  const auto id = currentMember();
  if (!id) return;
  if (project::module_of(*session_.member(*id)) == nullptr) {
    session_.mainWindow().dialogs().showWarning(
        this, kTitle,
        QStringLiteral("构件“%1”的计算表“%2”不是本程序的计算表。")
            .arg(qs(session_.member(*id)->name), qs(session_.member(*id)->sheet)));
    return;
  }
  session_.openInSheet(*id);
}

BatchWindow* ProjectWindow::openMemberTable() {
  int sheet = 0;
  if (const auto id = currentMember()) {
    if (const sheet::Module* m = project::module_of(*session_.member(*id))) {
      sheet = m->table().number;
    }
  }
  if (sheet == 0) sheet = session_.mainWindow().activeSheet();
  if (sheet == 0) {
    session_.mainWindow().dialogs().showWarning(
        this, kTitle, QStringLiteral("请先选择一个构件：成员表列出与它同一计算表的全部构件。"));
    return nullptr;
  }
  return open_member_table(session_, sheet);
}

void ProjectWindow::openProfiles() {
  if (const auto id = currentMember()) FitProfileWindow::show(session_, *id);
}

void ProjectWindow::openCarbonation() {
  if (const auto id = currentMember()) CarbonationWindow::show(session_, *id);
}

void ProjectWindow::openCover() {
  if (const auto id = currentMember()) CoverWindow::show(session_, *id);
}

void ProjectWindow::openReliability() {
  const auto id = currentMember();
  if (!id) return;
  const project::Member m = *session_.member(*id);
  QtSheetView* view = session_.openInSheet(*id);
  if (view == nullptr) return;
  ReliabilityWindow* w = session_.analysis().openReliability();
  if (w == nullptr) return;
  for (const auto& [box, s] : m.scatter) {
    analysis::mc::Scatter scatter;
    scatter.cov = s.cov;
    scatter.dist = s.law;
    w->setScatter(sheet::text_box_number(box), scatter,
                  QStringLiteral("工程中构件“%1”的设定").arg(qs(m.name)));
  }
  // The member's measurements without the values its update settings add: those stand in the
  // window's boxes, where they can be changed.
  w->setMeasurements(analysis::update::measurements_of(m.inspection),
                     QStringLiteral("工程中构件“%1”的检测数据").arg(qs(m.name)));
  if (m.update) w->setUpdateRecord(*m.update);
  // A completed update is kept with the member: its settings and its result.
  const auto member = *id;
  connect(w, &ReliabilityWindow::runEnded, this, [this, w, member] {
    if (const auto record = w->updateRecord()) {
      session_.updateMember(member, [&](project::Member& m) { m.update = record; });
    }
  });
}

ProjectWindow* show_project_window(ProjectSession& session) {
  MainWindow& main = session.mainWindow();
  for (QMdiSubWindow* sub : main.mdiArea()->subWindowList()) {
    if (auto* w = qobject_cast<ProjectWindow*>(sub->widget())) {
      activate_child(w);
      return w;
    }
  }
  auto* w = new ProjectWindow(session);
  main.addChildWindow(w, QString());
  w->retitle();
  return w;
}

// ---- The member table of a sheet --------------------------------------------------------------

namespace {

const char* const kFromProject = "pellucorProjectSheet";

// A member's name and inputs as its sheet sees them: every box (one left empty at the text the
// sheet opens with), the steel, the option chosen in each group (its first when none is).
std::vector<std::string> inputs_as_sheet_sees(const sheet::SheetTable& table,
                                              const project::Member& m) {
  std::vector<std::string> out = {m.name, m.steel};
  for (const auto& f : table.fields) {
    const auto it = m.boxes.find(f.control);
    const std::string text = it == m.boxes.end() ? std::string() : it->second;
    out.push_back(sheet::trim_blanks_and_tabs(text).empty() ? std::string(sheet::kDefaultBoxText)
                                                            : text);
  }
  for (const auto& g : table.groups) {
    const bool second =
        std::find(m.options.begin(), m.options.end(), g.options[1].control) != m.options.end();
    out.emplace_back(second ? "2" : "1");
  }
  return out;
}

// The cells of a member table window's rows in the columns of project::member_table().
std::vector<std::vector<std::string>> table_rows(const BatchWindow& w,
                                                 const sheet::SheetTable& table) {
  std::vector<int> columns = {0};
  for (const auto& f : table.fields) columns.push_back(w.columns().of(f.control));
  columns.push_back(w.columns().of(sheet::Control::Combo1));
  for (const auto& g : table.groups) columns.push_back(w.columns().of(g.options[0].control));
  std::vector<std::vector<std::string>> rows;
  const QTableWidget* t = w.table();
  for (int r = 0; r < t->rowCount(); ++r) {
    std::vector<std::string> row;
    for (int c : columns) {
      const QTableWidgetItem* item = c >= 0 ? t->item(r, c) : nullptr;
      row.push_back(item != nullptr ? item->text().toStdString() : std::string());
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

BatchWindow* open_member_table(ProjectSession& session, int sheet) {
  MainWindow& main = session.mainWindow();
  const sheet::SheetTable& table =
      modules::all_modules().at(static_cast<std::size_t>(sheet - 1))->table();
  std::vector<const project::Member*> members;
  for (const auto& m : session.project().members) {
    if (project::module_of(m) == &*modules::all_modules().at(static_cast<std::size_t>(sheet - 1))) {
      members.push_back(&m);
    }
  }
  const project::MemberTable rows = project::member_table(table, members);
  auto* w = new BatchWindow(main, sheet, main.dialogs());
  w->setProperty(kFromProject, sheet);
  w->setExportName(file_name_of({qs(session.project().structure.name),
                                 without_access_key(table.menuCaption), QStringLiteral("成员表")}));
  QTableWidget* t = w->table();
  t->setSortingEnabled(false);
  while (t->rowCount() < static_cast<int>(rows.rows.size())) w->addRow();
  std::vector<int> columns = {0};
  for (const auto& f : table.fields) columns.push_back(w->columns().of(f.control));
  columns.push_back(w->columns().of(sheet::Control::Combo1));
  for (const auto& g : table.groups) columns.push_back(w->columns().of(g.options[0].control));
  for (std::size_t r = 0; r < rows.rows.size(); ++r) {
    for (std::size_t k = 0; k < columns.size(); ++k) {
      if (columns[k] < 0) continue;
      if (QTableWidgetItem* item = t->item(static_cast<int>(r), columns[k])) {
        item->setText(qs(rows.rows[r][k]));
      }
    }
  }
  t->setSortingEnabled(true);
  t->setCurrentCell(0, 0);

  // Above the table: where its rows come from, and the command that saves them back.
  auto* bar = new QWidget(w);
  auto* barLayout = new QHBoxLayout(bar);
  barLayout->setContentsMargins(0, 0, 0, 0);
  auto* label = new QLabel(QStringLiteral("工程“%1”中用此计算表的 %2 个构件")
                               .arg(session.displayName())
                               .arg(members.size()),
                           bar);
  label->setObjectName(QStringLiteral("projectMembers"));
  auto* save = new QPushButton(QStringLiteral("保存到工程(&J)"), bar);
  save->setObjectName(QStringLiteral("saveToProject"));
  barLayout->addWidget(label, 1);
  barLayout->addWidget(save);
  if (auto* box = qobject_cast<QBoxLayout*>(w->layout())) box->insertWidget(0, bar);
  QObject::connect(save, &QPushButton::clicked, w,
                   [&session, w] { save_member_table(session, *w); });
  // The assessment settings are the project's: the panel starts from them, its edits change the
  // project (unsaved until saved), and it follows any change made elsewhere (another member
  // table, a project opened or made new).
  AssessmentPanel* panel = w->assessment();
  panel->setSettings(session.project().assessment);
  QObject::connect(panel, &AssessmentPanel::settingsChanged, &session,
                   [&session](const analysis::assess::Settings& s) {
                     session.update([&s](project::Project& p) { p.assessment = s; });
                   });
  QObject::connect(&session, &ProjectSession::projectChanged, panel, [&session, panel] {
    if (panel->settings() != session.project().assessment) {
      panel->setSettings(session.project().assessment);
    }
  });
  // A member that counts its own limit states is assessed on them, as in the structure report
  // (while the rows belong to the project: not after another one is opened).
  auto belongs = std::make_shared<bool>(true);
  QObject::connect(&session, &ProjectSession::projectReplaced, w, [belongs] { *belongs = false; });
  w->setMemberLimitStates([&session, sheet, belongs](const QString& name) {
    const sheet::Module* module = &*modules::all_modules().at(static_cast<std::size_t>(sheet - 1));
    if (!*belongs) return std::optional<std::vector<analysis::assess::LimitState>>();
    for (const auto& m : session.project().members) {
      if (project::module_of(m) == module && qs(m.name) == name) return m.limitStates;
    }
    return std::optional<std::vector<analysis::assess::LimitState>>();
  });
  // The rows live in the project: closing asks only about rows not saved to it.
  w->setRowsLiveIn([&session, w, sheet, belongs]() -> QStringList {
    if (!*belongs) return {};
    const sheet::Module& module = *modules::all_modules().at(static_cast<std::size_t>(sheet - 1));
    const auto rows = project::members_from_table(module.table(), table_rows(*w, module.table()));
    std::vector<const project::Member*> held;
    for (const auto& m : session.project().members) {
      if (project::module_of(m) == &module) held.push_back(&m);
    }
    bool same = rows.ok() && rows->size() == held.size();
    for (std::size_t i = 0; same && i < held.size(); ++i) {
      same = inputs_as_sheet_sees(module.table(), (*rows)[i]) ==
             inputs_as_sheet_sees(module.table(), *held[i]);
    }
    if (same) return {};
    return {QStringLiteral("成员表中有尚未保存到工程的修改")};
  });
  // The rows belong to this project.
  QObject::connect(&session, &ProjectSession::projectReplaced, save, [save, label] {
    save->setEnabled(false);
    label->setText(QStringLiteral("（原工程已关闭，此表不再与工程相连；评估设置为当前工程的）"));
  });
  main.addChildWindow(w, QStringLiteral("成员表 — ") + qs(table.caption));
  return w;
}

bool save_member_table(ProjectSession& session, BatchWindow& w) {
  const int sheet = w.property(kFromProject).toInt();
  if (sheet < 1 || w.isRunning()) return false;
  Dialogs& dialogs = session.mainWindow().dialogs();
  const sheet::Module& module = *modules::all_modules().at(static_cast<std::size_t>(sheet - 1));
  const auto rows = project::members_from_table(module.table(), table_rows(w, module.table()));
  if (!rows) {
    dialogs.showWarning(&w, kTitle, qs(rows.refusal().text));
    return false;
  }
  // Nothing is stored while a row holds texts its sheet refuses: each named, by member and box.
  QStringList refused;
  for (const project::Member& r : *rows) {
    for (const QString& line : ProjectSession::refusal(r)) {
      refused << QStringLiteral("构件“%1”：%2").arg(qs(r.name), line);
    }
  }
  if (!refused.isEmpty()) {
    dialogs.showWarning(&w, kTitle,
                        QStringLiteral("以下输入计算表不接受，成员表未保存到工程：\n· %1")
                            .arg(refused.join(QStringLiteral("\n· "))));
    return false;
  }
  // The members of the sheet that the table no longer holds.
  std::vector<ProjectSession::MemberId> gone;
  QStringList goneNames;
  const auto& members = session.project().members;
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (project::module_of(members[i]) != &module) continue;
    const bool kept = std::any_of(rows->begin(), rows->end(), [&](const project::Member& r) {
      return r.name == members[i].name;
    });
    if (!kept) {
      gone.push_back(*session.idAt(i));
      goneNames << qs(members[i].name);
    }
  }
  bool removeGone = false;
  if (!gone.empty()) {
    const auto answer = dialogs.ask(
        &w, kTitle,
        QStringLiteral("工程中以下 %1 个构件已不在表中：%2\n从工程中删除它们（连同检测数据）吗？")
            .arg(gone.size())
            .arg(goneNames.join(QStringLiteral("、"))),
        {QStringLiteral("删除"), QStringLiteral("保留"), QStringLiteral("取消")}, 1);
    if (answer != 0 && answer != 1) return false;
    removeGone = answer == 0;
  }
  for (const project::Member& r : *rows) {
    std::optional<ProjectSession::MemberId> same;
    for (std::size_t i = 0; i < session.project().members.size(); ++i) {
      const auto& m = session.project().members[i];
      if (project::module_of(m) == &module && m.name == r.name) same = session.idAt(i);
    }
    if (same) {
      session.updateMember(*same, [&](project::Member& m) {
        m.boxes = r.boxes;
        m.steel = r.steel;
        m.options = r.options;
      });
    } else {
      session.addMember(r);
    }
  }
  if (removeGone) {
    for (auto id : gone) session.removeMember(id);
  }
  return true;
}

}  // namespace pellucor::shell
