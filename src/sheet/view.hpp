// The operations a sheet needs from a windowing layer. The Qt window and the console front
// end implement it; tests use a fake. No method calls back into the controller: the
// controller raises the change check of a text it sets itself, at once and nested.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sheet/control.hpp"

namespace pellucor::sheet {

class SheetView {
 public:
  virtual ~SheetView() = default;

  // Text of a box or of Combo1 (UTF-8).
  virtual std::string text(Control c) const = 0;
  virtual void setText(Control c, std::string_view text) = 0;
  virtual void setEnabled(Control c, bool enabled) = 0;
  virtual bool isEnabled(Control c) const = 0;
  virtual void setFocus(Control c) = 0;
  virtual bool isSelected(Control option) const = 0;
  virtual void select(Control option) = 0;

  // Output pane.
  virtual void clearPane() = 0;
  virtual void printLine(std::string_view line) = 0;

  // Modal message box: exclamation icon, one OK button.
  virtual void showMessage(std::string_view text, std::string_view title) = 0;
  // Save-file dialog; asks before overwriting; nothing on Cancel.
  virtual std::optional<std::string> askSaveFileName(std::string_view title,
                                                     std::string_view filter,
                                                     std::string_view defaultExtension) = 0;
  // Closes the sheet window (Exit).
  virtual void close() = 0;
};

}  // namespace pellucor::sheet
