// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Limits on what an edit holds, counted as the switch stores the text: in bytes of UTF-8.

#include <QLineEdit>

namespace sd::gui {

// Keeps the edit's text within `max_bytes` bytes of UTF-8. Typing or pasting that would go
// beyond is refused as a whole, so a text is never cut, inside a character or anywhere else.
void LimitUtf8Bytes(QLineEdit& edit, int max_bytes);

// Shows a text the program was given (a switch's name, say), even one longer than the edit's
// limit: it is shown whole, never cut, and the user can then only shorten it.
void ShowText(QLineEdit& edit, const QString& text);

// The limit LimitUtf8Bytes gave the edit, or -1 when it has none.
int Utf8ByteLimit(const QLineEdit& edit);

}  // namespace sd::gui
