#include "console_view.hpp"

namespace pellucor::cli {

using sheet::Control;

ConsoleView::ConsoleView(const sheet::SheetTable& table, std::ostream& messages)
    : table_(table), messages_(messages) {}

std::string ConsoleView::text(Control c) const {
  const auto it = texts_.find(c);
  return it == texts_.end() ? std::string() : it->second;
}

void ConsoleView::setText(Control c, std::string_view text) {
  texts_[c] = std::string(text);
}

void ConsoleView::setEnabled(Control c, bool enabled) {
  if (enabled) {
    disabled_.erase(c);
  } else {
    disabled_.insert(c);
  }
}

bool ConsoleView::isEnabled(Control c) const {
  return disabled_.count(c) == 0;
}

bool ConsoleView::isSelected(Control option) const {
  return selected_.count(option) > 0;
}

void ConsoleView::select(Control option) {
  // Selecting one option of a group deselects the other.
  for (const auto& g : table_.groups) {
    if (g.options[0].control == option || g.options[1].control == option) {
      selected_.erase(g.options[0].control);
      selected_.erase(g.options[1].control);
    }
  }
  selected_.insert(option);
}

void ConsoleView::showMessage(std::string_view text, std::string_view title) {
  messages_ << title << ": " << text << '\n' << std::flush;
}

std::optional<std::string> ConsoleView::askSaveFileName(std::string_view, std::string_view,
                                                        std::string_view) {
  return saveAnswer_;
}

}  // namespace pellucor::cli
