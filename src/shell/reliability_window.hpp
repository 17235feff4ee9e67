// The reliability analysis of a sheet as a child window: the sheet's numeric inputs with their
// scatter, the sample count, seed and target index, a run in a worker thread with progress
// and cancel, the curves of probability and reliability index by age, the percentiles, and
// the curves exported as CSV, and the run's section of the printed report.
#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

#include "analysis/mc/report.hpp"
#include "sheet/sheet_table.hpp"
#include "shell/pdf_report.hpp"

class QChart;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace pellucor::shell {

class Dialogs;

inline constexpr const char* kReliabilityTitle = "可靠度分析";

class ReliabilityWindow final : public QWidget {
  Q_OBJECT

 public:
  // Means from `means` (the sheet's values), scatter from the defaults.
  ReliabilityWindow(const sheet::Module& module, const sheet::SheetInputs& means, Dialogs& dialogs,
                    QWidget* parent = nullptr);
  ~ReliabilityWindow() override;

  // Columns of the input table.
  enum Column { kLabel = 0, kName, kMean, kCov, kDistribution, kRange, kColumns };

  QTableWidget* inputTable() const { return inputs_; }
  // The row of box n in the input table, -1 when the sheet has no such box.
  int rowOf(int box) const;
  QComboBox* distributionBox(int row) const;
  QLineEdit* samplesEdit() const { return samples_; }
  QLineEdit* seedEdit() const { return seed_; }
  QLineEdit* targetEdit() const { return target_; }
  QPushButton* calculateButton() const { return calculate_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* exportButton() const { return export_; }
  QPushButton* reportButton() const { return reportButton_; }
  QProgressBar* progressBar() const { return progress_; }
  QTableWidget* percentileTable() const { return percentiles_; }
  QLabel* statusLabel() const { return status_; }
  QWidget* probabilityChart() const { return probabilityChart_; }
  QWidget* betaChart() const { return betaChart_; }

  // Sets the scatter of box n (its coefficient of variation and law) from elsewhere, e.g. the
  // standard errors of a fit of inspection data; `source` says where it comes from (shown as
  // the cell's tip). False when the sheet has no such box.
  bool setScatter(int box, const analysis::mc::Scatter& scatter, const QString& source = {});

  bool isRunning() const;
  // The last run that ran to its end; none before and after a cancelled run.
  const std::optional<analysis::mc::Report>& report() const { return report_; }
  // The sheet (1..5) the analysis belongs to.
  int sheet() const;
  // The sheet's inputs with the means of the last completed run (the options and the steel
  // kind as the sheet held them when the window opened); none without a completed run.
  const std::optional<sheet::SheetInputs>& runMeans() const { return runMeans_; }
  // Grows with every completed run of any reliability window: the latest run has the largest.
  std::uint64_t runOrder() const { return runOrder_; }

 signals:
  // A run ended: completed, or cancelled.
  void runEnded();
  // 报告 was pressed: the report of the sheet with this window's run is wanted.
  void reportRequested();

 public slots:
  void calculate();
  void cancel();
  void exportCsv();

 private:
  struct Run;

  void buildInputTable(const sheet::SheetInputs& means);
  std::optional<analysis::mc::Problem> problemFromTable(analysis::mc::RunSettings& settings);
  void runFinished(const QString& error);
  void showReport();
  void setRunning(bool running);

  const sheet::Module& module_;
  sheet::SheetInputs means_;
  Dialogs& dialogs_;
  std::vector<int> rowBoxes_;  // rowBoxes_[row]: the box number

  QTableWidget* inputs_ = nullptr;
  QLineEdit* samples_ = nullptr;
  QLineEdit* seed_ = nullptr;
  QLineEdit* target_ = nullptr;
  QPushButton* calculate_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* export_ = nullptr;
  QPushButton* reportButton_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QTableWidget* percentiles_ = nullptr;
  QWidget* probabilityChart_ = nullptr;
  QWidget* betaChart_ = nullptr;

  std::unique_ptr<Run> run_;
  std::optional<analysis::mc::Report> report_;
  std::optional<sheet::SheetInputs> runMeans_;
  std::uint64_t runOrder_ = 0;
};

// The charts of a run, drawn into `chart` (whatever it showed before is removed): the
// probabilities of initiation, cracking and end of durability by age, and their reliability
// indices with the target line. Without a summary the chart is left empty with its title.
// The window and the printed report draw the same charts with these.
void draw_probability_chart(QChart& chart, const analysis::mc::Summary* summary);
void draw_beta_chart(QChart& chart, const analysis::mc::Summary* summary);

// The percentile table as the window shows it: rows t_i, t_c, t_d, remaining life; columns
// 5 %, 50 %, 95 % and the age at which beta falls below its target (empty cells where there
// is no value, the remaining life has no such age).
QList<QStringList> percentile_cells(const analysis::mc::Summary& summary);

// The section "可靠度分析" of the printed report: inputs with their scatter, settings, sample
// counts, percentiles and the ages at the target, the two charts, and `notes`.
ReportSection reliability_section(const analysis::mc::Report& report, QStringList notes = {});

}  // namespace pellucor::shell
