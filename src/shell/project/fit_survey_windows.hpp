// The readings of a member's survey at its inspection: carbonation depths measured with
// phenolphthalein at the inspection age (the coefficient k = x/√t with its mean, scatter and
// interval), and cover-meter readings (mean, scatter, the 5 % characteristic value under a
// normal and a lognormal law, the share below the design cover, the goodness of fit of both
// laws). Each goes to its sheet's box with one command and to the reliability analysis as the
// box's scatter with another; the readings are kept in the project with the member.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <span>

#include "analysis/inspect/readings.hpp"
#include "analysis/inspect/surveys.hpp"
#include "shell/project/project_session.hpp"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace pellucor::shell {

class ReadingsTable;

inline constexpr const char* kCarbonationSurveyTitle = "碳化深度检测";
inline constexpr const char* kCoverSurveyTitle = "保护层厚度检测";

// What the two windows share: the readings, a field above them, the results as a table of
// quantities, the notes and the commands.
class SurveyWindow : public QWidget {
  Q_OBJECT

 public:
  ProjectSession::MemberId member() const { return member_; }
  QLineEdit* fieldEdit() const { return field_; }
  ReadingsTable* readings() const { return table_; }
  QTableWidget* resultsTable() const { return results_; }
  QLabel* statusLabel() const { return status_; }
  QPushButton* calculateButton() const { return calculate_; }
  QPushButton* toSheetButton() const { return toSheet_; }
  QPushButton* toReliabilityButton() const { return toReliability_; }
  QPushButton* exportButton() const { return export_; }

  // Computes from the readings; false after a message saying why there is no result.
  virtual bool calculate() = 0;
  // Types the result into the sheet's box.
  bool sendToSheet();
  // Opens the sheet's reliability analysis with the box's scatter (kept with the member).
  bool sendToReliability();
  bool exportResult();

 protected:
  SurveyWindow(ProjectSession& session, ProjectSession::MemberId member, const QString& title,
               std::span<const analysis::inspect::ReadingColumn> columns, QStringList headers,
               const QString& fieldLabel);

  // What the computed result gives the sheet (none before a result), and which sheet.
  virtual std::optional<analysis::inspect::SheetTransfer> transfer() const = 0;
  virtual int targetSheet() const = 0;
  virtual std::string exportCsv() const = 0;
  virtual std::string exportJson() const = 0;
  // Whether a result is shown that the readings no longer give; drops it.
  virtual bool stale() const = 0;
  virtual void drop() = 0;
  // Computes without a message box (a window opened on readings kept in the project).
  void calculateQuietly();
  // Keeps the readings with the member.
  virtual void store() = 0;
  // The readings as the member holds them.
  virtual void load() = 0;

  void addResult(const QString& name, const QString& value, const QString& unit = {});
  void clearResults();
  void setNotes(const std::vector<analysis::text::Bilingual>& notes);
  void refuse(const QString& text);
  void updateEnabled(bool computed);
  void edited();
  void retitle();
  // The value of the field: empty is `empty`, a text that is not a number NaN.
  double fieldValue(double empty) const;

  ProjectSession& session_;
  const ProjectSession::MemberId member_;
  const QString title_;
  bool filling_ = false;
  bool quiet_ = false;
  ReadingsTable* table_ = nullptr;
  QLineEdit* field_ = nullptr;
  QTableWidget* results_ = nullptr;
  QLabel* notes_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* calculate_ = nullptr;
  QPushButton* toSheet_ = nullptr;
  QPushButton* toReliability_ = nullptr;
  QPushButton* export_ = nullptr;

  template <class W>
  friend W* show_survey_window(ProjectSession& session, ProjectSession::MemberId member);
};

class CarbonationWindow final : public SurveyWindow {
  Q_OBJECT

 public:
  CarbonationWindow(ProjectSession& session, ProjectSession::MemberId member,
                    QWidget* parent = nullptr);
  bool calculate() override;
  const std::optional<analysis::inspect::CarbonationSurvey>& survey() const { return survey_; }

  static CarbonationWindow* show(ProjectSession& session, ProjectSession::MemberId member);

 protected:
  std::optional<analysis::inspect::SheetTransfer> transfer() const override;
  int targetSheet() const override;
  std::string exportCsv() const override;
  std::string exportJson() const override;
  bool stale() const override { return survey_ && input() != surveyed_; }
  void drop() override { survey_.reset(); }
  void store() override;
  void load() override;

 private:
  analysis::inspect::CarbonationInput input() const;
  std::optional<analysis::inspect::CarbonationSurvey> survey_;
  analysis::inspect::CarbonationInput surveyed_;
};

class CoverWindow final : public SurveyWindow {
  Q_OBJECT

 public:
  CoverWindow(ProjectSession& session, ProjectSession::MemberId member, QWidget* parent = nullptr);
  bool calculate() override;
  const std::optional<analysis::inspect::CoverSurvey>& survey() const { return survey_; }

  static CoverWindow* show(ProjectSession& session, ProjectSession::MemberId member);

 protected:
  std::optional<analysis::inspect::SheetTransfer> transfer() const override;
  // The member's own sheet; the carbonation sheet for a member of none this program knows.
  int targetSheet() const override;
  std::string exportCsv() const override;
  std::string exportJson() const override;
  bool stale() const override { return survey_ && input() != surveyed_; }
  void drop() override { survey_.reset(); }
  void store() override;
  void load() override;

 private:
  analysis::inspect::CoverInput input() const;
  std::optional<analysis::inspect::CoverSurvey> survey_;
  analysis::inspect::CoverInput surveyed_;
};

}  // namespace pellucor::shell
