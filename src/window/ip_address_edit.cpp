// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/ip_address_edit.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QRegularExpressionValidator>
#include <optional>

namespace sd::gui {
namespace {

// "a.b.c.d" with four decimal parts of 0..255 (blanks around it ignored), as a host-order
// address.
std::optional<std::uint32_t> DottedAddress(const QString& text) {
  const QStringList parts = text.trimmed().split(QLatin1Char('.'));
  if (parts.size() != 4) return std::nullopt;
  std::uint32_t address = 0;
  for (const QString& part : parts) {
    if (part.isEmpty() || part.size() > 3) return std::nullopt;
    for (QChar c : part) {
      if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    }
    const unsigned value = part.toUInt();
    if (value > 255) return std::nullopt;
    address = (address << 8) | value;
  }
  return address;
}

}  // namespace

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setBackgroundRole(QPalette::Base);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 1, 2, 1);
  layout->setSpacing(0);
  // Only what can still become 0..255 may be typed.
  static const QRegularExpression octet(QStringLiteral("^(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])?$"));
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (i > 0) {
      auto* dot = new QLabel(QStringLiteral("."), this);
      // Drawn on the fields' base colour, so in the fields' text colour.
      dot->setBackgroundRole(QPalette::Base);
      dot->setForegroundRole(QPalette::Text);
      layout->addWidget(dot);
    }
    auto* field = new QLineEdit(this);
    field->setObjectName(QStringLiteral("octet%1").arg(i));
    field->setFrame(false);
    field->setAlignment(Qt::AlignCenter);
    field->setMaxLength(3);
    field->setValidator(new QRegularExpressionValidator(octet, field));
    field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 4);
    field->installEventFilter(this);
    connect(field, &QLineEdit::textEdited, this, [this, i](const QString& text) {
      if (text.size() == 3 && i + 1 < fields_.size() && fields_[i]->cursorPosition() == 3) {
        FocusField(static_cast<int>(i) + 1, Caret::SelectAll);
      }
    });
    layout->addWidget(field, 1);
    fields_[i] = field;
  }
  setFocusProxy(fields_[0]);
  SetName(QStringLiteral("IP address"));
}

void IpAddressEdit::SetName(const QString& name) {
  setAccessibleName(name);
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    fields_[i]->setAccessibleName(QStringLiteral("%1, part %2 of 4").arg(name).arg(i + 1));
  }
}

void IpAddressEdit::PasteInto(int index, const QString& text) {
  if (const std::optional<std::uint32_t> address = DottedAddress(text)) {
    SetAddress(*address);
    FocusField(3, Caret::AtEnd);
    return;
  }
  // Part of an address, or something else with a dot: refused as a whole.
  if (text.contains(QLatin1Char('.'))) return;
  // Anything else goes in whole when the field can hold it as typed text, else not at all.
  QLineEdit* field = Field(index);
  QString next = field->text();
  const bool selected = field->hasSelectedText();
  next.replace(selected ? field->selectionStart() : field->cursorPosition(),
               selected ? field->selectedText().size() : 0, text);
  int position = 0;
  if (next.size() > field->maxLength() || field->validator()->validate(next, position) != QValidator::Acceptable) {
    return;
  }
  field->insert(text);
}

std::uint32_t IpAddressEdit::Address() const {
  std::uint32_t address = 0;
  for (const QLineEdit* field : fields_) {
    address = (address << 8) | (field->text().toUInt() & 0xFFu);  // "" reads as 0
  }
  return address;
}

void IpAddressEdit::SetAddress(std::uint32_t address) {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    fields_[i]->setText(QString::number((address >> (24 - 8 * i)) & 0xFFu));
  }
}

QStringList IpAddressEdit::FieldTexts() const {
  QStringList texts;
  for (const QLineEdit* field : fields_) texts << field->text();
  return texts;
}

void IpAddressEdit::Clear() {
  for (QLineEdit* field : fields_) field->clear();
}

int IpAddressEdit::IndexOf(QObject* field) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (fields_[i] == field) return static_cast<int>(i);
  }
  return -1;
}

void IpAddressEdit::FocusField(int index, Caret caret) {
  QLineEdit* field = Field(index);
  field->setFocus(Qt::OtherFocusReason);
  switch (caret) {
    case Caret::SelectAll: field->selectAll(); break;
    case Caret::AtStart: field->home(false); break;
    case Caret::AtEnd: field->end(false); break;
  }
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
  const int index = IndexOf(watched);
  if (index >= 0 && event->type() == QEvent::ContextMenu) {
    // The field's own menu, with its "Paste" going through PasteInto.
    QLineEdit* field = Field(index);
    QMenu* menu = field->createStandardContextMenu();
    for (QAction* action : menu->actions()) {
      if (action->objectName() != QLatin1String("edit-paste")) continue;
      disconnect(action, &QAction::triggered, nullptr, nullptr);
      connect(action, &QAction::triggered, this,
              [this, index] { PasteInto(index, QGuiApplication::clipboard()->text()); });
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
  }
  if (index >= 0 && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Paste)) {
      PasteInto(index, QGuiApplication::clipboard()->text());
      return true;
    }
    const QLineEdit* field = Field(index);
    if ((key->key() == Qt::Key_Period || key->key() == Qt::Key_Space) && index < 3) {
      if (!field->text().isEmpty()) FocusField(index + 1, Caret::SelectAll);
      return true;
    }
    if (key->key() == Qt::Key_Backspace && index > 0 && field->cursorPosition() == 0 &&
        !field->hasSelectedText()) {
      FocusField(index - 1, Caret::AtEnd);
      return true;
    }
    if (key->key() == Qt::Key_Right && index < 3 && field->cursorPosition() == field->text().size()) {
      FocusField(index + 1, Caret::AtStart);
      return true;
    }
    if (key->key() == Qt::Key_Left && index > 0 && field->cursorPosition() == 0) {
      FocusField(index - 1, Caret::AtEnd);
      return true;
    }
  }
  return QFrame::eventFilter(watched, event);
}

}  // namespace sd::gui
