// The reliability analysis of a sheet as a child window: the sheet's numeric inputs with their
// scatter, the sample count, seed and target index, a run in a worker thread with progress
// and cancel, the curves of probability and reliability index by age, the percentiles, and
// the curves exported as CSV.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>

#include "analysis/mc/report.hpp"
#include "sheet/sheet_table.hpp"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QThread;
class QTimer;

namespace pellucor::shell {

class FileChooser;
class MainWindow;
class MessagePresenter;

inline constexpr const char* kReliabilityTitle = "可靠度分析";

class ReliabilityWindow final : public QWidget {
  Q_OBJECT

 public:
  // Means from `means` (the sheet's values), scatter from the defaults.
  ReliabilityWindow(const sheet::Module& module, const sheet::SheetInputs& means,
                    MessagePresenter& messages, FileChooser& files, QWidget* parent = nullptr);
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
  QProgressBar* progressBar() const { return progress_; }
  QTableWidget* percentileTable() const { return percentiles_; }
  QLabel* statusLabel() const { return status_; }
  QWidget* probabilityChart() const { return probabilityChart_; }
  QWidget* betaChart() const { return betaChart_; }

  bool isRunning() const;
  // The last run that ran to its end; none before and after a cancelled run.
  const std::optional<analysis::mc::Report>& report() const { return report_; }

 signals:
  // A run ended: completed, or cancelled.
  void runEnded();

 public slots:
  void calculate();
  void cancel();
  void exportCsv();

 private:
  struct Run;

  void buildInputTable(const sheet::SheetInputs& means);
  std::optional<analysis::mc::Problem> problemFromTable(analysis::mc::RunSettings& settings);
  void runFinished();
  void showReport();
  void showProgress();
  void setRunning(bool running);

  const sheet::Module& module_;
  sheet::SheetInputs means_;
  MessagePresenter& messages_;
  FileChooser& files_;
  std::vector<int> rowBoxes_;  // rowBoxes_[row]: the box number

  QTableWidget* inputs_ = nullptr;
  QLineEdit* samples_ = nullptr;
  QLineEdit* seed_ = nullptr;
  QLineEdit* target_ = nullptr;
  QPushButton* calculate_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* export_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QTableWidget* percentiles_ = nullptr;
  QWidget* probabilityChart_ = nullptr;
  QWidget* betaChart_ = nullptr;
  QTimer* poll_ = nullptr;

  std::unique_ptr<Run> run_;
  std::optional<analysis::mc::Report> report_;
};

// The menu entry: opens the analysis of the active sheet as a child window of `main`, titled
// "可靠度分析 — " + the sheet's caption; a message when no sheet window is active.
ReliabilityWindow* open_reliability_window(MainWindow& main, MessagePresenter& messages,
                                           FileChooser& files);

}  // namespace pellucor::shell
