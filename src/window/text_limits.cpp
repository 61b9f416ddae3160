// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/text_limits.h"

#include <QValidator>

namespace sd::gui {
namespace {

class Utf8ByteValidator : public QValidator {
 public:
  Utf8ByteValidator(QLineEdit& edit, int max_bytes) : QValidator(&edit), max_bytes_(max_bytes) {
    // The size of the text the edit holds now, whoever set it.
    connect(&edit, &QLineEdit::textChanged, this,
            [this](const QString& text) { held_bytes_ = static_cast<int>(text.toUtf8().size()); });
    held_bytes_ = static_cast<int>(edit.text().toUtf8().size());
  }

  State validate(QString& input, int& /*position*/) const override {
    const int bytes = static_cast<int>(input.toUtf8().size());
    if (bytes <= max_bytes_) return Acceptable;
    // Still too long, but shorter than what the edit held: the user is shortening it.
    if (bytes < held_bytes_) return Intermediate;
    return Invalid;
  }

  int MaxBytes() const { return max_bytes_; }

 private:
  int max_bytes_;
  int held_bytes_ = 0;
};

}  // namespace

void LimitUtf8Bytes(QLineEdit& edit, int max_bytes) {
  // Counted in bytes only: a character limit would cut a pasted text to fit.
  edit.setMaxLength(32767);
  edit.setValidator(new Utf8ByteValidator(edit, max_bytes));
}

void ShowText(QLineEdit& edit, const QString& text) {
  // Set past the validator: an edit given a text its validator refuses would stop refusing
  // what the user types after it.
  const QValidator* validator = edit.validator();
  edit.setValidator(nullptr);
  edit.setText(text);
  edit.setValidator(validator);
}

int Utf8ByteLimit(const QLineEdit& edit) {
  const auto* limit = dynamic_cast<const Utf8ByteValidator*>(edit.validator());
  return limit ? limit->MaxBytes() : -1;
}

}  // namespace sd::gui
