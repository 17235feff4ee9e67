#include "shell/project/project_session.hpp"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <algorithm>

#include "analysis/project/save_file.hpp"
#include "modules/registry.hpp"
#include "sheet/control_names.hpp"
#include "sheet/controller.hpp"
#include "sheet/user_input.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/dialogs.hpp"
#include "shell/kit/text.hpp"
#include "shell/kit/window_kit.hpp"
#include "shell/sheet_view/qt_sheet_view.hpp"

namespace pellucor::shell {

namespace project = analysis::project;

namespace {

const QString kTitle = QString::fromUtf8(kProjectTitle);
const QString kFilter = QStringLiteral("Pellucor 工程 (*.pellucor);;所有文件 (*)");
const QString kRecentKey = QStringLiteral("projects/recent");

// What the reader could not take, as the message lists it: at most `shown` entries, the
// rest counted.
QString skipped_text(const std::vector<project::Skipped>& skipped, std::size_t shown = 20) {
  QStringList lines;
  for (std::size_t i = 0; i < skipped.size() && i < shown; ++i) {
    // The member and box by their names where the reader knows them.
    const auto& s = skipped[i];
    lines << QStringLiteral("· %1：%2").arg(qs(s.shown.empty() ? s.where : s.shown), qs(s.text));
  }
  if (skipped.size() > shown) {
    lines << QStringLiteral("…… 另有 %1 项未列出。").arg(skipped.size() - shown);
  }
  return lines.join(QLatin1Char('\n'));
}

// The program types into a sheet, the user leaves nothing: a box the user never touched (still
// at its opening text) is not checked on the way to the first box typed.
void focus_first_typed(QtSheetView& view, const std::vector<analysis::batch::Entry>& entries) {
  const sheet::Control at = view.controller().focused();
  if (at == sheet::Control::None || view.table().field(at) == nullptr ||
      view.text(at) != sheet::kDefaultBoxText) {
    return;
  }
  for (const sheet::Control c : view.table().tabOrder) {
    const bool typed = std::any_of(entries.begin(), entries.end(),
                                   [c](const analysis::batch::Entry& e) { return e.control == c; });
    if (!typed || !view.isEnabled(c)) continue;
    if (c != at) {
      view.setFocus(c);
      view.controller().focusGained(c);
    }
    return;
  }
}

}  // namespace

ProjectSession::ProjectSession(MainWindow& main, AnalysisActions& analysis)
    : QObject(&main),
      main_(main),
      analysis_(analysis),
      sheetMembers_(static_cast<std::size_t>(main.sheetCount())) {
  // The end of the program: unsaved changes are not lost without asking (once, with what the
  // windows would lose).
  main.addUnsavedSource(
      {[this] {
         return modified_
                    ? QStringList{QStringLiteral("工程“%1”有尚未保存的修改").arg(displayName())}
                    : QStringList();
       },
       QStringLiteral("保存工程并退出"), [this] { return save(); }});
}

ProjectSession::~ProjectSession() = default;

QString ProjectSession::displayName() const {
  return path_.isEmpty() ? QStringLiteral("未命名工程") : QFileInfo(path_).fileName();
}

void ProjectSession::update(const std::function<void(project::Project&)>& change) {
  const project::Project before = project_;
  change(project_);
  if (project_ == before) return;
  // A change that adds or removes members here keeps the ids in step (added at the end).
  while (ids_.size() < project_.members.size()) ids_.push_back(nextId_++);
  if (ids_.size() > project_.members.size()) ids_.resize(project_.members.size());
  setModified(true);
  emit projectChanged();
}

void ProjectSession::setModified(bool modified) {
  if (modified_ == modified) return;
  modified_ = modified;
  emit stateChanged();
}

void ProjectSession::replace(project::Project p, const QString& path, bool lossy,
                             std::vector<project::Skipped> skipped) {
  project_ = std::move(p);
  ids_.clear();
  for (std::size_t i = 0; i < project_.members.size(); ++i) ids_.push_back(nextId_++);
  std::fill(sheetMembers_.begin(), sheetMembers_.end(), std::nullopt);
  path_ = path;
  lossy_ = lossy;
  skipped_ = std::move(skipped);
  modified_ = false;
  emit projectReplaced();
  emit projectChanged();
  emit stateChanged();
}

bool ProjectSession::maySetAside() {
  if (!modified_) return true;
  const auto answer = main_.dialogs().ask(
      &main_, kTitle, QStringLiteral("工程“%1”有尚未保存的修改。是否保存？").arg(displayName()),
      {QStringLiteral("保存"), QStringLiteral("不保存"), QStringLiteral("取消")}, 0);
  if (answer == 0) return save();
  return answer == 1;
}

bool ProjectSession::newProject() {
  if (!maySetAside()) return false;
  replace({}, {}, false);
  return true;
}

bool ProjectSession::open() {
  if (!maySetAside()) return false;
  const auto path = main_.dialogs().chooseOpenFile(&main_, QStringLiteral("打开工程"), kFilter);
  return path && read(*path);
}

bool ProjectSession::openFile(const QString& path) {
  return maySetAside() && read(path);
}

bool ProjectSession::read(const QString& path) {
  const auto opened = project::open_project(path.toStdString());
  if (!opened) {
    main_.dialogs().showWarning(
        &main_, QStringLiteral("打开工程"),
        QStringLiteral("无法打开工程 %1：%2")
            .arg(QDir::toNativeSeparators(path), qs(opened.refusal().text)));
    return false;
  }
  const project::OpenReport& report = *opened;
  replace(report.project, QFileInfo(path).absoluteFilePath(), report.lossy(), report.skipped);
  remember(path_);
  // Names that do not tell members apart and limit states given twice are kept as written; the
  // assessment refuses them until they are mended.
  std::vector<project::Skipped> conflicts = report.repeatedNames;
  conflicts.insert(conflicts.end(), report.conflicts.begin(), report.conflicts.end());
  if (!report.skipped.empty() || !conflicts.empty()) {
    QStringList parts;
    if (!report.skipped.empty()) {
      parts << QStringLiteral("以下 %1 项未能按原样读入：\n\n%2")
                   .arg(report.skipped.size())
                   .arg(skipped_text(report.skipped));
    }
    if (!conflicts.empty()) {
      parts << QStringLiteral("以下 %1 项已按原样读入，但在改正之前无法评定：\n\n%2")
                   .arg(conflicts.size())
                   .arg(skipped_text(conflicts));
    }
    QString text = (report.skipped.empty() ? QStringLiteral("工程 %1 已打开。")
                                           : QStringLiteral("工程 %1 已打开，但"))
                       .arg(QDir::toNativeSeparators(path)) +
                   parts.join(QStringLiteral("\n\n"));
    if (report.lossy()) {
      text += QStringLiteral(
          "\n\n保存到同一文件时将先询问：未读入的内容不会写回（原文件保留为 .bak 备份）。");
    }
    main_.dialogs().showWarning(&main_, QStringLiteral("打开工程"), text);
  }
  return true;
}

bool ProjectSession::save() {
  if (path_.isEmpty()) return saveAs();
  return saveTo(path_);
}

bool ProjectSession::saveAs() {
  // Offered under its own name, or the structure's.
  const QString name = !path_.isEmpty() ? QFileInfo(path_).completeBaseName()
                                        : file_name_of({qs(project_.structure.name)});
  const auto path = main_.dialogs().chooseSaveFile(
      &main_, QStringLiteral("工程另存为"), kFilter, QStringLiteral("pellucor"), SaveMode::Replace,
      name.isEmpty() ? QString() : name + QStringLiteral(".pellucor"));
  if (!path) return false;
  return saveTo(*path);
}

bool ProjectSession::saveTo(const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  if (lossy_ && absolute == path_) {
    const auto answer = main_.dialogs().ask(
        &main_, kTitle,
        QStringLiteral("此工程文件打开时有部分内容未能读入（较新版本写入的内容、无法识别的"
                       "部分）。保存到同一文件将不再含有这些内容（原文件保留为 %1.bak 备份）。"
                       "\n\n是否仍保存到这个文件？")
            .arg(QFileInfo(path_).fileName()),
        {QStringLiteral("保存"), QStringLiteral("另存为…"), QStringLiteral("取消")}, 2);
    if (answer == 1) return saveAs();
    if (answer != 0) return false;
  }
  try {
    project::save_project(absolute.toStdString(), project_);
  } catch (const project::SaveError& e) {
    main_.dialogs().showWarning(&main_, QStringLiteral("保存工程"), qs(e.text));
    return false;
  }
  if (absolute != path_) {
    path_ = absolute;
    emit stateChanged();
  }
  lossy_ = false;
  skipped_.clear();
  remember(path_);
  setModified(false);
  return true;
}

QStringList ProjectSession::recentProjects() const {
  return program_settings()->value(kRecentKey).toStringList();
}

void ProjectSession::remember(const QString& path) {
  QStringList recent = recentProjects();
  recent.removeAll(path);
  recent.prepend(path);
  while (recent.size() > kRecentProjects) recent.removeLast();
  program_settings()->setValue(kRecentKey, recent);
  fillRecentMenu();
}

void ProjectSession::setRecentMenu(QMenu* menu) {
  recentMenu_ = menu;
  fillRecentMenu();
}

void ProjectSession::fillRecentMenu() {
  if (recentMenu_ == nullptr) return;
  recentMenu_->clear();
  const QStringList recent = recentProjects();
  int number = 0;
  for (const QString& path : recent) {
    ++number;
    QString shown = QDir::toNativeSeparators(path);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* a = recentMenu_->addAction(
        (number < 10 ? QStringLiteral("&%1 %2") : QStringLiteral("%1 %2")).arg(number).arg(shown));
    a->setData(path);
    connect(a, &QAction::triggered, this, [this, path] { openFile(path); });
    a->setObjectName(QStringLiteral("recentProject%1").arg(number));
  }
  recentMenu_->setEnabled(!recent.isEmpty());
}

std::optional<ProjectSession::MemberId> ProjectSession::idAt(std::size_t index) const {
  if (index >= ids_.size()) return std::nullopt;
  return ids_[index];
}

std::optional<std::size_t> ProjectSession::indexOf(MemberId id) const {
  const auto it = std::find(ids_.begin(), ids_.end(), id);
  if (it == ids_.end()) return std::nullopt;
  return static_cast<std::size_t>(it - ids_.begin());
}

const project::Member* ProjectSession::member(MemberId id) const {
  const auto i = indexOf(id);
  return i ? &project_.members[*i] : nullptr;
}

namespace {

// Whether a change touches what the member's sheet is given.
bool same_inputs(const project::Member& a, const project::Member& b) {
  return a.sheet == b.sheet && a.boxes == b.boxes && a.steel == b.steel && a.options == b.options;
}

}  // namespace

QStringList ProjectSession::refusal(const project::Member& m) {
  QStringList lines;
  for (const project::Skipped& s : project::check_member(m, m.name)) lines << qs(s.text);
  return lines;
}

void ProjectSession::tellRefused(const project::Member& m, const QStringList& lines,
                                 QWidget* parent) const {
  main_.dialogs().showWarning(
      parent != nullptr ? parent : &main_, kTitle,
      QStringLiteral("构件“%1”的计算表不接受以下输入，构件未存入工程：\n· %2")
          .arg(qs(m.name), lines.join(QStringLiteral("\n· "))));
}

bool ProjectSession::updateMember(MemberId id,
                                  const std::function<void(project::Member&)>& change) {
  const auto i = indexOf(id);
  if (!i) return false;
  project::Member& m = project_.members[*i];
  const project::Member before = m;
  change(m);
  if (m == before) return true;
  if (!same_inputs(m, before)) {
    if (const QStringList refused = refusal(m); !refused.isEmpty()) {
      const project::Member shown = m;
      m = before;
      tellRefused(shown, refused);
      return false;
    }
  }
  setModified(true);
  emit projectChanged();
  return true;
}

std::optional<ProjectSession::MemberId> ProjectSession::addMember(project::Member m) {
  if (const QStringList refused = refusal(m); !refused.isEmpty()) {
    tellRefused(m, refused);
    return std::nullopt;
  }
  project_.members.push_back(std::move(m));
  const MemberId id = nextId_++;
  ids_.push_back(id);
  setModified(true);
  emit projectChanged();
  return id;
}

void ProjectSession::removeMember(MemberId id) {
  const auto i = indexOf(id);
  if (!i) return;
  project_.members.erase(project_.members.begin() + static_cast<std::ptrdiff_t>(*i));
  ids_.erase(ids_.begin() + static_cast<std::ptrdiff_t>(*i));
  for (auto& s : sheetMembers_) {
    if (s == id) s.reset();
  }
  setModified(true);
  emit projectChanged();
}

QString ProjectSession::freshMemberName() const {
  for (std::size_t n = project_.members.size() + 1;; ++n) {
    const std::string name = "构件 " + std::to_string(n);
    if (std::none_of(project_.members.begin(), project_.members.end(),
                     [&](const project::Member& m) { return m.name == name; })) {
      return qs(name);
    }
  }
}

std::optional<ProjectSession::MemberId> ProjectSession::memberInSheet(int sheet) const {
  if (sheet < 1 || sheet > static_cast<int>(sheetMembers_.size())) return std::nullopt;
  const auto id = sheetMembers_[static_cast<std::size_t>(sheet - 1)];
  return id && indexOf(*id) ? id : std::nullopt;
}

QtSheetView* ProjectSession::openInSheet(MemberId id) {
  const project::Member* m = member(id);
  const sheet::Module* module = m != nullptr ? project::module_of(*m) : nullptr;
  if (module == nullptr) return nullptr;
  const int number = module->table().number;
  const QString name = qs(m->name);
  // A sheet whose boxes hold something else of the user's is not replaced without asking.
  if (const QtSheetView* open = main_.sheetView(number);
      open != nullptr && memberInSheet(number) != id && open->holdsInputs()) {
    const auto answer = main_.dialogs().ask(
        &main_, kTitle,
        QStringLiteral("计算表“%1”中已有输入。用构件“%2”的输入替换计算表中的全部输入吗？")
            .arg(qs(module->table().caption), name),
        {QStringLiteral("替换"), QStringLiteral("取消")}, 1);
    if (answer != 0) return nullptr;
  }
  QtSheetView* view = main_.showSheet(number);
  if (view == nullptr) return nullptr;
  const std::vector<analysis::batch::Entry> entries = project::member_entries(*m);
  sheet::SheetController& controller = view->controller();
  controller.open(*view);  // from the defaults, as a freshly opened sheet
  std::vector<sheet::Control> skipped;
  analysis::batch::Typist::Options options;
  options.skippedDisabled = [&skipped](sheet::Control c) { skipped.push_back(c); };
  focus_first_typed(*view, entries);
  analysis::batch::Typist typist(controller, *view, options);
  typist.type(entries);
  sheetMembers_[static_cast<std::size_t>(number - 1)] = id;
  tellSkipped(*view, skipped, QStringLiteral("构件“%1”").arg(name));
  return view;
}

QtSheetView* ProjectSession::typeIntoSheet(int sheet,
                                           const std::vector<analysis::batch::Entry>& entries,
                                           std::vector<sheet::Control>* skipped) {
  QtSheetView* view = main_.showSheet(sheet);
  if (view == nullptr) return nullptr;
  focus_first_typed(*view, entries);
  std::vector<sheet::Control> missed;
  analysis::batch::Typist::Options options;
  options.skippedDisabled = [&missed](sheet::Control c) { missed.push_back(c); };
  analysis::batch::Typist typist(view->controller(), *view, options);
  typist.type(entries);
  if (skipped != nullptr) {
    *skipped = std::move(missed);
  } else {
    tellSkipped(*view, missed, QStringLiteral("送入的值"));
  }
  return view;
}

void ProjectSession::tellSkipped(const QtSheetView& view,
                                 const std::vector<sheet::Control>& skipped, const QString& whose) {
  if (skipped.empty()) return;
  QStringList names;
  for (sheet::Control c : skipped) {
    const sheet::FieldRow* f = view.table().field(c);
    names << (f != nullptr ? qs(f->label) : qs(sheet::control_name(c)));
  }
  main_.dialogs().showWarning(
      &main_, kTitle,
      QStringLiteral("计算表“%1”中的“%2”被另一输入禁用，%3在这些框中的文本未能输入。")
          .arg(qs(view.table().caption), names.join(QStringLiteral("”、“")), whose));
}

std::optional<ProjectSession::MemberId> ProjectSession::saveSheetAsMember(int sheet) {
  QtSheetView* view = main_.sheetView(sheet);
  if (view == nullptr) return std::nullopt;
  const sheet::Module& module = view->controller().module();
  // A member is what its sheet computes: a sheet that stops is not stored.
  const project::Member typed = project::member_from_view(std::string(), module, *view);
  if (const QStringList refused = refusal(typed); !refused.isEmpty()) {
    main_.dialogs().showWarning(
        &main_, kTitle,
        QStringLiteral("计算表“%1”不接受以下输入，未存为构件：\n· %2")
            .arg(qs(module.table().caption), refused.join(QStringLiteral("\n· "))));
    return std::nullopt;
  }
  const analysis::batch::CaseResult run =
      analysis::batch::run_case(module, project::member_entries(typed));
  if (!run.done) {
    QString why = QStringLiteral("计算未完成");
    if (run.message) {
      const std::string_view label = sheet::input_label(module.table(), run.message->control);
      why = (run.message->control == sheet::Control::None ? QString()
                                                          : qs(label) + QStringLiteral("："));
      why += qs(run.message->text);
    }
    main_.dialogs().showWarning(&main_, kTitle,
                                QStringLiteral("计算表“%1”中的输入不能完成计算，未存为构件：%2")
                                    .arg(qs(module.table().caption), why));
    return std::nullopt;
  }
  if (const auto id = memberInSheet(sheet)) {
    const project::Member* m = member(*id);
    const auto answer = main_.dialogs().ask(
        &main_, kTitle,
        QStringLiteral("计算表中是构件“%1”的输入。把计算表的输入存为：").arg(qs(m->name)),
        {QStringLiteral("更新构件“%1”").arg(qs(m->name)), QStringLiteral("新构件"),
         QStringLiteral("取消")},
        0);
    if (answer == 0) {
      const project::Member now = project::member_from_view(m->name, module, *view);
      updateMember(*id, [&](project::Member& target) {
        target.boxes = now.boxes;
        target.steel = now.steel;
        target.options = now.options;
      });
      return id;
    }
    if (answer != 1) return std::nullopt;
  }
  // The member's name: asked, and one no other member has.
  QString name = freshMemberName();
  for (;;) {
    const auto given = main_.dialogs().askText(&main_, kTitle, QStringLiteral("构件名称："), name);
    if (!given) return std::nullopt;
    name = given->trimmed();
    const std::string wanted = name.toStdString();
    if (name.isEmpty()) {
      main_.dialogs().showWarning(&main_, kTitle, QStringLiteral("构件名称不能为空。"));
    } else if (std::any_of(project_.members.begin(), project_.members.end(),
                           [&](const project::Member& m) { return m.name == wanted; })) {
      main_.dialogs().showWarning(
          &main_, kTitle,
          QStringLiteral("工程中已有构件“%1”；评估与报告按名称区分构件，请另取一个名称。")
              .arg(name));
    } else {
      break;
    }
    name = freshMemberName();  // offered next
  }
  const auto id = addMember(project::member_from_view(name.toStdString(), module, *view));
  if (id) sheetMembers_[static_cast<std::size_t>(sheet - 1)] = *id;
  return id;
}

}  // namespace pellucor::shell
