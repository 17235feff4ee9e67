#include "shell/project/project_assessment_window.hpp"

#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <utility>

#include "analysis/project/project.hpp"
#include "analysis/structure/structure.hpp"
#include "shell/frame/main_window.hpp"
#include "shell/kit/background_run.hpp"
#include "shell/kit/text.hpp"
#include "shell/kit/window_kit.hpp"
#include "shell/tables/assessment_panel.hpp"

namespace pellucor::shell {

namespace project = analysis::project;
namespace assess = analysis::assess;

namespace {

// What a member's calculation depends on: its sheet and what is typed into it.
std::string inputs_key(const project::Member& m) {
  std::string key = m.sheet + '\n' + m.steel + '\n';
  for (const auto& [c, text] : m.boxes) {
    key += std::to_string(static_cast<int>(c)) + '=' + text + '\n';
  }
  for (const auto c : m.options) key += std::to_string(static_cast<int>(c)) + ';';
  return key;
}

}  // namespace

ProjectAssessmentWindow::ProjectAssessmentWindow(ProjectSession& session, QWidget* parent)
    : QWidget(parent), session_(session) {
  setObjectName(QStringLiteral("projectAssessmentWindow"));
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  status_->setWordWrap(true);
  panel_ = new AssessmentPanel(this);
  panel_->showSheets();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(status_);
  layout->addWidget(panel_, 1);

  // The settings are the project's, both ways.
  panel_->setSettings(session_.project().assessment);
  connect(panel_, &AssessmentPanel::settingsChanged, &session_, [this](const assess::Settings& s) {
    session_.update([&s](project::Project& p) { p.assessment = s; });
  });
  again_ = new QTimer(this);
  again_->setSingleShot(true);
  again_->setInterval(150);
  connect(again_, &QTimer::timeout, this, &ProjectAssessmentWindow::refresh);
  connect(&session_, &ProjectSession::projectChanged, this, [this] {
    if (panel_->settings() != session_.project().assessment) {
      panel_->setSettings(session_.project().assessment);
    }
    again_->start();
  });
  refresh();
  resize(900, 560);
}

ProjectAssessmentWindow::~ProjectAssessmentWindow() = default;

void ProjectAssessmentWindow::refresh() {
  if (worker_) {
    pending_ = true;
    return;
  }
  // The members whose inputs have no calculation yet, computed in a worker.
  auto todo = std::make_shared<std::vector<std::pair<std::string, project::Member>>>();
  for (const project::Member& m : session_.project().members) {
    const std::string key = inputs_key(m);
    if (runs_.count(key) == 0 &&
        std::none_of(todo->begin(), todo->end(), [&](const auto& t) { return t.first == key; })) {
      todo->emplace_back(key, m);
    }
  }
  if (todo->empty()) {
    showAssessment();
    return;
  }
  status_->setText(QStringLiteral("正在计算 %1 个构件……").arg(todo->size()));
  auto done = std::make_shared<std::vector<std::pair<std::string, Run>>>();
  worker_ = std::make_unique<BackgroundRun>(
      this,
      [todo, done] {
        for (const auto& [key, m] : *todo) {
          const assess::MemberResult r = assess::assess_project_member(m, {}, std::nullopt);
          Run run;
          if (r.run) run.times = analysis::timeline(r.run->run);
          if (!run.times) {
            run.failure = qs(r.failure.empty() ? std::string("计算未给出时间进程。") : r.failure);
          }
          done->emplace_back(key, std::move(run));
        }
      },
      [this, done](const QString& error) {
        worker_.reset();
        for (auto& [key, run] : *done) runs_[key] = std::move(run);
        if (!error.isEmpty()) status_->setText(QStringLiteral("计算失败：%1").arg(error));
        if (std::exchange(pending_, false)) {
          refresh();
        } else {
          showAssessment();
        }
      });
}

void ProjectAssessmentWindow::showAssessment() {
  std::vector<AssessmentPanel::Member> members;
  for (const project::Member& m : session_.project().members) {
    AssessmentPanel::Member a;
    a.name = qs(m.name);
    a.module = project::module_of(m);
    a.limitStates = m.limitStates;
    if (const auto it = runs_.find(inputs_key(m)); it != runs_.end()) {
      a.times = it->second.times;
      a.failure = it->second.failure;
    }
    members.push_back(std::move(a));
  }
  status_->setText(
      QStringLiteral("工程“%1”的 %2 个构件，按工程的评估设置评定；工程修改后自动重新计算。")
          .arg(session_.displayName())
          .arg(members.size()));
  panel_->setMembers(std::move(members));
  emit updated();
}

ProjectAssessmentWindow* ProjectAssessmentWindow::show(ProjectSession& session) {
  MainWindow& main = session.mainWindow();
  for (QMdiSubWindow* sub : main.mdiArea()->subWindowList()) {
    if (auto* w = qobject_cast<ProjectAssessmentWindow*>(sub->widget())) {
      activate_child(w);
      return w;
    }
  }
  auto* w = new ProjectAssessmentWindow(session);
  main.addChildWindow(w, QString::fromUtf8(kProjectAssessmentTitle));
  return w;
}

}  // namespace pellucor::shell
