// The design window of a sheet (分析 → 设计): for the member the sheet's boxes hold, the value of
// one input that just makes a limit state come at the target life — by the sheet's own
// calculation (deterministic), or where the reliability index at the target life reaches its
// target (probabilistic, the same samples for every value). The search runs in a worker
// thread; the answer, or why there is none (no value in the box's range meets the target and
// which end comes closest, the result turns), is shown in plain Chinese beside the chart of
// the life (or β) against the value with the target and the answer marked. The answer is given
// rounded to the engineer's step (1 mm for a cover; settable) on the side that meets the
// target, checked by the sheet's own calculation, with the exact value beside it, and the
// window says when it lies at an end of the box's range. 填入计算表 types the rounded answer
// (the exact one where rounding leaves the range) into the sheet's box.
#pragma once

#include <QString>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/assess/design.hpp"
#include "analysis/batch/case_runner.hpp"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace pellucor::shell {

class CurveChartView;
class Dialogs;
class MainWindow;

inline constexpr const char* kDesignTitle = "设计";

class DesignWindow final : public QWidget {
  Q_OBJECT

 public:
  DesignWindow(MainWindow& main, int sheet, QWidget* parent = nullptr);
  ~DesignWindow() override;

  int sheet() const { return sheet_; }
  QComboBox* boxChoice() const { return box_; }
  QComboBox* limitChoice() const { return limit_; }
  QLineEdit* targetLifeEdit() const { return targetLife_; }
  // The step the answer is rounded to, in the box's unit (set for each box; editable).
  QLineEdit* stepEdit() const { return step_; }
  // The answer rounded to the step on the side that meets the target (none before an answer,
  // or where rounding leaves the box's range).
  const std::optional<double>& rounded() const { return rounded_; }
  QRadioButton* deterministicButton() const { return deterministic_; }
  QRadioButton* probabilisticButton() const { return probabilistic_; }
  QLineEdit* betaEdit() const { return beta_; }
  QLineEdit* samplesEdit() const { return samples_; }
  QLineEdit* seedEdit() const { return seed_; }
  QPushButton* solveButton() const { return solve_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* fillButton() const { return fill_; }
  QProgressBar* progressBar() const { return progress_; }
  QLabel* memberLabel() const { return member_; }
  QLabel* summaryLabel() const { return summary_; }
  // The chart of the last answer; nullptr before the first.
  CurveChartView* chartView() const { return chart_; }

  bool isRunning() const;
  // The last search that gave a result; none before, after a refusal or a cancel.
  const std::optional<analysis::assess::DesignResult>& result() const { return result_; }
  // The member the last search was made for.
  const std::vector<analysis::batch::Entry>& solvedMember() const { return solvedMember_; }

  // Selects the box `name` (control name, alias or label) and the limit state in the choices.
  void choose(const QString& name, analysis::assess::LimitState state);

 signals:
  // A search ended: with a result, a refusal or a cancel.
  void searchEnded();

 public slots:
  void solve();
  void cancel();
  // Types the answer into the sheet's box (asks first when the sheet's inputs have changed
  // since the search; reopens the sheet with the member's texts when it was closed).
  void fillSheet();

 private:
  struct Search;

  void searchFinished(const QString& error);
  void showResult();
  // The answer rounded to the step, checked, as lines of the summary.
  QStringList roundedAnswer();
  void boxChanged();
  void setRunning(bool running);
  void updateMethod();
  std::optional<std::vector<analysis::batch::Entry>> currentMember() const;

  MainWindow& main_;
  const int sheet_;
  const sheet::Module& module_;
  Dialogs& dialogs_;

  QComboBox* box_ = nullptr;
  QComboBox* limit_ = nullptr;
  QLineEdit* targetLife_ = nullptr;
  QLineEdit* step_ = nullptr;
  QLabel* stepUnit_ = nullptr;
  std::optional<double> rounded_;
  bool probabilisticResult_ = false;  // the result is of a reliability index
  QRadioButton* deterministic_ = nullptr;
  QRadioButton* probabilistic_ = nullptr;
  QLineEdit* beta_ = nullptr;
  QLineEdit* samples_ = nullptr;
  QLineEdit* seed_ = nullptr;
  QPushButton* solve_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* fill_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* member_ = nullptr;
  QLabel* summary_ = nullptr;
  QVBoxLayout* chartArea_ = nullptr;
  CurveChartView* chart_ = nullptr;

  std::optional<analysis::assess::DesignResult> result_;
  std::vector<analysis::batch::Entry> solvedMember_;
  std::unique_ptr<Search> search_;  // last: goes first
};

// Adds 设计(&D)… to the main window's analysis menu: it opens the design window of the active
// sheet (or of the active design window's sheet).
QAction* install_design_menu(MainWindow& main);

}  // namespace pellucor::shell
