// The assessment of the whole project as a window: every member of every sheet with its
// governing limit state, remaining life, margin and grade under the project's settings,
// computed when the window opens and again after every change of the project, sorted by any
// column and filtered by grade and by sheet; the summary by grade, the chart of the remaining
// lives and the settings (which are the project's) beside it. The members live in the project:
// closing the window loses nothing and asks nothing.
#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/timeline.hpp"
#include "shell/project/project_session.hpp"

class QLabel;
class QTimer;

namespace pellucor::shell {

class AssessmentPanel;
class BackgroundRun;

inline constexpr const char* kProjectAssessmentTitle = "工程评估";

class ProjectAssessmentWindow final : public QWidget {
  Q_OBJECT

 public:
  explicit ProjectAssessmentWindow(ProjectSession& session, QWidget* parent = nullptr);
  ~ProjectAssessmentWindow() override;

  AssessmentPanel* panel() const { return panel_; }
  QLabel* statusLabel() const { return status_; }
  bool isComputing() const { return worker_ != nullptr; }

  // The window of the project (one for the program), brought to the front when it is open.
  static ProjectAssessmentWindow* show(ProjectSession& session);

 signals:
  // The members were computed and assessed again.
  void updated();

 private:
  // What a member's calculation came to.
  struct Run {
    std::optional<analysis::Timeline> times;
    QString failure;  // Chinese: why there is none
  };
  // Computes the members whose inputs changed (in a worker), then assesses all.
  void refresh();
  void showAssessment();

  ProjectSession& session_;
  AssessmentPanel* panel_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* again_ = nullptr;  // a change of the project computes again once it settles
  // By the member's inputs (sheet, texts, choices): a change of a name or of inspection data
  // computes nothing again.
  std::map<std::string, Run> runs_;
  std::unique_ptr<BackgroundRun> worker_;
  bool pending_ = false;  // the project changed while the worker ran
};

}  // namespace pellucor::shell
