#include "window/dialog_colours.h"

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

}  // namespace sd::gui
