// The assessment of a table of members, beside the table: the settings (age at assessment,
// target life, γ, grade thresholds, limit states that count) with their defaults, editable;
// every member's governing limit state, remaining life, margin and grade, sorted by any of them
// and filtered by grade; the summary by grade with the worst members; the chart of the
// remaining life by member. The member table feeds it the time course of each computed member
// and shows the same columns in its own rows.
#pragma once

#include <QString>
#include <QWidget>
#include <optional>
#include <vector>

#include "analysis/structure/structure.hpp"
#include "analysis/timeline.hpp"

class QChartView;
class QComboBox;
class QLabel;
class QTableWidget;

namespace pellucor::shell {

class AssessmentPanel final : public QWidget {
  Q_OBJECT

 public:
  explicit AssessmentPanel(QWidget* parent = nullptr);

  // One member as the table gives it.
  struct Member {
    QString name;
    const sheet::Module* module = nullptr;
    std::optional<analysis::Timeline> times;                               // none: not computed
    QString failure;                                                       // why not, in Chinese
    std::optional<std::vector<analysis::assess::LimitState>> limitStates;  // none: the settings'
  };

  // Assesses the members under the current settings.
  void setMembers(std::vector<Member> members);
  const analysis::assess::StructureAssessment& assessment() const { return assessment_; }

  const analysis::assess::Settings& settings() const { return settings_; }
  // Shows and uses `settings` (a project's); members are assessed again.
  void setSettings(const analysis::assess::Settings& settings);

  // Rows of the settings table.
  enum SettingRow { kAge = 0, kTarget, kGamma, kThresholdA, kThresholdB, kFirstLimitState };
  QTableWidget* settingsTable() const { return settingsTable_; }
  QTableWidget* gradeTable() const { return grades_; }
  QComboBox* gradeFilter() const { return filter_; }
  QLabel* summaryLabel() const { return summary_; }
  QLabel* settingsMessage() const { return message_; }
  QChartView* chartView() const { return chart_; }

  // Whether member i shows under the grade filter ("全部", a, b, c, 未评定) and the sheet filter.
  bool passesFilter(std::size_t member) const;

  // Members of several sheets (a whole project): the grade table gets a column 计算表 after the
  // member's name, and a filter by sheet beside the grade filter (sheetFilter()).
  void showSheets();
  QComboBox* sheetFilter() const { return sheetFilter_; }

  // The headers and cells of the four columns a member table adds: governing limit state,
  // remaining life, margin, grade (empty cells before a member is computed).
  static QStringList columnHeaders();
  QStringList columnCells(std::size_t member) const;

 signals:
  // The settings were edited into new valid ones (to be kept in the project).
  void settingsChanged(const analysis::assess::Settings& settings);
  // The members were assessed again, or the filter changed.
  void assessed();

 private:
  void showSettings();
  void settingEdited();
  void assess();
  void showGrades();
  void applyFilter();

  analysis::assess::Settings settings_;
  std::vector<Member> members_;
  analysis::assess::StructureAssessment assessment_;
  bool showing_ = false;     // the settings table is being filled, not edited
  bool sortedOnce_ = false;  // the grade table was given its first order

  QTableWidget* settingsTable_ = nullptr;
  QLabel* message_ = nullptr;
  QLabel* summary_ = nullptr;
  QComboBox* filter_ = nullptr;
  QComboBox* sheetFilter_ = nullptr;  // with showSheets()
  QTableWidget* grades_ = nullptr;
  QChartView* chart_ = nullptr;
};

}  // namespace pellucor::shell
