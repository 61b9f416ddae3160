// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/password_form.h"

#include <utility>

#include "operations/configuration_form.h"
#include "operations/secret.h"

namespace sd {

namespace {

bool LengthOk(std::string_view password) { return !password.empty() && password.size() <= kDialogTextLimit; }

struct WipeInput {
  PasswordChangeInput& input;
  ~WipeInput() {
    WipeString(input.original);
    WipeString(input.new_password);
    WipeString(input.confirmation);
  }
};

struct WipeRecord {
  DeviceRecord& record;
  ~WipeRecord() { WipeRecordSecrets(record); }
};

}  // namespace

ChangePasswordForm::ChangePasswordForm(const RequestContext& context, const TargetDevice& target)
    : context_(context), target_(target), chosen_(context.lists, target) {}

bool ChangePasswordForm::OnSet(PasswordChangeInput input) {
  const WipeInput wipe_input{input};
  failed_field_.reset();
  // In the order of the fields: original, new, confirmation.
  const std::pair<const std::string*, PasswordField> fields[] = {
      {&input.original, PasswordField::Original},
      {&input.new_password, PasswordField::New},
      {&input.confirmation, PasswordField::Confirmation},
  };
  for (const auto& [text, field] : fields) {
    if (LengthOk(*text)) continue;
    failed_field_ = field;
    context_.messages.Error(kPasswordLengthMessage);
    return false;
  }
  if (input.confirmation != input.new_password) {
    failed_field_ = PasswordField::Confirmation;
    context_.messages.Error(kConfirmPasswordMessage);
    return false;
  }
  context_.sender.RefreshMulticastMembership();
  const std::optional<TargetDevice> target = FindChosenTarget(context_, chosen_);
  if (!target) return false;
  DeviceRecord working = TargetEntry(context_.lists, *target);
  const WipeRecord wipe_working{working};
  SetText(working.password, input.original);
  SetText(working.new_password, input.new_password);
  SendPasswordChange(context_, working, *target);
  return true;
}

}  // namespace sd
