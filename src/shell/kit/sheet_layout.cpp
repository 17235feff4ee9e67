#include "shell/kit/sheet_layout.hpp"

#include <QStringList>
#include <cmath>

namespace pellucor::shell {

int twips_to_pixels(int twips, double dpi) {
  return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch));
}

QRect to_pixels(const sheet::Rect& r, double dpiX, double dpiY) {
  const int left = twips_to_pixels(r.left, dpiX);
  const int top = twips_to_pixels(r.top, dpiY);
  // Right and bottom edges are rounded on their own, so that adjacent rects stay adjacent.
  const int right = twips_to_pixels(r.left + r.width, dpiX);
  const int bottom = twips_to_pixels(r.top + r.height, dpiY);
  return {left, top, right - left, bottom - top};
}

QSize to_pixels(int widthTwips, int heightTwips, double dpiX, double dpiY) {
  return {twips_to_pixels(widthTwips, dpiX), twips_to_pixels(heightTwips, dpiY)};
}

QFont sheet_font(SheetFont kind) {
  // The design typefaces first (under their Chinese and Latin names), then the Debian
  // equivalents: a Ming (song) face for 宋体, a Kai face for the brush-like 隶书.
  static const QStringList kSong = {QStringLiteral("宋体"), QStringLiteral("SimSun"),
                                    QStringLiteral("AR PL UMing CN"),
                                    QStringLiteral("Noto Serif CJK SC")};
  static const QStringList kLi = {
      QStringLiteral("隶书"), QStringLiteral("LiSu"), QStringLiteral("AR PL UKai CN"),
      QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN")};
  QFont font;
  switch (kind) {
    case SheetFont::Sheet:
      font.setFamilies(kSong);
      font.setPointSizeF(12.0);
      break;
    case SheetFont::Frame:
      font.setFamilies(kSong);
      font.setPointSizeF(10.5);
      break;
    case SheetFont::Button:
      font.setFamilies(kLi);
      font.setPointSizeF(14.25);
      break;
  }
  font.setStyleHint(QFont::Serif);
  return font;
}

}  // namespace pellucor::shell
