// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/password_form.h"

#include <gtest/gtest.h>

#include "support/operations.h"
#include "support/tlvs.h"

namespace sd {
namespace {

using test::ConfigurableSwitch;
using test::ShownMessage;
using test::TlvValue;

std::vector<std::uint8_t> Text(std::string_view s) { return {s.begin(), s.end()}; }

class ChangePasswordTest : public ::testing::Test, protected test::OperationsFixture {
 protected:
  void SetUp() override {
    AddMonitored(ConfigurableSwitch("001a2b3c4d5e", "198.18.0.11"));
    AddDiscovered(ConfigurableSwitch("001a2b3c4d60", "198.18.0.12"));
  }
  static constexpr TargetDevice kMonitored{0, 1};
  static constexpr TargetDevice kDiscovered{0, 0};
};

TEST_F(ChangePasswordTest, ThePasswordsAreCheckedOriginalNewConfirmationThenCompared) {
  const ShownMessage length{"Password must be 1-20 characters long.", "Error", MessageIcon::Error};
  const ShownMessage confirm{"Confirm password fail", "Error", MessageIcon::Error};
  const std::string longest(20, 'n');
  const std::string too_long(21, 'n');
  struct Case {
    PasswordChangeInput input;
    std::optional<ShownMessage> refusal;
    std::optional<PasswordField> field;  // the edit that gets the focus back
  };
  const auto original = PasswordField::Original;
  const auto fresh = PasswordField::New;
  const auto confirmation = PasswordField::Confirmation;
  const Case cases[] = {
      {{"admin", "secret", "secret"}, std::nullopt, std::nullopt},
      {{"a", longest, longest}, std::nullopt, std::nullopt},
      {{"", "secret", "secret"}, length, original},
      {{"", "secret", "other"}, length, original},  // only the first failure is reported
      {{std::string(21, 'a'), "secret", "secret"}, length, original},
      {{"admin", "", ""}, length, fresh},
      {{"admin", too_long, too_long}, length, fresh},
      {{"admin", "secret", ""}, length, confirmation},
      {{"admin", "secret", "Secret"}, confirm, confirmation},
      {{"admin", "secret", "secret "}, confirm, confirmation},
  };
  for (const Case& c : cases) {
    messages.shown.clear();
    sender.sent.clear();
    sender.refreshes = 0;
    ChangePasswordForm form(Context(), kMonitored);
    const bool closed = form.OnSet(c.input);
    EXPECT_EQ(form.FailedField(), c.field) << c.input.original << "/" << c.input.new_password << "/" << c.input.confirmation;
    if (c.refusal) {
      EXPECT_FALSE(closed) << c.input.original << "/" << c.input.new_password << "/" << c.input.confirmation;
      EXPECT_EQ(messages.shown, std::vector{*c.refusal}) << c.input.new_password;
      // Nothing goes out, and the membership is not renewed for a refusal.
      EXPECT_TRUE(sender.sent.empty());
      EXPECT_EQ(sender.refreshes, 0);
    } else {
      EXPECT_TRUE(closed);
      EXPECT_TRUE(messages.shown.empty());
      ASSERT_EQ(sender.sent.size(), 1u);
      EXPECT_EQ(sender.refreshes, 1);
      EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_PASSWORD), Text(c.input.original));
      EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_NEW_PASSWORD), Text(c.input.new_password));
    }
  }
}

TEST_F(ChangePasswordTest, AnEmptyOriginalIsRefusedAlsoForASwitchWithoutPassword) {
  DeviceRecord entry = ConfigurableSwitch("001a2b3c4d61", "198.18.0.13");
  SetText(entry.password, "");
  AddMonitored(entry);
  ChangePasswordForm form(Context(), {1, 1});
  EXPECT_FALSE(form.OnSet({"", "secret", "secret"}));
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Password must be 1-20 characters long."});
}

TEST_F(ChangePasswordTest, TheMembershipIsRenewedRightBeforeTheRequest) {
  std::vector<std::string> order;
  sender.on_refresh = [&] { order.push_back("refresh"); };
  sender.on_send = [&](SendRoute) { order.push_back("send"); };
  ChangePasswordForm form(Context(), kDiscovered);
  EXPECT_TRUE(form.OnSet({"admin", "secret", "secret"}));
  EXPECT_EQ(order, (std::vector<std::string>{"refresh", "send", "send"}));
  EXPECT_EQ(ParseHeader(sender.sent[0].bytes)->command, CMD_SET);
}

TEST_F(ChangePasswordTest, ASendFailureStillClosesTheDialog) {
  sender.failing = {SendRoute::Broadcast};
  ChangePasswordForm form(Context(), kDiscovered);
  EXPECT_TRUE(form.OnSet({"admin", "secret", "secret"}));
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{"UDP set send error"});
  EXPECT_EQ(sender.sent.size(), 1u);
}

TEST_F(ChangePasswordTest, TheLauncherOpensTheDialogAndTheTypedPasswordsReachTheSwitch) {
  SelectMonitorRow(0);
  password_dialog.script = [](ChangePasswordForm& form) {
    EXPECT_EQ(form.Target(), (TargetDevice{0, 1}));
    EXPECT_TRUE(form.OnSet({"admin", "n3w", "n3w"}));
  };
  ops.OnChangePassword();
  EXPECT_EQ(password_dialog.runs, 1);
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(sender.sent[0].to, (Endpoint{*TextToIpv4("198.18.0.11"), 50002}));
  EXPECT_EQ(ParseHeader(sender.sent[0].bytes)->command, CMD_SET_UNICAST);
  EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_NEW_PASSWORD), Text("n3w"));
  // The list entry never holds a typed password.
  EXPECT_EQ(GetText(dlg.MonitorTable().Entry(0).password), "");
  EXPECT_EQ(GetText(dlg.MonitorTable().Entry(0).new_password), "");
}

}  // namespace
}  // namespace sd
