// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Remote IP": asks for the address of a switch to add to the Monitor List by hand. "Apply"
// (also Enter) hands the address to the caller's check, which decides whether the dialog may
// close; "Cancel" (also Escape and the close box) closes it without a check.

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <cstdint>
#include <functional>

#include "window/ip_address_edit.h"
#include "common/remote_ip_dialog.h"

namespace sd::gui {

class CAdd_remoteIP : public QDialog {
  Q_OBJECT

 public:
  // Given the typed address in host order (blank fields as 0); true closes the dialog as
  // accepted, false keeps it open with the address as typed (the check tells the user why).
  using AddressCheck = std::function<bool(std::uint32_t address)>;

  explicit CAdd_remoteIP(AddressCheck check, QWidget* parent = nullptr);

  std::uint32_t Address() const { return address_edit_->Address(); }
  IpAddressEdit* AddressEdit() const { return address_edit_; }
  QPushButton* ApplyButton() const { return apply_; }
  QPushButton* CancelButton() const { return cancel_; }

  // "Apply": closes as accepted only when the check agrees; after a refusal the focus is on
  // the first part of the address, its text selected.
  void OnOK();

 protected:
  void accept() override { OnOK(); }

 private:
  AddressCheck check_;
  QLabel* label_ = nullptr;
  IpAddressEdit* address_edit_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// "Add item"'s Remote IP dialog as the core asks for it: one modal run per call.
class QtRemoteIpDialog : public IRemoteIpDialog {
 public:
  explicit QtRemoteIpDialog(QWidget* owner = nullptr) : owner_(owner) {}
  bool Run(const std::function<bool(std::uint32_t address)>& apply) override;

 private:
  QWidget* owner_;
};

}  // namespace sd::gui
