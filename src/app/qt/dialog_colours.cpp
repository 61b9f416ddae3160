#include "app/qt/dialog_colours.h"

#include <QPalette>

namespace sd::gui {

void UseDialogBackground(QWidget& dialog) {
  QPalette palette = dialog.palette();
  palette.setColor(QPalette::Window, kDialogBackground);
  dialog.setPalette(palette);
  dialog.setAutoFillBackground(true);
}

void UseBlackOnWhite(QWidget& control) {
  QPalette palette = control.palette();
  for (auto role : {QPalette::Window, QPalette::Base}) palette.setColor(role, kDialogBackground);
  for (auto role : {QPalette::WindowText, QPalette::Text}) palette.setColor(role, kDialogText);
  control.setPalette(palette);
  control.setAutoFillBackground(true);
}

}  // namespace sd::gui
