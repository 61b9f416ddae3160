#include "window/qt_messages.h"

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

}  // namespace sd::gui
