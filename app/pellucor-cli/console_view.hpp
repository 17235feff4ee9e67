// A sheet without a window: texts, enabled flags, option states and the output pane kept in
// memory, message boxes written to an error stream as "TITLE: TEXT", and the save dialog
// answered with a file name fixed in advance.
#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "sheet/sheet_table.hpp"
#include "sheet/view.hpp"

namespace pellucor::cli {

class ConsoleView final : public sheet::SheetView {
 public:
  ConsoleView(const sheet::SheetTable& table, std::ostream& messages);

  std::string text(sheet::Control c) const override;
  void setText(sheet::Control c, std::string_view text) override;
  void setEnabled(sheet::Control c, bool enabled) override;
  bool isEnabled(sheet::Control c) const override;
  void setFocus(sheet::Control c) override { focus_ = c; }
  bool isSelected(sheet::Control option) const override;
  void select(sheet::Control option) override;
  void clearPane() override { pane_.clear(); }
  void printLine(std::string_view line) override { pane_.emplace_back(line); }
  void showMessage(std::string_view text, std::string_view title) override;
  std::optional<std::string> askSaveFileName(std::string_view title, std::string_view filter,
                                             std::string_view defaultExtension) override;
  void close() override { closed_ = true; }

  // The answer of the save dialog (nothing: the dialog is cancelled).
  void setSaveAnswer(std::optional<std::string> answer) { saveAnswer_ = std::move(answer); }

  const std::vector<std::string>& pane() const { return pane_; }
  sheet::Control focus() const { return focus_; }
  bool closed() const { return closed_; }

 private:
  const sheet::SheetTable& table_;
  std::ostream& messages_;
  std::map<sheet::Control, std::string> texts_;
  std::set<sheet::Control> disabled_;
  std::set<sheet::Control> selected_;
  std::vector<std::string> pane_;
  std::optional<std::string> saveAnswer_;
  sheet::Control focus_ = sheet::Control::None;
  bool closed_ = false;
};

}  // namespace pellucor::cli
