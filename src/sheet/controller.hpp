// The sheet controller: turns the events of a sheet's controls into operations on a view,
// following the module's tables. One controller per sheet kind lives for the whole run; it
// keeps the sheet record (inputs read by the last Calculate, the last completed results)
// while its window is closed and reopened.
#pragma once

#include <optional>
#include <string>

#include "sheet/result_writer.hpp"
#include "sheet/sheet_table.hpp"
#include "sheet/view.hpp"

namespace pellucor::sheet {

// What a Calculate came to, so that a front end without a window knows exactly what happened.
struct CalculateOutcome {
  enum class Status {
    NotOpen,      // no sheet window: nothing ran
    CheckFailed,  // a check at Calculate failed; its message was shown
    Stopped,      // the model gave up; the plausibility message was shown
    Closed,       // the sheet was closed while a message box was up
    Done,         // the calculation ran to its end; lastRecord() holds its record
  };
  Status status = Status::NotOpen;
  Control control = Control::None;  // CheckFailed: the control the message focuses (None for the
                                    // consistency stop, which leaves the focus where it is)
  std::string_view message;         // CheckFailed, Stopped: the text of the message box
  std::string_view title;           // its title
  std::optional<model::StopReason> reason;  // Stopped: why the model gave up

  bool done() const { return status == Status::Done; }
};

// What a Save came to.
struct SaveOutcome {
  enum class Status {
    NotOpen,        // no sheet window: nothing happened
    NothingToSave,  // no calculation has run to its end yet (Save is disabled)
    Cancelled,      // the dialog was cancelled or the name was blank; the results reprinted
    Saved,          // the block was appended to `path`; the results reprinted
    Failed,         // the block was not written (`failure`); its message was shown
    Closed,         // the sheet was closed while the dialog or the message was up
  };
  Status status = Status::NotOpen;
  std::string path;                     // the name handed to the writer (empty: none was)
  std::optional<WriteFailure> failure;  // Failed (and Closed during its message): why
  std::string message;                  // the text of the message box, if one was shown
  std::string_view title;               // its title

  bool saved() const { return status == Status::Saved; }
};

class SheetController {
 public:
  // `writer` receives the blocks of Save; it must outlive the controller.
  explicit SheetController(const Module& module,
                           ResultFileWriter& writer = default_result_file_writer());

  const Module& module() const { return module_; }
  const SheetTable& table() const { return module_.table(); }

  // The sheet window was (re)built: puts the defaults into the view (without change
  // checks), disables Save, focuses Text1 and prints its prompt.
  void open(SheetView& view);
  // The window is gone (Exit, or the main window closed).
  void closed();
  bool isOpen() const { return view_ != nullptr; }

  // A control got the focus from the user: prints its prompt (nothing for buttons/pane).
  void focusGained(Control c);
  // The focus is about to leave c. Runs its leave check; false keeps the focus in c.
  bool leaving(Control c);
  // The user changed the text of a box (every keystroke, a paste).
  void textChanged(Control c);

  // Calculate: reads every control, runs the checks and the model, prints the report.
  CalculateOutcome calculate();
  // Whether Calculate prints its report (the default: a window, the console) or only keeps
  // the record (a member's row, which reads numbers): then no report text is formatted,
  // neither per pass of the cracking-time iteration nor at the end, and the pane keeps the
  // wait line. Save writes the same block either way.
  void setReportWanted(bool wanted) { reportWanted_ = wanted; }
  bool reportWanted() const { return reportWanted_; }
  // Save data: asks for a file, appends the block of the last completed calculation through
  // the writer (a failure is shown with its reason), reprints the results.
  SaveOutcome save();
  // Closes the sheet window; false when there was none.
  bool exit();

  // The control that holds the focus as far as the controller knows.
  Control focused() const { return focused_; }
  // Inputs as read by the last Calculate.
  const SheetInputs& inputs() const { return inputs_; }
  // Record of the last calculation that ran to its end: its inputs and results as data.
  const std::optional<ResultRecord>& lastRecord() const { return lastRecord_; }
  // Report of the last calculation that ran to its end, formatted from its record.
  std::optional<Report> lastReport() const;
  // Model inputs and result of the last calculation that ran to its end (empty before).
  const model::ModelRun& lastRun() const { return lastRun_; }
  // The file-name field: the last path chosen in the save dialog, without blanks around it.
  const std::string& fileName() const { return fileName_; }

 private:
  class PassSink;

  // Sets a text; when it differs, runs the box's change check at once (nested).
  void setText(Control c, std::string_view text);
  void setFocus(Control c);
  void runChangeCheck(Control c);
  void printReport(const std::vector<std::string>& lines);
  // Clears the pane and prints the prompt line(s) of a box, an option or the steel-kind list.
  void printPrompt(Control c);
  // Value of a box or of the list's text by the numeric prefix rule.
  double value(Control c) const;
  // Shows a message box; false when the sheet was closed while it was up.
  bool message(std::string_view text, std::string_view title);
  void readInputs();

  const Module& module_;
  ResultFileWriter& writer_;
  SheetView* view_ = nullptr;
  Control focused_ = Control::None;
  SheetInputs inputs_;
  std::optional<ResultRecord> lastRecord_;
  model::ModelRun lastRun_;
  std::string fileName_;
  int changeDepth_ = 0;  // nesting of change checks raised by the controller's own texts
  bool reportWanted_ = true;
};

}  // namespace pellucor::sheet
