// A sheet without a window: texts, enabled flags, option states and the output pane kept in
// memory, message boxes written to an error stream as "TITLE: TEXT", and the save dialog
// answered with a file name fixed in advance.
#pragma once

#include <ostream>
#include <string_view>

#include "analysis/batch/case_runner.hpp"

namespace pellucor::cli {

class ConsoleView final : public analysis::batch::MemoryView {
 public:
  ConsoleView(const sheet::SheetTable& table, std::ostream& messages)
      : MemoryView(table), messages_(messages) {}

  void showMessage(std::string_view text, std::string_view title) override {
    MemoryView::showMessage(text, title);
    messages_ << title << ": " << text << '\n' << std::flush;
  }

 private:
  std::ostream& messages_;
};

}  // namespace pellucor::cli
