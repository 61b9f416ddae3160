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
    : context_(context), target_(target) {}

bool ChangePasswordForm::OnSet(PasswordChangeInput input) {
  const WipeInput wipe_input{input};
  DeviceRecord working = TargetEntry(context_.lists, target_);
  const WipeRecord wipe_working{working};

  if (!LengthOk(input.original)) {
    context_.messages.Error(kPasswordLengthMessage);
    return false;
  }
  SetText(working.password, input.original);
  if (!LengthOk(input.new_password)) {
    context_.messages.Error(kPasswordLengthMessage);
    return false;
  }
  SetText(working.new_password, input.new_password);
  if (!LengthOk(input.confirmation)) {
    context_.messages.Error(kPasswordLengthMessage);
    return false;
  }
  if (input.confirmation != input.new_password) {
    context_.messages.Error(kConfirmPasswordMessage);
    return false;
  }
  context_.sender.RefreshMulticastMembership();
  SendPasswordChange(context_, working, target_);
  return true;
}

}  // namespace sd
