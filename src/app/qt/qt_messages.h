#pragma once
// Message boxes of the window: every message the core reports becomes a modal QMessageBox owned
// by the window that is active, with the title and icon the core asks for.

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <string_view>

#include "common/messages.h"

namespace sd::gui {

QMessageBox::Icon ToQtIcon(MessageIcon icon);
QString ToQString(std::string_view text);

class QtMessages : public IMessages {
 public:
  // owner: the window the boxes are centred on and modal to; nullptr for boxes with no owner.
  explicit QtMessages(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace sd::gui
