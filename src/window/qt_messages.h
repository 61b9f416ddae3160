// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes of the window: every message and question of the core becomes a modal
// QMessageBox with the title and icon the core asks for, owned by the open dialog if there is
// one, else by the main window.

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <string_view>

#include "common/messages.h"
#include "common/questions.h"

namespace sd::gui {

QMessageBox::Icon ToQtIcon(MessageIcon icon);
QString ToQString(std::string_view text);

class QtMessages : public IMessages, public IQuestions {
 public:
  // owner: the window the boxes are centred on and modal to; nullptr for boxes with no owner.
  explicit QtMessages(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override;
  // OK and Cancel, OK the default; Escape and the close box answer Cancel.
  bool AskOkCancel(std::string_view text, std::string_view title, MessageIcon icon) override;
  // "Save", "Discard" and "Cancel" (named so whatever the platform's own words), Save the
  // default; Escape and the close box answer Cancel.
  SaveChoice AskSaveDiscardCancel(std::string_view text, std::string_view title, MessageIcon icon) override;

 private:
  QWidget* Owner() const;

  QPointer<QWidget> owner_;
};

}  // namespace sd::gui
