// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Password_change" dialog without its widgets: "Set" checks the original, new and
// confirmation passwords in that order and sends one password-change request.

#include <optional>
#include <string>
#include <string_view>

#include "operations/operation_gate.h"
#include "operations/set_requests.h"

namespace sd {

inline constexpr std::string_view kConfirmPasswordMessage = "Confirm password fail";

// The three password edits, by their control numbers.
enum class PasswordField { Original = 1016, New = 1021, Confirmation = 1023 };

// The three password edits as typed (each limited to 20 characters by the dialog).
struct PasswordChangeInput {
  std::string original;
  std::string new_password;
  std::string confirmation;
};

class ChangePasswordForm {
 public:
  ChangePasswordForm(const RequestContext& context, const TargetDevice& target);

  const TargetDevice& Target() const { return target_; }

  // "Set": each password must be 1 to 20 characters ("Password must be 1-20 characters
  // long."), checked in the order original, new, confirmation; the confirmation must equal the
  // new password byte for byte ("Confirm password fail"). A refusal keeps the dialog open
  // (false) and sends nothing. Otherwise the group membership is renewed, the request sent, and
  // the dialog closes (true) whatever the send gave; a switch no longer listed is refused then
  // (false), and nothing is sent. Every copy of the passwords made here is
  // wiped before this returns.
  bool OnSet(PasswordChangeInput input);
  // The edit the last "Set" refused (the confirmation when it differs from the new password),
  // for the dialog to give it the focus once the message is closed; nothing otherwise.
  std::optional<PasswordField> FailedField() const { return failed_field_; }

 private:
  RequestContext context_;
  TargetDevice target_;
  ChosenTarget chosen_;
  std::optional<PasswordField> failed_field_;
};

}  // namespace sd
