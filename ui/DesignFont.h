// The fonts of the window's layout: "MS Sans Serif" at a size in pixels (at
// 96 dots per inch), with the system's sans-serif face standing in where that
// font is not installed.
#pragma once

#include <QFont>

inline QFont DesignFont(int pixelSize, bool bold = false) {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}
