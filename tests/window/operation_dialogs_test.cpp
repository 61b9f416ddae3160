// SPDX-License-Identifier: GPL-3.0-or-later
// The device operations' dialogs on their own: what they show, what they let the user type, and
// what reaches their form (and through it a recording sender) when the user acts.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "window/colours.h"
#include "window/configuration_dialog.h"
#include "window/dhcp_refresh_dialog.h"
#include "window/group_interval_dialog.h"
#include "window/password_dialog.h"
#include "window/qt_messages.h"
#include "window/remote_ip_dialog.h"
#include "window/modal.h"
#include "window/screenshot.h"
#include "window/text_limits.h"
#include "settings/settings_file.h"
#include "support/operations.h"
#include "support/temp_dir.h"
#include "support/tlvs.h"

namespace sd::gui {
namespace {

using test::ConfigurableSwitch;
using test::HasWhiteBackground;
using test::IsBlackOnWhite;
using test::KeepsDefaultColours;
using test::SaveScreenshot;
using test::ShownMessage;
using test::TlvValue;

std::uint32_t Ip(const char* text) { return *TextToIpv4(text); }

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> AddressBytes(const char* text) {
  const std::uint32_t a = Ip(text);
  return {static_cast<std::uint8_t>(a >> 24), static_cast<std::uint8_t>(a >> 16),
          static_cast<std::uint8_t>(a >> 8), static_cast<std::uint8_t>(a)};
}

ShownMessage ErrorBox(std::string_view text) { return {std::string(text), "Error", MessageIcon::Error}; }

// The widgets the keyboard visits, in order (each address control once).
template <typename Id>
std::vector<int> FocusOrder(QDialog& dialog, Id id_of) {
  std::vector<int> order;
  for (QWidget* w = dialog.nextInFocusChain(); w != &dialog; w = w->nextInFocusChain()) {
    if (!(w->focusPolicy() & Qt::TabFocus) || w->focusProxy()) continue;
    const int id = id_of(w);
    if (id != 0 && (order.empty() || order.back() != id)) order.push_back(id);
  }
  return order;
}

// The number in a widget's object name "controlNNNN", looking through an address control's
// fields to the control itself; 0 for anything else.
int ControlId(const QWidget* w) {
  for (; w != nullptr; w = w->parentWidget()) {
    if (w->objectName().startsWith("control")) return w->objectName().mid(7).toInt();
  }
  return 0;
}

void Type(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  QTest::keyClicks(edit, text);
}

class OperationDialogTest : public ::testing::Test, protected test::OperationsFixture {
 protected:
  void SetUp() override {
    Settings.multicast_timer = 125;
    dir.Write("define.ecf", MakeSealedSettings("manager_id=01945AE0\r\nbase_port=C350\r\n"
                                               "multicast_group=239.255.100.100\r\nmulticast_interface_on_off=1\r\n"
                                               "multicast_timer_flag=1\r\nstrlen_multi_timer=3\r\n"
                                               "multicast_timer=125\r\n"));
  }
  ConfigurationForm ConfigurationFormOn(DeviceRecord r) {
    AddMonitored(r);
    return ConfigurationForm(Context(), {dlg.MonitorTable().Count() - 1, 1}, dlg.DiscoveryTable().Count(),
                             dlg.MonitorTable().Count());
  }
  std::vector<ShownMessage>& shown() { return messages.shown; }

