// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The password edits of the device dialogs: what is typed is never shown, cannot be copied out,
// and leaves the edit only for the request that needs it.

#include <QLineEdit>
#include <string>

namespace sd::gui {

// An edit that shows a bullet for every character and takes at most `max_bytes` bytes of UTF-8.
QLineEdit* NewPasswordEdit(QWidget* parent, int max_bytes);

// The edit's text as UTF-8, written straight into `into`. The conversion's intermediate bytes
// are overwritten before this returns, so the edit and `into` hold the only copies; the caller
// wipes `into` (WipeString) once the request is sent.
void ReadSecret(const QLineEdit& edit, std::string& into);

// Empties the edit and its undo history.
void ClearSecret(QLineEdit& edit);

}  // namespace sd::gui
