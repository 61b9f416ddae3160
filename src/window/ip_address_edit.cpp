#include "window/ip_address_edit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QRegularExpressionValidator>

namespace sd::gui {

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
      dot->setBackgroundRole(QPalette::Base);
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
  if (index >= 0 && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
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
