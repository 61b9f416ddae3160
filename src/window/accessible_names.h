// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names for screen readers: every field of a dialog is named after the label beside it.

#include <QWidget>

namespace sd::gui {

// Gives every field that a label of `dialog` is the buddy of the label's text as its accessible
// name (without the leading blanks some labels have), unless it has a name already. An address
// control also names its four parts.
void NameFieldsAfterTheirLabels(QWidget& dialog);

}  // namespace sd::gui
