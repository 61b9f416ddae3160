// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The frame the small dialogs share: their fields from the top, then a row with their two
// buttons spread evenly underneath.

#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace sd::gui {

// The dialog's top-level layout, with the common margins; the caller adds the fields.
QVBoxLayout* NewDialogLayout(QWidget& dialog);
// Adds the button row below what the layout holds so far.
void AddDialogButtons(QVBoxLayout& layout, QPushButton* first, QPushButton* second);

// After a check refused a field and its message was closed: the focus goes to the field, with
// its text selected so that typing replaces it. For an address control, pass its first part.
void FocusRefusedField(QLineEdit& field);

}  // namespace sd::gui
