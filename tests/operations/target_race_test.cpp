// SPDX-License-Identifier: GPL-3.0-or-later
// The switch a dialog was opened on is the switch its request goes to. While a dialog is open a
// reboot watch empties the Discovery List every second and refills it in reply order, so the
// entry at the index the gate recorded may hold another switch when "Set", "Apply" or "Start"
// is pressed; a switch that left the list is refused, and nothing is sent.
#include <gtest/gtest.h>

#include "operations/configuration_form.h"
#include "operations/dhcp_refresh_form.h"
#include "operations/firmware_upgrade.h"
#include "operations/password_form.h"
#include "protocol/operation_context.h"
#include "protocol/packet_header.h"
#include "support/fake_clock.h"
#include "support/firmware_fakes.h"
#include "support/operations.h"
#include "support/temp_dir.h"
#include "support/tlvs.h"

namespace sd {
namespace {

using test::ConfigurableSwitch;
using test::ShownMessage;
using test::TlvTypes;

constexpr const char* kChosenMac = "001a2b3c4d61";
constexpr TargetDevice kChosen{1, 0};  // the second Discovery List row when the dialog opens

std::string MacOf(const test::SentDatagram& d) {
  const auto h = ParseHeader(d.bytes);
  char text[16];
  MacBytesToText(h->mac.data(), text);
  return text;
}

class TargetRaceTest : public ::testing::Test, protected test::OperationsFixture {
 protected:
  void SetUp() override {
    // The chosen switch uses DHCP and takes every field; the other one takes only passwords.
    DeviceRecord other = ConfigurableSwitch("001a2b3c4d60", "192.168.1.12");
    other.field_mask[0] = 0x100 | 0x200;
    DeviceRecord chosen = ConfigurableSwitch(kChosenMac, "192.168.1.13");
    chosen.dhcp = DHCP_ON;
    entries = {other, chosen};
    for (const DeviceRecord& e : entries) AddDiscovered(e);
  }
  // The list emptied and refilled as the reboot watch's probes leave it.
  void Rebuild(std::initializer_list<int> order) {
    dlg.ClearDiscoveryList();
    for (int i : order) AddDiscovered(entries[static_cast<std::size_t>(i)]);
  }
  static ShownMessage Gone() {
    return {std::string("The switch ") + kChosenMac + " is no longer in the Discovery List.\nNothing was sent to it.",
            "Error", MessageIcon::Error};
  }

  std::vector<DeviceRecord> entries;
};

TEST_F(TargetRaceTest, ThePasswordChangeGoesToTheChosenSwitch) {
  ChangePasswordForm form(Context(), kChosen);
  Rebuild({1, 0});
  ASSERT_TRUE(form.OnSet({"admin", "secret", "secret"}));
  ASSERT_EQ(sender.sent.size(), 2u);
  for (const auto& d : sender.sent) EXPECT_EQ(MacOf(d), kChosenMac);

  sender.sent.clear();
  ChangePasswordForm again(Context(), {0, 0});
  Rebuild({0});
  EXPECT_FALSE(again.OnSet({"admin", "secret", "secret"}));
  EXPECT_EQ(messages.shown, std::vector<ShownMessage>{Gone()});
  EXPECT_TRUE(sender.sent.empty());
}

TEST_F(TargetRaceTest, TheConfigurationTakesTheChosenSwitchsFieldsAndDhcpState) {
  ConfigurationForm form(Context(), kChosen, dlg.DiscoveryTable().Count(), dlg.MonitorTable().Count());
  Rebuild({1, 0});
  ConfigurationInput typed;
  typed.system_name = "core";
  typed.location = "rack 2";
  typed.password = "admin";
  ASSERT_TRUE(form.OnSet(typed));
  ASSERT_EQ(sender.sent.size(), 2u);
  EXPECT_EQ(MacOf(sender.sent[0]), kChosenMac);
  const auto types = TlvTypes(sender.sent[0].bytes);
  EXPECT_NE(std::find(types.begin(), types.end(), TLV_LOCATION), types.end()) << "the other switch takes no location";

  sender.sent.clear();
  Rebuild({0});
  EXPECT_FALSE(form.OnSet(typed));
  EXPECT_EQ(messages.shown, std::vector<ShownMessage>{Gone()});
  EXPECT_TRUE(sender.sent.empty());
}

TEST_F(TargetRaceTest, TheDhcpRefreshGoesToTheChosenSwitch) {
  DhcpRefreshForm form(Context(), kChosen);
  Rebuild({1, 0});
  ASSERT_TRUE(form.OnApply("admin"));
  ASSERT_EQ(sender.sent.size(), 2u);
  for (const auto& d : sender.sent) EXPECT_EQ(MacOf(d), kChosenMac);

  sender.sent.clear();
  Rebuild({0});
  EXPECT_FALSE(form.OnApply("admin"));
  EXPECT_EQ(messages.shown, std::vector<ShownMessage>{Gone()});
  EXPECT_TRUE(sender.sent.empty());
}

// A Monitor List switch is held by its address: after a deletion above it, its entry moved up.
TEST_F(TargetRaceTest, AMonitoredSwitchIsFoundByItsAddressAfterTheRowsAboveLeft) {
  AddMonitored(ConfigurableSwitch("0000000000aa", "192.168.1.30"));
  AddMonitored(ConfigurableSwitch("0000000000bb", "192.168.1.31"));
  ChangePasswordForm form(Context(), {1, 1});
  dlg.RemoveMonitorRows({0});
  ASSERT_TRUE(form.OnSet({"admin", "secret", "secret"}));
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(sender.sent[0].to.address, *TextToIpv4("192.168.1.31"));
  EXPECT_EQ(MacOf(sender.sent[0]), "0000000000bb");
}

// The trigger goes to the switch the subnet check recorded, whatever stands at its index now.
TEST_F(TargetRaceTest, TheUpgradeTriggerGoesToTheRecordedTarget) {
  auto& context = OperationContext::Instance();
  context.SetUpgradeTargetMac(kChosenMac);
  context.SetUpgradeTargetIp(entries[1].ip);
  test::TempConfigDir dir;
  dir.Write("image.hex", std::vector<std::uint8_t>(100, 0x3C));
  test::FakeClock clock;
  test::FakeTimers timers{clock};
  test::FakeUpgradeNetwork network{clock};
  test::FakeTftpTransport transport{clock};
  test::RecordingUpgradeView view;
  test::FakeFileDialogs files;
  std::unique_ptr<CFirmware_Upgrade> upgrade;
  timers.SetHandler([&](int id) { upgrade->OnTimer(id); });
  upgrade = std::make_unique<CFirmware_Upgrade>(
      FirmwareUpgradeWiring{dlg.DiscoveryTable(), kChosen.index, network, transport, timers, messages, files, view});
  upgrade->OnInitDialog();
  Rebuild({1, 0});
  upgrade->OnStart("admin", dir.File("image.hex"));
  clock.Advance(test::Ms(600));
  ASSERT_EQ(network.sends.size(), 2u);
  for (const auto& s : network.sends) {
    const auto h = ParseHeader(s.bytes);
    char mac[16];
    MacBytesToText(h->mac.data(), mac);
    EXPECT_STREQ(mac, kChosenMac);
  }
  upgrade->OnCancel();
}

}  // namespace
}  // namespace sd
