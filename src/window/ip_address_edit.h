// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An IPv4 address entry of four decimal fields separated by dots, each 0-255. A blank field
// reads as 0. Typing a dot or a third digit moves on to the next field; Backspace in an empty
// field moves back. A whole dotted address pasted into any field fills all four; other pasted
// text with a dot in it is refused, leaving the fields as they were.

#include <QFrame>
#include <QLineEdit>
#include <QStringList>
#include <array>
#include <cstdint>

namespace sd::gui {

class IpAddressEdit : public QFrame {
  Q_OBJECT

 public:
  explicit IpAddressEdit(QWidget* parent = nullptr);

  // The address in host order, the first field in the top byte.
  std::uint32_t Address() const;
  void SetAddress(std::uint32_t address);
  // Each field's text as typed ("" for a blank field).
  QStringList FieldTexts() const;
  void Clear();
  // The control's accessible name, and its fields' ("NAME, part 1 of 4" ...).
  void SetName(const QString& name);
  // Pastes `text` into field `index` as the user's paste does.
  void PasteInto(int index, const QString& text);
  QLineEdit* Field(int index) const { return fields_.at(static_cast<std::size_t>(index)); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int IndexOf(QObject* field) const;
  enum class Caret { SelectAll, AtStart, AtEnd };
  void FocusField(int index, Caret caret);

  std::array<QLineEdit*, 4> fields_{};
};

}  // namespace sd::gui
