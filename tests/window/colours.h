// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the dialogs' colours look to a test: a white dialog background, black-on-white controls,
// and controls left with the colours they inherit.

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QWidget>

namespace sd::test {

inline bool IsBlackOnWhite(const QWidget& w) {
  const QPalette& p = w.palette();
  return p.color(QPalette::WindowText) == QColor(0, 0, 0) && p.color(QPalette::Window) == QColor(255, 255, 255) &&
         p.color(QPalette::Text) == QColor(0, 0, 0) && p.color(QPalette::Base) == QColor(255, 255, 255) &&
         w.autoFillBackground();
}

inline bool HasWhiteBackground(const QWidget& dialog) {
  return dialog.palette().color(QPalette::Window) == QColor(255, 255, 255) && dialog.autoFillBackground();
}

// No colours of its own: the widget draws with what it inherits.
inline bool KeepsDefaultColours(const QWidget& w) { return !w.testAttribute(Qt::WA_SetPalette); }

// Draws with the platform's colours, whatever its parent set.
inline bool ShowsPlatformColours(const QWidget& w) {
  const QPalette platform = QApplication::palette(&w);
  const QPalette& p = w.palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    for (auto role : {QPalette::Window, QPalette::WindowText, QPalette::Base, QPalette::Text}) {
      if (p.color(group, role) != platform.color(group, role)) return false;
    }
  }
  return true;
}

}  // namespace sd::test
