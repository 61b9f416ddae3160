// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/dialog_layout.h"

#include <QHBoxLayout>

namespace sd::gui {

QVBoxLayout* NewDialogLayout(QWidget& dialog) {
  auto* layout = new QVBoxLayout(&dialog);
  layout->setContentsMargins(18, 16, 18, 14);
  return layout;
}

void AddDialogButtons(QVBoxLayout& layout, QPushButton* first, QPushButton* second) {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(first);
  buttons->addStretch(1);
  buttons->addWidget(second);
  buttons->addStretch(1);
  layout.addSpacing(14);
  layout.addLayout(buttons);
}

void FocusRefusedField(QLineEdit& field) {
  field.setFocus(Qt::OtherFocusReason);
  field.selectAll();
}

}  // namespace sd::gui
