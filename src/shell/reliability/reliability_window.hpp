// The reliability analysis of a sheet as a child window: the sheet's numeric inputs with their
// scatter (coefficient of variation or absolute deviation, law, range, what the samples will
// have, the source of each default), the settings of the run (samples, seed, stopping rule,
// target age, the three target indices, model-uncertainty factors, binder, the marine sheet's
// way to its initiation time), a run in a worker thread with progress and cancel, and its
// results: what to read first (samples that did not run to the end, scatter the range cannot
// carry), how every sample ended, the statistics at the target age, the percentiles, the curves
// of probability (with the band between the bounds) and reliability index (with its bounds),
// and the rank correlations as a tornado chart; the curves exported as CSV, and the run's
// section of the printed report.
//
// With 按检测数据更新 switched on, a run updates the analysis with the member's measurements
// (those of the project's member the window was opened for, carbonation depths typed here, a
// corrosion depth or crack width at the inspection age) and shows, above its results, whether
// the update met its diagnostics (a run that does not is said first, and is not graded), then
// prior against posterior, the inputs' posterior statistics and correlations, the posterior
// predictive curves with the measurements on them and the inputs' prior against posterior.
#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "analysis/mc/report.hpp"
#include "analysis/project/project.hpp"
#include "analysis/update/update.hpp"
#include "sheet/sheet_table.hpp"
#include "shell/kit/unsaved_work.hpp"
#include "shell/reliability/reliability_tables.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTabWidget;

namespace pellucor::shell {

class Dialogs;

class ReliabilityWindow final : public QWidget, public UnsavedWork {
  Q_OBJECT

 public:
  // Means from `means` (the sheet's values), scatter from the defaults.
  ReliabilityWindow(const sheet::Module& module, const sheet::SheetInputs& means, Dialogs& dialogs,
                    QWidget* parent = nullptr);
  ~ReliabilityWindow() override;

  // Columns of the input table.
  enum Column {
    kLabel = 0,     // the box's label with its unit
    kMean,          // the sheet's value: the mean of the samples
    kCov,           // coefficient of variation
    kSd,            // absolute standard deviation in the box's unit (wins over the CoV)
    kDistribution,  // 正态, 对数正态, Beta
    kRange,         // the range the samples stay in
    kSamples,       // the mean and CoV the samples will have
    kSource,        // where the default comes from, or that it was typed
    kColumns
  };
  // The times, in the order of the engine (t_i, t_c, t_d).
  static constexpr int kTimes = 3;

