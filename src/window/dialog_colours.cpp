#include "window/dialog_colours.h"

#include <QApplication>
#include <QPalette>

namespace sd::gui {

void UseDialogBackground(QWidget& dialog) {
  QPalette palette = dialog.palette();
  palette.setColor(QPalette::Window, kDialogBackground);
  dialog.setPalette(palette);
  dialog.setAutoFillBackground(true);
}

namespace {

void UseBlackOn(QWidget& control, const QColor& background) {
  QPalette palette = control.palette();
  for (auto role : {QPalette::Window, QPalette::Base}) palette.setColor(role, background);
  for (auto role : {QPalette::WindowText, QPalette::Text}) palette.setColor(role, kDialogText);
  control.setPalette(palette);
  control.setAutoFillBackground(true);
}

}  // namespace

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
