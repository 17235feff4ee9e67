// Design units and typefaces of the sheet windows: positions in twips scaled to the screen, and the
// sheet fonts with the fallbacks that exist on a Linux desktop.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "sheet/sheet_table.hpp"

namespace pellucor::shell {

// 1440 twips make an inch: 15 twips a pixel at 96 dpi.
inline constexpr int kTwipsPerInch = 1440;

int twips_to_pixels(int twips, double dpi);
QRect to_pixels(const sheet::Rect& r, double dpiX, double dpiY);
QSize to_pixels(int widthTwips, int heightTwips, double dpiX, double dpiY);

enum class SheetFont {
  Sheet,   // labels, boxes, list and output pane: 宋体 12 pt
  Frame,   // option frames and option buttons: 宋体 10.5 pt
  Button,  // the three push buttons: 隶书 14¼ pt
};
QFont sheet_font(SheetFont kind);

}  // namespace pellucor::shell
