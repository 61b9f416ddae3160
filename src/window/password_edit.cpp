// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/password_edit.h"

#include <QByteArray>

#include "window/text_limits.h"
#include "operations/secret.h"

namespace sd::gui {

QLineEdit* NewPasswordEdit(QWidget* parent, int max_bytes) {
  auto* edit = new QLineEdit(parent);
  edit->setEchoMode(QLineEdit::Password);
  LimitUtf8Bytes(*edit, max_bytes);
  edit->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText |
                            Qt::ImhNoAutoUppercase);
  edit->setContextMenuPolicy(Qt::NoContextMenu);
  return edit;
}

void ReadSecret(const QLineEdit& edit, std::string& into) {
  QByteArray utf8 = edit.text().toUtf8();
  into.assign(utf8.constData(), static_cast<std::size_t>(utf8.size()));
  WipeBytes(utf8.data(), static_cast<std::size_t>(utf8.size()));
}

void ClearSecret(QLineEdit& edit) {
  // setText, unlike clear(), also drops the undo history, which would keep the removed text.
  edit.setText(QString());
}

}  // namespace sd::gui