  test::TempConfigDir dir;
};

// ---- Configuration setting ----

TEST_F(OperationDialogTest, ConfigurationShowsEveryControlBesideItsLabelInTheTemplatesOrder) {
  ConfigurationForm form = ConfigurationFormOn(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
  CConfiguration_Set dialog(form);
  EXPECT_EQ(dialog.windowTitle(), "Configuration setting");

  struct Row {
    int label;
    const char* text;
    int control;  // 0: the two DHCP radio buttons
  };
  const Row rows[] = {
      {1115, "Product name", 1024}, {1116, "MAC Address", 1028}, {1117, "IP Address", 1033},
      {1118, "Subnet mask", 1036},  {1119, "Gateway", 1034},     {1120, "Set trap to", 1035},
      {1121, "System name", 1027},  {1127, "Location", 1031},    {1128, "Password", 1022},
      {1122, "DHCP", 0},            {1138, "Group Interval", 1032},
  };
  QGridLayout* grid = dialog.Fields();
  ASSERT_EQ(grid->rowCount(), static_cast<int>(std::size(rows)));
  for (int r = 0; r < grid->rowCount(); ++r) {
    const Row& row = rows[r];
    auto* label = qobject_cast<QLabel*>(grid->itemAtPosition(r, 0)->widget());
    ASSERT_NE(label, nullptr) << row.text;
    EXPECT_EQ(label, dialog.Control(row.label)) << row.text;
    EXPECT_EQ(label->text().toStdString(), row.text);
    QWidget* control = grid->itemAtPosition(r, 1)->widget();
    if (row.control != 0) {
      EXPECT_EQ(control, dialog.Control(row.control)) << row.text;
    } else {
      EXPECT_EQ(dialog.DhcpEnable()->parentWidget(), control);
      EXPECT_EQ(dialog.DhcpDisable()->parentWidget(), control);
    }
  }
  EXPECT_EQ(dialog.DhcpEnable()->text(), "Enable");
  EXPECT_EQ(dialog.DhcpDisable()->text(), "Disable");
  EXPECT_EQ(dialog.Control(1130), dialog.DhcpEnable());
  EXPECT_EQ(dialog.Control(1131), dialog.DhcpDisable());
  EXPECT_EQ(dialog.SetButton()->text(), "Set");
  EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
  for (QPushButton* button : {dialog.SetButton(), dialog.CancelButton()}) {
    EXPECT_FALSE(button->isDefault() || button->autoDefault()) << button->text().toStdString();
  }
  EXPECT_EQ(FocusOrder(dialog, ControlId),
            (std::vector<int>{1024, 1028, 1033, 1036, 1034, 1035, 1027, 1031, 1022, 1130, 1131, 1032, 1011, 1015}));
}

TEST_F(OperationDialogTest, ConfigurationOpensOnTheSwitchAsItsEntryHoldsIt) {
  struct Case {
    const char* mask;
    const char* gateway;
    const char* trap;
    QStringList mask_fields, gateway_fields, trap_fields;
  };
  const QStringList blank{"", "", "", ""};
  const Case cases[] = {
      {"255.255.255.0", "192.168.1.1", "192.168.1.5", {"255", "255", "255", "0"}, {"192", "168", "1", "1"},
       {"192", "168", "1", "5"}},
      {"", "", "", blank, blank, blank},
      {"not an address", "300.1.1.1", "10.1.2", blank, blank, blank},
      {"0.0.0.0", "192.168.1.1", "0.0.0.0", {"0", "0", "0", "0"}, {"192", "168", "1", "1"}, {"0", "0", "0", "0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mask);
    DeviceRecord r = ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10");
    SetText(r.product_name, "SD-8 Managed");
    SetText(r.subnet_mask_text, c.mask);
    SetText(r.gateway_text, c.gateway);
    SetText(r.trap_ip_text, c.trap);
    ConfigurationForm form = ConfigurationFormOn(r);
    CConfiguration_Set dialog(form);
    EXPECT_EQ(dialog.ProductName()->text(), "SD-8 Managed");
    EXPECT_EQ(dialog.MacAddress()->text(), "001a2b3c4d5e");
    EXPECT_EQ(dialog.IpAddress()->FieldTexts(), (QStringList{"192", "168", "1", "10"}));
    EXPECT_EQ(dialog.SubnetMask()->FieldTexts(), c.mask_fields);
    EXPECT_EQ(dialog.Gateway()->FieldTexts(), c.gateway_fields);
    EXPECT_EQ(dialog.TrapIp()->FieldTexts(), c.trap_fields);
    EXPECT_EQ(dialog.SystemName()->text(), "edge");
    EXPECT_EQ(dialog.Location()->text(), "hall");
    EXPECT_EQ(dialog.Password()->text(), "");
  }
}

TEST_F(OperationDialogTest, ConfigurationLimitsItsEditsAndHidesThePassword) {
  ConfigurationForm form = ConfigurationFormOn(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
  CConfiguration_Set dialog(form);
  dialog.show();
  EXPECT_TRUE(dialog.ProductName()->isReadOnly());
  EXPECT_TRUE(dialog.MacAddress()->isReadOnly());
  EXPECT_EQ(dialog.Password()->echoMode(), QLineEdit::Password);
  struct Case {
    QLineEdit* edit;
    const char* typed;
    const char* kept;
  };
  const Case cases[] = {
      {dialog.SystemName(), "abcdefghijklmnopqrstuvwxyz", "abcdefghijklmnopqrst"},
      {dialog.Location(), "Building 7, second floor", "Building 7, second f"},
      {dialog.Password(), "0123456789abcdefghijKLMN", "0123456789abcdefghij"},
      // Any character may be typed; "Set" tells the user what the interval takes.
      {dialog.GroupInterval(), "12a45", "12a4"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(c.edit->isReadOnly()) << c.typed;
    c.edit->clear();
    Type(c.edit, c.typed);
    EXPECT_EQ(c.edit->text().toStdString(), c.kept);
  }
}

TEST_F(OperationDialogTest, ConfigurationDhcpRadiosFollowTheStoredStateAndTheClicks) {
  struct Case {
    std::uint16_t stored;
    bool radios_enabled, enable_checked, disable_checked, addresses_enabled;
  };
  const Case cases[] = {
      {DHCP_OFF, true, false, true, true},
      {DHCP_ON, true, true, false, false},
      {DHCP_NOT_REPORTED, false, false, false, true},
  };
  auto expect_state = [](CConfiguration_Set& d, bool enable, bool disable, bool addresses) {
    EXPECT_EQ(d.DhcpEnable()->isChecked(), enable);
    EXPECT_EQ(d.DhcpDisable()->isChecked(), disable);
    for (IpAddressEdit* a : {d.IpAddress(), d.SubnetMask(), d.Gateway()}) EXPECT_EQ(a->isEnabled(), addresses);
    EXPECT_TRUE(d.TrapIp()->isEnabled());
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    DeviceRecord r = ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10");
    r.dhcp = c.stored;
    ConfigurationForm form = ConfigurationFormOn(r);
    CConfiguration_Set dialog(form);
    dialog.show();
    EXPECT_EQ(dialog.DhcpEnable()->isEnabled(), c.radios_enabled);
    EXPECT_EQ(dialog.DhcpDisable()->isEnabled(), c.radios_enabled);
    expect_state(dialog, c.enable_checked, c.disable_checked, c.addresses_enabled);
    if (!c.radios_enabled) continue;
    // Each click checks its own button, unchecks the other and sets the address controls;
    // clicking the checked button again leaves it checked.
    for (int i = 0; i < 2; ++i) {
      QTest::mouseClick(dialog.DhcpEnable(), Qt::LeftButton);
      expect_state(dialog, true, false, false);
    }
    for (int i = 0; i < 2; ++i) {
      QTest::mouseClick(dialog.DhcpDisable(), Qt::LeftButton);
      expect_state(dialog, false, true, true);
    }
    dialog.DhcpEnable()->setFocus();
    QTest::keyClick(dialog.DhcpEnable(), Qt::Key_Space);
    expect_state(dialog, true, false, false);
  }
}

TEST_F(OperationDialogTest, ConfigurationGroupIntervalFieldFollowsTheSettingAndTheSwitch) {
  struct Case {
    int setting;
    std::int32_t stored;
    bool visible, enabled;
    const char* text;
  };
  const Case cases[] = {
      {1, 125, true, true, "125"},
      {1, 0, true, true, "0"},
      {1, GROUP_INTERVAL_NOT_REPORTED, true, false, ""},
      {0, 125, false, false, ""},
      {2, 125, false, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.setting << " " << c.stored);
    Settings.multicast_interface_on_off = c.setting;
    DeviceRecord r = ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10");
    r.group_interval = c.stored;
    ConfigurationForm form = ConfigurationFormOn(r);
    CConfiguration_Set dialog(form);
    dialog.show();
    EXPECT_EQ(dialog.GroupIntervalLabel()->isVisible(), c.visible);
    EXPECT_EQ(dialog.GroupInterval()->isVisible(), c.visible);
    if (c.visible) {
      EXPECT_EQ(dialog.GroupInterval()->isEnabled(), c.enabled);
      EXPECT_EQ(dialog.GroupInterval()->text().toStdString(), c.text);
    }
    EXPECT_EQ(dialog.GroupInterval()->maxLength(), 4);
  }
}

TEST_F(OperationDialogTest, ConfigurationIsWhiteWithItsLabelsRadiosAndEditsBlackOnWhite) {
  DeviceRecord r = ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10");
  SetText(r.product_name, "SD-8 Managed");
  SetText(r.subnet_mask_text, "255.255.255.0");
  SetText(r.gateway_text, "192.168.1.1");
  SetText(r.trap_ip_text, "192.168.1.5");
  ConfigurationForm form = ConfigurationFormOn(r);
  CConfiguration_Set dialog(form);
  EXPECT_TRUE(HasWhiteBackground(dialog));
  // Label 1138 too: it is drawn on the white background like the other labels.
  for (int id : {1115, 1116, 1117, 1118, 1119, 1120, 1121, 1122, 1127, 1128, 1138, 1130, 1131, 1022, 1027, 1031}) {
    EXPECT_TRUE(IsBlackOnWhite(*dialog.Control(id))) << id;
  }
  // The read-only boxes, the address controls, the group interval edit and the buttons keep
  // theirs.
  for (int id : {1024, 1028, 1033, 1036, 1034, 1035, 1032, 1011, 1015}) {
    EXPECT_TRUE(KeepsDefaultColours(*dialog.Control(id))) << id;
  }
  dialog.Password()->setText("secret");
  SaveScreenshot(dialog, "configuration_dialog");
  dialog.DhcpEnable()->click();
  SaveScreenshot(dialog, "configuration_dialog_dhcp_on");
}

TEST_F(OperationDialogTest, ConfigurationIgnoresEnterAndEscape) {
  ConfigurationForm form = ConfigurationFormOn(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
  CConfiguration_Set dialog(form);
  dialog.open();
  Type(dialog.Password(), "admin");
  for (QWidget* target : {static_cast<QWidget*>(dialog.Password()), static_cast<QWidget*>(dialog.SystemName()),
                          static_cast<QWidget*>(dialog.SetButton()), static_cast<QWidget*>(dialog.CancelButton())}) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      target->setFocus();
      QTest::keyClick(target, key);
      EXPECT_TRUE(dialog.isVisible()) << ControlId(target) << " " << key;
    }
  }
  EXPECT_EQ(sender.refreshes, 0);
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_EQ(dialog.Password()->text(), "admin");
}

TEST_F(OperationDialogTest, ConfigurationSetSendsWhatWasTypedAndForgetsThePassword) {
  ConfigurationForm form = ConfigurationFormOn(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
  CConfiguration_Set dialog(form);
  dialog.open();
  dialog.SystemName()->clear();
  Type(dialog.SystemName(), "core");
  Type(dialog.Password(), "admin");
  dialog.IpAddress()->Field(3)->setText("20");
  dialog.TrapIp()->SetAddress(Ip("192.168.1.5"));
  dialog.GroupInterval()->setText("0300");
  dialog.SetButton()->click();

  EXPECT_TRUE(shown().empty()) << shown().front().text;
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Password()->text(), "");
  EXPECT_EQ(sender.refreshes, 1);
  ASSERT_EQ(sender.sent.size(), 1u);
  const auto& d = sender.sent[0];
  EXPECT_EQ(d.route, SendRoute::Unicast);
  EXPECT_EQ(d.to.address, Ip("192.168.1.10"));  // where the switch is now
  EXPECT_EQ(ParseHeader(d.bytes)->command, CMD_SET_UNICAST);
  EXPECT_EQ(TlvValue(d.bytes, TLV_SYSTEM_NAME), Bytes("core"));
  EXPECT_EQ(TlvValue(d.bytes, TLV_LOCATION), Bytes("hall"));  // untouched, as it came
  EXPECT_EQ(TlvValue(d.bytes, TLV_PASSWORD), Bytes("admin"));
  EXPECT_EQ(TlvValue(d.bytes, TLV_IP_ADDRESS), AddressBytes("192.168.1.20"));
  EXPECT_EQ(TlvValue(d.bytes, TLV_SUBNET_MASK), AddressBytes("255.255.255.0"));
  EXPECT_EQ(TlvValue(d.bytes, TLV_GATEWAY), AddressBytes("192.168.1.1"));
  EXPECT_EQ(TlvValue(d.bytes, TLV_TRAP_IP), AddressBytes("192.168.1.5"));
  EXPECT_EQ(TlvValue(d.bytes, TLV_GROUP_INTERVAL), (std::vector<std::uint8_t>{0, 0, 0x01, 0x2C}));
}

TEST_F(OperationDialogTest, ConfigurationRefusalKeepsTheDialogOpenWithTheFieldsAsTyped) {
  struct Case {
    const char* password;
    const char* ip_last_octet;
    std::string_view message;
  };
  const Case cases[] = {
      {"", "20", kPasswordLengthMessage},
      {"admin", "0", kInvalidIpMessage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    shown().clear();
    ConfigurationForm form = ConfigurationFormOn(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
    CConfiguration_Set dialog(form);
    dialog.open();
    dialog.SystemName()->setText("core");
    Type(dialog.Password(), c.password);
    dialog.IpAddress()->Field(3)->setText(c.ip_last_octet);
    dialog.SetButton()->click();
    EXPECT_EQ(shown(), std::vector<ShownMessage>{ErrorBox(c.message)});
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.SystemName()->text(), "core");
    EXPECT_EQ(dialog.Password()->text().toStdString(), c.password);
    EXPECT_EQ(dialog.IpAddress()->FieldTexts(), (QStringList{"192", "168", "1", c.ip_last_octet}));
    EXPECT_TRUE(sender.sent.empty());
  }
}

TEST_F(OperationDialogTest, CancelAndTheCloseBoxSendNothingAndForgetThePasswords) {
  const std::vector<std::pair<const char*, std::function<void(QDialog&, QPushButton*)>>> ways = {
      {"Cancel", [](QDialog&, QPushButton* cancel) { cancel->click(); }},
      {"close box", [](QDialog& d, QPushButton*) { d.close(); }},
  };
  for (const auto& [name, close] : ways) {
    SCOPED_TRACE(name);
    ConfigurationForm configuration = ConfigurationFormOn(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
    CConfiguration_Set settings_dialog(configuration);
    settings_dialog.open();
    settings_dialog.Password()->setText("admin");
    close(settings_dialog, settings_dialog.CancelButton());
    EXPECT_FALSE(settings_dialog.isVisible());
    EXPECT_EQ(settings_dialog.result(), QDialog::Rejected);
    EXPECT_EQ(settings_dialog.Password()->text(), "");

    ChangePasswordForm change(Context(), {0, 1});
    CChange_Password passwords_dialog(change);
    passwords_dialog.open();
    for (QLineEdit* e : {passwords_dialog.OriginalPassword(), passwords_dialog.NewPassword(),
                         passwords_dialog.ConfirmPassword()}) {
      e->setText("typed");
    }
    close(passwords_dialog, passwords_dialog.CancelButton());
    EXPECT_FALSE(passwords_dialog.isVisible());
    for (QLineEdit* e : {passwords_dialog.OriginalPassword(), passwords_dialog.NewPassword(),
                         passwords_dialog.ConfirmPassword()}) {
      EXPECT_EQ(e->text(), "");
    }
  }
  EXPECT_EQ(sender.refreshes, 0);
  EXPECT_TRUE(sender.sent.empty());
}

// ---- Password_change ----

TEST_F(OperationDialogTest, PasswordChangeShowsThreeHiddenEditsInTheTemplatesOrder) {
  AddMonitored(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
  ChangePasswordForm form(Context(), {0, 1});
  CChange_Password dialog(form);
  EXPECT_EQ(dialog.windowTitle(), "Password_change");
  const std::pair<const char*, QLineEdit*> rows[] = {
      {"New password", dialog.NewPassword()},
      {"Confirm password", dialog.ConfirmPassword()},
      {"Original password", dialog.OriginalPassword()},
  };
  ASSERT_EQ(dialog.Fields()->rowCount(), 3);
  for (int r = 0; r < 3; ++r) {
    auto* label = qobject_cast<QLabel*>(dialog.Fields()->itemAtPosition(r, 0)->widget());
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text().toStdString(), rows[r].first);
    EXPECT_EQ(dialog.Fields()->itemAtPosition(r, 1)->widget(), rows[r].second);
    EXPECT_EQ(rows[r].second->echoMode(), QLineEdit::Password) << rows[r].first;
    EXPECT_EQ(Utf8ByteLimit(*rows[r].second), 20) << rows[r].first;
    EXPECT_EQ(rows[r].second->text(), "");
    EXPECT_TRUE(IsBlackOnWhite(*label)) << rows[r].first;
    EXPECT_TRUE(IsBlackOnWhite(*rows[r].second)) << rows[r].first;
  }
  EXPECT_EQ(ControlId(dialog.NewPassword()), 1021);
  EXPECT_EQ(ControlId(dialog.ConfirmPassword()), 1023);
  EXPECT_EQ(ControlId(dialog.OriginalPassword()), 1016);
  EXPECT_EQ(dialog.SetButton()->text(), "Set");
  EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
  EXPECT_TRUE(HasWhiteBackground(dialog));
  for (QPushButton* button : {dialog.SetButton(), dialog.CancelButton()}) {
    EXPECT_FALSE(button->isDefault() || button->autoDefault());
    EXPECT_TRUE(KeepsDefaultColours(*button));
  }
  EXPECT_EQ(FocusOrder(dialog, ControlId), (std::vector<int>{1021, 1023, 1016, 1032, 1015}));
  dialog.show();
  Type(dialog.NewPassword(), "abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(dialog.NewPassword()->text(), "abcdefghijklmnopqrst");
  dialog.ConfirmPassword()->setText("x");
  SaveScreenshot(dialog, "password_dialog");
}

TEST_F(OperationDialogTest, PasswordChangeIgnoresEnterAndEscape) {
  AddMonitored(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
  ChangePasswordForm form(Context(), {0, 1});
  CChange_Password dialog(form);
  dialog.open();
  for (QLineEdit* e : {dialog.OriginalPassword(), dialog.NewPassword(), dialog.ConfirmPassword()}) e->setText("same");
  for (QWidget* target : {static_cast<QWidget*>(dialog.ConfirmPassword()), static_cast<QWidget*>(dialog.SetButton())}) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      target->setFocus();
      QTest::keyClick(target, key);
      EXPECT_TRUE(dialog.isVisible()) << ControlId(target) << " " << key;
    }
  }
  EXPECT_TRUE(sender.sent.empty());
}

TEST_F(OperationDialogTest, PasswordChangeSendsOnlyAConfirmedPasswordAndThenForgetsAllThree) {
  AddMonitored(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
  ChangePasswordForm form(Context(), {0, 1});
  CChange_Password dialog(form);
  dialog.open();
  Type(dialog.OriginalPassword(), "admin");
  Type(dialog.NewPassword(), "n3w-Secret");
  Type(dialog.ConfirmPassword(), "n3w-secret");
  dialog.SetButton()->click();
  EXPECT_EQ(shown(), std::vector<ShownMessage>{ErrorBox("Confirm password fail")});
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.ConfirmPassword()->text(), "n3w-secret");
  EXPECT_EQ(dialog.OriginalPassword()->text(), "admin");
  EXPECT_TRUE(sender.sent.empty());

  dialog.ConfirmPassword()->setText("n3w-Secret");
  dialog.SetButton()->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(sender.sent[0].route, SendRoute::Unicast);
  EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_PASSWORD), Bytes("admin"));
  EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_NEW_PASSWORD), Bytes("n3w-Secret"));
  for (QLineEdit* e : {dialog.OriginalPassword(), dialog.NewPassword(), dialog.ConfirmPassword()}) {
    EXPECT_EQ(e->text(), "");
    EXPECT_FALSE(e->isUndoAvailable());
  }
}

// ---- DHCP Refresh ----

TEST_F(OperationDialogTest, DhcpRefreshAsksForTheHiddenPasswordWithApplyAsDefault) {
  DeviceRecord r = ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10");
  r.dhcp = DHCP_ON;
  AddMonitored(r);
  DhcpRefreshForm form(Context(), {0, 1});
  CDHCP_Refresh dialog(form);
  EXPECT_EQ(dialog.windowTitle(), "DHCP Refresh");
  EXPECT_EQ(dialog.PasswordLabel()->text(), "Password");
  EXPECT_EQ(dialog.Password()->echoMode(), QLineEdit::Password);
  EXPECT_EQ(Utf8ByteLimit(*dialog.Password()), 20);
  EXPECT_EQ(dialog.ApplyButton()->text(), "Apply");
  EXPECT_TRUE(dialog.ApplyButton()->isDefault());
  EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
  EXPECT_FALSE(dialog.CancelButton()->isDefault());
  // No colours of its own.
  for (QWidget* w : std::initializer_list<QWidget*>{&dialog, dialog.PasswordLabel(), dialog.Password()}) {
    EXPECT_TRUE(KeepsDefaultColours(*w));
  }
  EXPECT_FALSE(dialog.autoFillBackground());
  dialog.Password()->setText("admin");
  SaveScreenshot(dialog, "dhcp_refresh_dialog");
}

TEST_F(OperationDialogTest, DhcpRefreshAppliesByButtonOrEnterAndCancelsByEscapeOrTheCloseBox) {
  DeviceRecord r = ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10");
  r.dhcp = DHCP_ON;
  AddMonitored(r);
  struct Case {
    const char* name;
    const char* password;
    std::function<void(CDHCP_Refresh&)> act;
    QDialog::DialogCode result;
  };
  const Case cases[] = {
      {"Apply", "admin", [](CDHCP_Refresh& d) { d.ApplyButton()->click(); }, QDialog::Accepted},
      {"Enter", "admin", [](CDHCP_Refresh& d) { QTest::keyClick(d.Password(), Qt::Key_Return); }, QDialog::Accepted},
      {"empty password", "", [](CDHCP_Refresh& d) { d.ApplyButton()->click(); }, QDialog::Accepted},
      {"Escape", "admin", [](CDHCP_Refresh& d) { QTest::keyClick(d.Password(), Qt::Key_Escape); }, QDialog::Rejected},
      {"Cancel", "admin", [](CDHCP_Refresh& d) { d.CancelButton()->click(); }, QDialog::Rejected},
      {"close box", "admin", [](CDHCP_Refresh& d) { d.close(); }, QDialog::Rejected},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sender.sent.clear();
    DhcpRefreshForm form(Context(), {0, 1});
    CDHCP_Refresh dialog(form);
    dialog.open();
    Type(dialog.Password(), c.password);
    c.act(dialog);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), c.result);
    EXPECT_EQ(dialog.Password()->text(), "");
    if (c.result == QDialog::Rejected) {
      EXPECT_TRUE(sender.sent.empty());
      continue;
    }
    ASSERT_EQ(sender.sent.size(), 1u);
    EXPECT_EQ(TlvValue(sender.sent[0].bytes, TLV_PASSWORD), Bytes(c.password));
  }
  EXPECT_TRUE(shown().empty());
}

// ---- Group Interval ----

TEST_F(OperationDialogTest, GroupIntervalShowsTheRangeAndTheCurrentInterval) {
  GroupTimerForm form(sender, messages);
  CGroupTimer dialog(form);
  EXPECT_EQ(dialog.windowTitle(), "Group Interval");
  EXPECT_EQ(dialog.Hint()->text(), "Disable : 0\nEnable  : 120-1225 ");
  EXPECT_EQ(dialog.Hint()->textFormat(), Qt::PlainText);
  EXPECT_EQ(dialog.IntervalLabel()->text(), "Group Interval");
  EXPECT_EQ(dialog.Interval()->text(), "125");
  EXPECT_EQ(dialog.Interval()->maxLength(), 4);
  EXPECT_EQ(dialog.Interval()->echoMode(), QLineEdit::Normal);
  EXPECT_EQ(dialog.OkButton()->text(), "OK");
  EXPECT_TRUE(dialog.OkButton()->isDefault());
  EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
  for (QWidget* w : std::initializer_list<QWidget*>{&dialog, dialog.Hint(), dialog.IntervalLabel(), dialog.Interval()}) {
    EXPECT_TRUE(KeepsDefaultColours(*w));
  }
  SaveScreenshot(dialog, "group_interval_dialog");
}

TEST_F(OperationDialogTest, GroupIntervalOkKeepsOnlyAnAcceptedIntervalAndCancelChangesNothing) {
  struct Case {
    const char* typed;
    std::function<void(CGroupTimer&)> act;
    std::vector<ShownMessage> messages;
    bool closed;
    int interval;  // afterwards
  };
  auto ok = [](CGroupTimer& d) { d.OkButton()->click(); };
  auto enter = [](CGroupTimer& d) { QTest::keyClick(d.Interval(), Qt::Key_Return); };
  const Case cases[] = {
      {"12a", ok, {ErrorBox("Group Interval only includes 0-9")}, false, 125},
      {"119", ok, {ErrorBox("Value of Group Interval must between 120~1225\n ")}, false, 125},
      {"1226", enter, {ErrorBox("Value of Group Interval must between 120~1225\n ")}, false, 125},
      {"300", ok, {}, true, 300},
      {"0120", enter, {}, true, 120},
      {"", ok, {}, true, 0},
      {"999", [](CGroupTimer& d) { d.CancelButton()->click(); }, {}, true, 125},
      {"999", [](CGroupTimer& d) { QTest::keyClick(d.Interval(), Qt::Key_Escape); }, {}, true, 125},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Settings.multicast_timer = 125;
    shown().clear();
    GroupTimerForm form(sender, messages);
    CGroupTimer dialog(form);
    dialog.open();
    dialog.Interval()->clear();
    Type(dialog.Interval(), c.typed);
    c.act(dialog);
    EXPECT_EQ(shown(), c.messages);
    EXPECT_EQ(!dialog.isVisible(), c.closed);
    EXPECT_EQ(Settings.multicast_timer.load(), c.interval);
    if (!c.closed) {
      EXPECT_EQ(dialog.Interval()->text().toStdString(), c.typed);  // as typed
    }
  }
}

// ---- The refused field ----

// Where the dialog's focus is once a refusal's message is closed (the widget that has it, or
// gets it as the dialog becomes the active window again), and whether that edit's whole text is
// selected, so that typing replaces it.
struct FocusAfterRefusal {
  QLineEdit* focused = nullptr;
  bool all_selected = false;
};
FocusAfterRefusal FocusNow(QDialog& dialog) {
  auto* edit = qobject_cast<QLineEdit*>(dialog.focusWidget());
  if (edit == nullptr) return {};
  return {edit, !edit->text().isEmpty() && edit->selectedText() == edit->text()};
}

void Activate(QDialog& dialog) {
  dialog.open();
  QApplication::setActiveWindow(&dialog);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
}

// With the window's own message boxes: the box keeps its text and title, and once it is
// closed the edit that was refused has the focus with its text selected.
TEST_F(OperationDialogTest, PasswordChangeGivesTheFocusToTheRefusedEditOnceTheBoxIsClosed) {
  AddMonitored(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
  QtMessages boxes;
  const RequestContext context{dlg.Lists(), sender, boxes};
  struct Case {
    const char* original;
    const char* new_password;
    const char* confirmation;
    const char* message;
    QLineEdit* (CChange_Password::*refused)() const;
  };
  const Case cases[] = {
      {"", "secret", "secret", "Password must be 1-20 characters long.", &CChange_Password::OriginalPassword},
      {"admin", "", "other", "Password must be 1-20 characters long.", &CChange_Password::NewPassword},
      {"admin", "secret", "", "Password must be 1-20 characters long.", &CChange_Password::ConfirmPassword},
      {"admin", "secret", "Secret", "Confirm password fail", &CChange_Password::ConfirmPassword},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message + std::string(" ") + c.original + "/" + c.new_password + "/" + c.confirmation);
    ChangePasswordForm form(context, {0, 1});
    CChange_Password dialog(form);
    ASSERT_NO_FATAL_FAILURE(Activate(dialog));
    dialog.OriginalPassword()->setText(c.original);
    dialog.NewPassword()->setText(c.new_password);
    dialog.ConfirmPassword()->setText(c.confirmation);
    dialog.SetButton()->setFocus();
    test::SeenBox seen;
    {
      auto watcher = test::AnswerNextBox(seen);
      dialog.SetButton()->click();
      EXPECT_TRUE(watcher->Handled());
    }
    EXPECT_EQ(seen.text, c.message);
    EXPECT_EQ(seen.title, "Error");
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_TRUE(dialog.isVisible());
    const FocusAfterRefusal focus = FocusNow(dialog);
    EXPECT_EQ(focus.focused, (dialog.*c.refused)());
    // An empty refused edit has nothing to select.
    EXPECT_EQ(focus.all_selected, !(dialog.*c.refused)()->text().isEmpty());
    EXPECT_TRUE(sender.sent.empty());
  }
}

TEST_F(OperationDialogTest, ConfigurationGivesTheFocusToTheRefusedFieldWithItsTextSelected) {
  struct Case {
    const char* what;
    std::function<void(CConfiguration_Set&)> type;
    std::string_view message;
    std::function<QLineEdit*(CConfiguration_Set&)> refused;
  };
  auto address = [](IpAddressEdit* (CConfiguration_Set::*control)() const, const char* text) {
    return [=](CConfiguration_Set& d) { (d.*control)()->SetAddress(Ip(text)); };
  };
  auto first_part = [](IpAddressEdit* (CConfiguration_Set::*control)() const) {
    return [=](CConfiguration_Set& d) { return (d.*control)()->Field(0); };
  };
  const Case cases[] = {
      {"password", [](CConfiguration_Set& d) { d.Password()->clear(); }, kPasswordLengthMessage,
       [](CConfiguration_Set& d) { return d.Password(); }},
      {"address", address(&CConfiguration_Set::IpAddress, "223.1.1.1"), kInvalidIpMessage,
       first_part(&CConfiguration_Set::IpAddress)},
      {"duplicate", address(&CConfiguration_Set::IpAddress, "192.168.1.11"), kDuplicateIpMessage,
       first_part(&CConfiguration_Set::IpAddress)},
      {"mask", address(&CConfiguration_Set::SubnetMask, "0.255.255.0"), kInvalidSubnetMaskMessage,
       first_part(&CConfiguration_Set::SubnetMask)},
      {"gateway", address(&CConfiguration_Set::Gateway, "223.1.1.1"), kInvalidGatewayMessage,
       first_part(&CConfiguration_Set::Gateway)},
      {"other subnet", address(&CConfiguration_Set::Gateway, "192.168.2.1"), kGatewaySubnetMessage,
       first_part(&CConfiguration_Set::Gateway)},
      {"trap", address(&CConfiguration_Set::TrapIp, "224.0.0.1"), kTrapIpMessage,
       first_part(&CConfiguration_Set::TrapIp)},
      {"group interval", [](CConfiguration_Set& d) { d.GroupInterval()->setText("12a"); }, kGroupIntervalDigitsMessage,
       [](CConfiguration_Set& d) { return d.GroupInterval(); }},
  };
  AddMonitored(ConfigurableSwitch("001a2b3c4d5f", "192.168.1.11"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    shown().clear();
    ConfigurationForm form = ConfigurationFormOn(ConfigurableSwitch("001a2b3c4d5e", "192.168.1.10"));
    CConfiguration_Set dialog(form);
    ASSERT_NO_FATAL_FAILURE(Activate(dialog));
    dialog.Password()->setText("admin");
    dialog.GroupInterval()->setText("300");
    c.type(dialog);
    dialog.SetButton()->setFocus();
    dialog.SetButton()->click();
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].text, c.message);
    const FocusAfterRefusal focus = FocusNow(dialog);
    EXPECT_EQ(focus.focused, c.refused(dialog));
    EXPECT_EQ(focus.all_selected, !c.refused(dialog)->text().isEmpty());
    EXPECT_TRUE(sender.sent.empty());
    dlg.MonitorTable().Zero(dlg.MonitorTable().Count() - 1);
    dlg.MonitorTable().Compact(kDeviceTableCapacity);
  }
}

TEST_F(OperationDialogTest, GroupIntervalAndRemoteIpSelectTheirRefusedFieldAgain) {
  GroupTimerForm form(sender, messages);
  CGroupTimer interval(form);
  ASSERT_NO_FATAL_FAILURE(Activate(interval));
  interval.Interval()->setText("119");
  interval.OkButton()->setFocus();
  interval.OkButton()->click();
  EXPECT_EQ(shown().size(), 1u);
  EXPECT_EQ(FocusNow(interval).focused, interval.Interval());
  EXPECT_TRUE(FocusNow(interval).all_selected);
  interval.reject();

  CAdd_remoteIP remote([](std::uint32_t) { return false; });
  ASSERT_NO_FATAL_FAILURE(Activate(remote));
  remote.AddressEdit()->SetAddress(Ip("192.168.0.255"));
  remote.ApplyButton()->setFocus();
  remote.ApplyButton()->click();
  EXPECT_TRUE(remote.isVisible());
  EXPECT_EQ(FocusNow(remote).focused, remote.AddressEdit()->Field(0));
  EXPECT_TRUE(FocusNow(remote).all_selected);
}

}  // namespace
}  // namespace sd::gui
