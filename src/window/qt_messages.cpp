// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/qt_messages.h"

#include <QAbstractButton>
#include <QApplication>

namespace sd::gui {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::None: return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* QtMessages::Owner() const {
  // A box opened from inside another modal dialog belongs to that dialog, so it stays on top.
  QWidget* modal = QApplication::activeModalWidget();
  return modal ? modal : owner_.data();
}

void QtMessages::ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) {
  QMessageBox box(ToQtIcon(icon), ToQString(title), ToQString(text), QMessageBox::Ok, Owner());
  box.exec();
}

bool QtMessages::AskOkCancel(std::string_view text, std::string_view title, MessageIcon icon) {
  QMessageBox box(ToQtIcon(icon), ToQString(title), ToQString(text),
                  QMessageBox::Ok | QMessageBox::Cancel, Owner());
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok;
}

SaveChoice QtMessages::AskSaveDiscardCancel(std::string_view text, std::string_view title, MessageIcon icon) {
  QMessageBox box(ToQtIcon(icon), ToQString(title), ToQString(text),
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, Owner());
  box.button(QMessageBox::Save)->setText(QStringLiteral("Save"));
  box.button(QMessageBox::Discard)->setText(QStringLiteral("Discard"));
  box.button(QMessageBox::Cancel)->setText(QStringLiteral("Cancel"));
  box.setDefaultButton(QMessageBox::Save);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Save: return SaveChoice::Save;
    case QMessageBox::Discard: return SaveChoice::Discard;
    default: return SaveChoice::Cancel;
  }
}

}  // namespace sd::gui
