// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/dialog_colours.h"

#include <QApplication>
#include <QPalette>
#include <initializer_list>

namespace sd::gui {

namespace {

// Black text (grey when disabled) for the given roles, in every colour group.
void SetDialogText(QPalette& palette, std::initializer_list<QPalette::ColorRole> roles) {
  for (auto role : roles) {
    palette.setColor(role, kDialogText);
    palette.setColor(QPalette::Disabled, role, kDisabledDialogText);
  }
}

void UseBlackOn(QWidget& control, const QColor& background) {
  QPalette palette = control.palette();
  for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button}) palette.setColor(role, background);
  SetDialogText(palette, {QPalette::WindowText, QPalette::Text, QPalette::ButtonText});
  control.setPalette(palette);
  control.setAutoFillBackground(true);
}

}  // namespace

void UseDialogBackground(QWidget& dialog) {
  // Only the window's own roles: controls that paint a base or a button of their own keep the
  // platform's pair of colours for it.
  QPalette palette = dialog.palette();
  palette.setColor(QPalette::Window, kDialogBackground);
  SetDialogText(palette, {QPalette::WindowText});
  dialog.setPalette(palette);
  dialog.setAutoFillBackground(true);
}

void UseBlackOnWhite(QWidget& control) { UseBlackOn(control, kDialogBackground); }

void UseBlackOnPanel(QWidget& control) { UseBlackOn(control, kPanelBackground); }

void UsePlatformColours(QWidget& control) {
  // Every role set explicitly, so that none of them is taken from the parent.
  const QPalette platform = QApplication::palette(&control);
  QPalette palette;
  for (int group = 0; group < QPalette::NColorGroups; ++group) {
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
      const auto g = static_cast<QPalette::ColorGroup>(group);
      const auto r = static_cast<QPalette::ColorRole>(role);
      if (r == QPalette::NoRole) continue;
      palette.setBrush(g, r, platform.brush(g, r));
    }
  }
  control.setPalette(palette);
}

}  // namespace sd::gui