  QTableWidget* inputTable() const { return inputs_; }
  // What the input table leaves out (boxes the sheet leaves empty); hidden when nothing.
  QLabel* hiddenRowsLabel() const { return hiddenRows_; }
  // The row of box n in the input table, -1 when the sheet has no such box.
  int rowOf(int box) const;
  QComboBox* distributionBox(int row) const;
  QLineEdit* samplesEdit() const { return samples_; }
  QLineEdit* seedEdit() const { return seed_; }
  // The target reliability index of the end of the durable life.
  QLineEdit* targetEdit() const { return targets_[2]; }
  // The target index of time `which` (0 t_i, 1 t_c, 2 t_d).
  QLineEdit* targetEdit(int which) const { return targets_[static_cast<std::size_t>(which)]; }
  // The CoV of the model-uncertainty factor of time `which`.
  QLineEdit* modelCovEdit(int which) const { return modelCovs_[static_cast<std::size_t>(which)]; }
  QLineEdit* targetAgeEdit() const { return targetAge_; }
  QLineEdit* stopCovEdit() const { return stopCov_; }
  // The binder (sheets with an ageing exponent) and the way to the initiation time (the marine
  // sheet); none on the other sheets.
  QComboBox* binderBox() const { return binder_; }
  QComboBox* variantBox() const { return variant_; }
  QPushButton* calculateButton() const { return calculate_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* exportButton() const { return export_; }
  QPushButton* reportButton() const { return reportButton_; }
  QProgressBar* progressBar() const { return progress_; }
  QLabel* statusLabel() const { return status_; }
  // What to read first: empty (and hidden) when there is nothing to warn of.
  QLabel* warningLabel() const { return warnings_; }
  QTableWidget* stopsTable() const { return stops_; }
  QTableWidget* atTargetTable() const { return atTarget_; }
  QTableWidget* percentileTable() const { return percentiles_; }
  QWidget* probabilityChart() const { return probabilityChart_; }
  QWidget* betaChart() const { return betaChart_; }
  QWidget* tornadoChart() const { return tornadoChart_; }
  QTabWidget* resultTabs() const { return tabs_; }

  // ---- The update with the member's measurements.
  QCheckBox* updateSwitch() const { return updateSwitch_; }
  // Carbonation depths typed here (mm, separated by blanks, commas or semicolons) and their age.
  QLineEdit* depthReadingsEdit() const { return depthReadings_; }
  QLineEdit* depthAgeEdit() const { return depthAge_; }
  // The errors: the CoV of the depths' error, the deviation of the cores' (empty: estimated).
  QLineEdit* depthCovEdit() const { return depthCov_; }
  QLineEdit* profileSdEdit() const { return profileSd_; }
  // Measured at the inspection age, with the deviation of the measurement (empty: none).
  QLineEdit* corrosionDepthEdit() const { return corrosionDepth_; }
  QLineEdit* corrosionSdEdit() const { return corrosionSd_; }
  QLineEdit* crackWidthEdit() const { return crackWidth_; }
  QLineEdit* crackSdEdit() const { return crackSd_; }
  QLabel* measurementLabel() const { return measurementNote_; }
  QLabel* diagnosticsLabel() const { return diagnostics_; }
  QTableWidget* updateTable() const { return updateCompare_; }
  QTableWidget* updatePercentileTable() const { return updatePercentiles_; }
  QTableWidget* updateInputTable() const { return updateInputs_; }
  QTableWidget* correlationTable() const { return correlations_; }
  // One chart per predictive curve (carbonation depth against age, each core's profile).
  QList<QWidget*> predictiveCharts() const;
  QWidget* updateInputsChart() const { return updateInputsChart_; }

  // The measurements of the member the window was opened for, and where they come from (shown
  // beside the switch). The switch is turned on when they hold anything.
  void setMeasurements(const analysis::update::Measurements& m, const QString& source);
  // What the run would condition on: the member's measurements with what is typed here; none
  // (a message shown) when a typed value cannot be read.
  std::optional<analysis::update::Measurements> measurementsToUse();
  // The last completed update (none when the last completed run was not one).
  const std::optional<analysis::update::UpdateResult>& updateResult() const { return updated_; }
  // The update settings a project keeps for its member: typed into the boxes, and as the last
  // completed update used them with its result.
  void setUpdateRecord(const analysis::project::UpdateRecord& record);
  std::optional<analysis::project::UpdateRecord> updateRecord() const;

  // Sets the scatter of box n (its coefficient of variation and law) from elsewhere, e.g. the
  // standard errors of a fit of inspection data; `source` says where it comes from (shown as
  // the cell's tip). False when the sheet has no such box.
  bool setScatter(int box, const analysis::mc::Scatter& scatter, const QString& source = {});

  bool isRunning() const;
  // The last run that ran to its end; a cancelled run leaves the one before it.
  const std::optional<analysis::mc::Report>& report() const { return report_; }
  // The sheet (1..5) the analysis belongs to.
  int sheet() const;
  // The sheet's inputs with the means of the last completed run (the options and the steel
  // kind as the sheet held them when the window opened); none without a completed run.
  const std::optional<sheet::SheetInputs>& runMeans() const { return runMeans_; }
  // Grows with every completed run of any reliability window: the latest run has the largest.
  std::uint64_t runOrder() const { return runOrder_; }
  // The last completed run has been neither exported as CSV nor written into a report:
  // closing the window asks first.
  bool hasUnsavedRun() const { return report_.has_value() && !handedOver_; }
  // The last completed run went into a written report (a note of what happened to it; the
  // run itself does not change).
  void noteReportWritten() const { handedOver_ = report_.has_value(); }

  QSize sizeHint() const override;

  // UnsavedWork: a run going on, a completed run neither exported nor reported.
  QStringList unsavedWork() const override;
  void closeWithoutAsking() override { closeAgreed_ = true; }

 protected:
  // A run going on, or a completed run neither exported nor reported, is not lost without
  // asking.
  void closeEvent(QCloseEvent* event) override;

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

  void buildInputTable();
  QWidget* buildSettings();
  void setRowScatter(int row, const analysis::mc::Scatter& s);
  void refreshRow(int row);
  void cellChanged(int row, int column);
  void binderChanged();
  std::optional<analysis::mc::Problem> problemFromTable(analysis::mc::RunSettings& settings);
  void runFinished(const QString& error);
  void showReport();
  void setRunning(bool running);
  QWidget* buildUpdateSettings();
  QWidget* buildUpdatePage();
  void showUpdate();

  const sheet::Module& module_;
  sheet::SheetInputs means_;
  Dialogs& dialogs_;
  std::vector<int> rowBoxes_;  // rowBoxes_[row]: the box number
  bool updating_ = false;      // the window is writing cells itself

  QTableWidget* inputs_ = nullptr;
  QLabel* hiddenRows_ = nullptr;
  QLineEdit* samples_ = nullptr;
  QLineEdit* seed_ = nullptr;
  std::array<QLineEdit*, kTimes> targets_{};
  std::array<QLineEdit*, kTimes> modelCovs_{};
  QLineEdit* targetAge_ = nullptr;
  QLineEdit* stopCov_ = nullptr;
  QComboBox* binder_ = nullptr;
  QComboBox* variant_ = nullptr;
  QPushButton* calculate_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* export_ = nullptr;
  QPushButton* reportButton_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* warnings_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QTableWidget* stops_ = nullptr;
  QTableWidget* atTarget_ = nullptr;
  QTableWidget* percentiles_ = nullptr;
  QWidget* probabilityChart_ = nullptr;
  QWidget* betaChart_ = nullptr;
  QWidget* tornadoChart_ = nullptr;

  QCheckBox* updateSwitch_ = nullptr;
  QLineEdit* depthReadings_ = nullptr;
  QLineEdit* depthAge_ = nullptr;
  QLineEdit* depthCov_ = nullptr;
  QLineEdit* profileSd_ = nullptr;
  QLineEdit* corrosionDepth_ = nullptr;
  QLineEdit* corrosionSd_ = nullptr;
  QLineEdit* crackWidth_ = nullptr;
  QLineEdit* crackSd_ = nullptr;
  QLabel* measurementNote_ = nullptr;
  QLabel* diagnostics_ = nullptr;
  QTableWidget* updateCompare_ = nullptr;
  QTableWidget* updatePercentiles_ = nullptr;
  QTableWidget* updateInputs_ = nullptr;
  QTableWidget* correlations_ = nullptr;
  QWidget* predictivePage_ = nullptr;
  QWidget* predictiveHolder_ = nullptr;  // the predictive charts of the last update
  QWidget* updateInputsChart_ = nullptr;
  QWidget* posteriorProbabilityChart_ = nullptr;
  analysis::update::Measurements memberMeasurements_;
  QString measurementSource_;
  std::optional<analysis::update::UpdateResult> updated_;
  analysis::project::UpdateRecord typedRecord_;  // as measurementsToUse() last read the boxes
  std::optional<analysis::project::UpdateRecord> updatedRecord_;  // of the last update

  std::unique_ptr<Run> run_;
  std::optional<analysis::mc::Report> report_;
  std::optional<sheet::SheetInputs> runMeans_;
  std::uint64_t runOrder_ = 0;
  QString cancelNote_;  // set when the last run was cancelled: what the window shows instead
  mutable bool handedOver_ = false;  // the last completed run was exported or reported
  bool closeAgreed_ = false;         // the next close asks nothing
};

}  // namespace pellucor::shell
