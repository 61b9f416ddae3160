#include "operations/password_form.h"

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
  // In the order of the fields: original, new, confirmation.
  for (const std::string* field : {&input.original, &input.new_password, &input.confirmation}) {
    if (LengthOk(*field)) continue;
    context_.messages.Error(kPasswordLengthMessage);
    return false;
  }
  if (input.confirmation != input.new_password) {
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
