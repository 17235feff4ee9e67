// The chloride profiles of a member's cores: depth and chloride content of each ground layer
// typed or pasted into a table, the unit and the conventions chosen, the fit with its
// estimates, standard errors and 95 % intervals, R², the residual of every point, and the
// charts of the points with the fitted curve and of the residuals. One command types D and C_s
// into the constant-coefficient chloride sheet, another opens its reliability analysis with
// their standard errors as the coefficients of variation. Everything typed, and the last fit,
// is kept in the project with the member.
#pragma once

#include <QWidget>
#include <optional>

#include "analysis/inspect/chloride_profile.hpp"
#include "shell/project/project_session.hpp"

class QChartView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTabWidget;

namespace pellucor::shell {

class ReadingsTable;

inline constexpr const char* kProfileFitTitle = "氯离子剖面拟合";

class FitProfileWindow final : public QWidget {
  Q_OBJECT

 public:
  FitProfileWindow(ProjectSession& session, ProjectSession::MemberId member,
                   QWidget* parent = nullptr);

  ProjectSession::MemberId member() const { return member_; }

  QComboBox* coreBox() const { return cores_; }
  QLineEdit* coreNameEdit() const { return coreName_; }
  QLineEdit* ageEdit() const { return age_; }
  QComboBox* unitBox() const { return unit_; }
  QLineEdit* densityEdit() const { return density_; }
  QLineEdit* binderEdit() const { return binder_; }
  QComboBox* backgroundBox() const { return background_; }
  QLineEdit* backgroundEdit() const { return backgroundValue_; }
  QCheckBox* leaveOutBox() const { return leaveOut_; }
  QSpinBox* minimumPointsBox() const { return minPoints_; }
  ReadingsTable* readings() const { return table_; }
  QTableWidget* estimatesTable() const { return estimates_; }
  QLabel* summaryLabel() const { return summary_; }
  QLabel* statusLabel() const { return status_; }
  QChartView* profileChart() const { return profileChart_; }
  QChartView* residualChart() const { return residualChart_; }
  // The tabs of the two charts and of the notes.
  QTabWidget* chartTabs() const { return charts_; }
  QPushButton* fitButton() const { return fitButton_; }
  QPushButton* toSheetButton() const { return toSheet_; }
  QPushButton* toReliabilityButton() const { return toReliability_; }
  QPushButton* exportButton() const { return export_; }

  // The fit shown; none before a fit and after the readings or options changed.
  const std::optional<analysis::inspect::ProfileFit>& fit() const { return fit_; }

  // Fits the profile of the core shown; false after a message saying why there is no fit.
  bool fitProfile();
  // Types D and C_s (and the age) into the constant-coefficient sheet.
  bool sendToSheet();
  // Opens the sheet's reliability analysis with their scatter (and keeps it with the member).
  bool sendToReliability();
  // Writes the fit as CSV or JSON (by the name's ending); asks for the file.
  bool exportFit();

  // The window of `member`, opened when it is not.
  static FitProfileWindow* show(ProjectSession& session, ProjectSession::MemberId member);

 private:
  void buildCores();
  void showCore(int index);
  // The input as the window holds it (a field that is not a number: NaN).
  analysis::inspect::ProfileInput input() const;
  // Keeps what is typed with the member; the fit shown no longer holds.
  void edited();
  void showFit();
  // The readings as points, without a fit (a profile the fit refused).
  void showReadings();
  void clearFit(const QString& status);
  void updateEnabled();
  void retitle();

  ProjectSession& session_;
  const ProjectSession::MemberId member_;
  int core_ = -1;         // the profile shown: its index among the member's, -1 not yet kept
  bool filling_ = false;  // the window is writing its fields itself
  std::optional<analysis::inspect::ProfileFit> fit_;
  analysis::inspect::ProfileInput fitted_;  // what fit_ was made of

  QComboBox* cores_ = nullptr;
  QLineEdit* coreName_ = nullptr;
  QPushButton* addCore_ = nullptr;
  QPushButton* removeCore_ = nullptr;
  QLineEdit* age_ = nullptr;
  QComboBox* unit_ = nullptr;
  QLineEdit* density_ = nullptr;
  QLineEdit* binder_ = nullptr;
  QComboBox* background_ = nullptr;
  QLineEdit* backgroundValue_ = nullptr;
  QCheckBox* leaveOut_ = nullptr;
  QSpinBox* minPoints_ = nullptr;
  ReadingsTable* table_ = nullptr;
  QTableWidget* estimates_ = nullptr;
  QLabel* summary_ = nullptr;
  QLabel* notes_ = nullptr;
  QLabel* status_ = nullptr;
  QChartView* profileChart_ = nullptr;
  QChartView* residualChart_ = nullptr;
  QTabWidget* charts_ = nullptr;
  QPushButton* fitButton_ = nullptr;
  QPushButton* toSheet_ = nullptr;
  QPushButton* toReliability_ = nullptr;
  QPushButton* export_ = nullptr;
};

}  // namespace pellucor::shell
