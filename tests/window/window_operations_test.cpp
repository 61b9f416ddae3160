// SPDX-License-Identifier: GPL-3.0-or-later
// The device operations from the main window: its buttons and menu item run the operation gate,
// open the Qt dialogs, and the requests reach a recording sender; "DHCP Refresh" follows the
// selection of the lists, however it changes.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "window/configuration_dialog.h"
#include "window/dhcp_refresh_dialog.h"
#include "window/event_loop_sleep.h"
#include "window/group_interval_dialog.h"
#include "window/modal.h"
#include "window/password_dialog.h"
#include "window/window_fixture.h"
#include "protocol/ipv4.h"
#include "support/tlvs.h"

namespace sd::gui {
namespace {

using namespace sd::test;  // NOLINT: the window fixture's helpers

using namespace std::chrono_literals;

std::uint32_t Ip(const char* text) { return *TextToIpv4(text); }
std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }
ShownMessage ErrorBox(std::string_view text) { return {std::string(text), "Error", MessageIcon::Error}; }

// The modal window as the dialog expected; anything else fails the test and is closed.
template <typename Dialog>
Dialog* Expect(QWidget* modal) {
  auto* dialog = qobject_cast<Dialog*>(modal);
  if (dialog == nullptr) {
    ADD_FAILURE() << "unexpected modal window " << modal->metaObject()->className();
    if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
  }
  return dialog;
}

DeviceRecord DhcpSwitch(std::string_view mac, std::string_view ip, std::uint16_t dhcp, std::uint16_t interface) {
  DeviceRecord r = ConfigurableSwitch(mac, ip);
  r.dhcp = dhcp;
  r.interface_version = interface;
  return r;
}

class WindowOperationsTest : public WindowTest {
 protected:
  explicit WindowOperationsTest(bool window_sender = false) : WindowTest(false, window_sender) {}
  QTreeWidget* discovery() { return window().DiscoveryList(); }
  QTreeWidget* monitor() { return window().MonitorList(); }
  void Press(Control control) {
    window().ButtonOf(control)->click();
    QApplication::processEvents();
  }
  bool DhcpRefreshEnabled() { return window().ButtonOf(Control::DhcpRefresh)->isEnabled(); }
  int RowOf(QTreeWidget* list, int column, const char* text) {
    const auto texts = ColumnTexts(list, column);
    return static_cast<int>(std::find(texts.begin(), texts.end(), text) - texts.begin());
  }
  std::vector<ShownMessage>& shown() { return ui.messages.shown; }
  RecordingSender& sender() { return ui.sender; }
};

TEST_F(WindowOperationsTest, EveryOperationRefusesAnEmptyOrDoubleSelectionInItsOwnWords) {
  StartUp();
  Monitor(DhcpSwitch("001E58000010", "192.168.0.10", DHCP_ON, 3));
  Monitor(DhcpSwitch("001E58000011", "192.168.0.11", DHCP_ON, 3));
  std::vector<TargetDevice> firmware_targets;
  window().SetFirmwareUpgradeLauncher([&](const TargetDevice& t) { firmware_targets.push_back(t); });
  Show();
  // A click on a switch that uses DHCP enables "DHCP Refresh"; a Ctrl-click that empties the
  // selection leaves it so.
  ClickRow(monitor(), 0);
  ClickRow(monitor(), 0, Qt::ControlModifier);
  ASSERT_TRUE(core().MonitorListControl().SelectedRows().empty());
  ASSERT_TRUE(DhcpRefreshEnabled());

  struct Case {
    Control button;
    const char* nothing_selected;
  };
  const Case cases[] = {
      {Control::ConfigureSettings, "Please select a device."},
      {Control::ChangePassword, "Please select a device."},
      {Control::UpgradeFirmware, "Please select a device."},
      {Control::DhcpRefresh, "Please select one device"},
  };
  for (const Case& c : cases) {
    shown().clear();
    Press(c.button);
    EXPECT_EQ(shown(), std::vector<ShownMessage>{ErrorBox(c.nothing_selected)}) << static_cast<int>(c.button);
  }
  ClickRow(monitor(), 0);
  ClickRow(monitor(), 1, Qt::ShiftModifier);
  for (const Case& c : cases) {
    shown().clear();
    Press(c.button);
    EXPECT_EQ(shown(), std::vector<ShownMessage>{ErrorBox("Only one device can be selected")})
        << static_cast<int>(c.button);
  }
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(sender().refreshes, 0);
  EXPECT_TRUE(sender().sent.empty());
  EXPECT_TRUE(firmware_targets.empty());
}

TEST_F(WindowOperationsTest, ConfigureSettingsSendsWhatWasTypedToTheClickedMonitoredSwitch) {
  StartUp();
  Monitor(ConfigurableSwitch("001E58000010", "192.168.0.10"));
  Monitor(ConfigurableSwitch("001E58000011", "192.168.0.11"));
  Show();
  ClickRow(monitor(), 1);
  QString opened_on;
  bool closed = false;
  bool password_left = true;
  ModalWatcher watcher([&](QWidget* modal) {
    auto* dialog = Expect<CConfiguration_Set>(modal);
    if (!dialog) return;
    opened_on = dialog->IpAddress()->FieldTexts().join('.');
    dialog->IpAddress()->Field(3)->setText("20");
    dialog->SystemName()->setText("moved");
    dialog->Password()->setText("admin");
    dialog->SetButton()->click();
    closed = !dialog->isVisible();
    password_left = !dialog->Password()->text().isEmpty();
  });
  Press(Control::ConfigureSettings);
  ASSERT_TRUE(watcher.Handled());
  EXPECT_EQ(opened_on, "192.168.0.11");
  EXPECT_TRUE(closed);
  EXPECT_FALSE(password_left);
  EXPECT_TRUE(shown().empty()) << shown().front().text;
  EXPECT_EQ(window().Operations()->LastTarget(), (TargetDevice{1, 1}));
  ASSERT_EQ(sender().sent.size(), 1u);
  const SentDatagram& d = sender().sent[0];
  EXPECT_EQ(d.route, SendRoute::Unicast);
  EXPECT_EQ(d.to.address, Ip("192.168.0.11"));
  const auto header = ParseHeader(d.bytes);
  EXPECT_EQ(header->command, CMD_SET_UNICAST);
  EXPECT_EQ(header->mac, (std::array<std::uint8_t, 6>{0x00, 0x1E, 0x58, 0x00, 0x00, 0x11}));
  EXPECT_EQ(TlvValue(d.bytes, TLV_IP_ADDRESS), (std::vector<std::uint8_t>{192, 168, 0, 20}));
  EXPECT_EQ(TlvValue(d.bytes, TLV_SYSTEM_NAME), Bytes("moved"));
  EXPECT_EQ(TlvValue(d.bytes, TLV_PASSWORD), Bytes("admin"));
}

TEST_F(WindowOperationsTest, ChangePasswordForADiscoveredSwitchGoesByBroadcastThenToTheGroup) {
  StartUp();
  Discover(ConfigurableSwitch("001E58000001", "192.168.0.21"));
  Discover(ConfigurableSwitch("001E58000002", "192.168.0.22"));
  Show();
  const int row = RowOf(discovery(), kDiscoveryColumnMac, "001E58000002");
  ClickRow(discovery(), row);
  bool passwords_left = true;
  ModalWatcher watcher([&](QWidget* modal) {
    auto* dialog = Expect<CChange_Password>(modal);
    if (!dialog) return;
    dialog->OriginalPassword()->setText("admin");
    dialog->NewPassword()->setText("n3w");
    dialog->ConfirmPassword()->setText("n3w");
    dialog->SetButton()->click();
    passwords_left = false;
    for (QLineEdit* e : {dialog->OriginalPassword(), dialog->NewPassword(), dialog->ConfirmPassword()}) {
      passwords_left = passwords_left || !e->text().isEmpty();
    }
  });
  Press(Control::ChangePassword);
  ASSERT_TRUE(watcher.Handled());
  EXPECT_FALSE(passwords_left);
  EXPECT_TRUE(shown().empty());
  EXPECT_EQ(sender().refreshes, 1);
  ASSERT_EQ(sender().sent.size(), 2u);
  EXPECT_EQ(sender().sent[0].route, SendRoute::Broadcast);
  EXPECT_EQ(sender().sent[0].to.address, 0xFFFFFFFFu);
  EXPECT_EQ(sender().sent[1].route, SendRoute::Multicast);
  EXPECT_EQ(sender().sent[1].to.address, Ip("239.255.100.100"));
  for (const SentDatagram& d : sender().sent) {
    EXPECT_EQ(ParseHeader(d.bytes)->command, CMD_SET);
    EXPECT_EQ(ParseHeader(d.bytes)->mac[5], 0x02);
    EXPECT_EQ(TlvValue(d.bytes, TLV_PASSWORD), Bytes("admin"));
    EXPECT_EQ(TlvValue(d.bytes, TLV_NEW_PASSWORD), Bytes("n3w"));
  }
}

TEST_F(WindowOperationsTest, DhcpRefreshFollowsTheSwitchAMouseClickSelects) {
  StartUp();
  Discover(DhcpSwitch("001E58000001", "192.168.0.21", DHCP_ON, 3));
  Discover(DhcpSwitch("001E58000002", "192.168.0.22", DHCP_ON, 2));
  Discover(DhcpSwitch("001E58000003", "192.168.0.23", DHCP_OFF, 3));
  Discover(DhcpSwitch("001E58000004", "192.168.0.24", DHCP_NOT_REPORTED, 3));
  Monitor(DhcpSwitch("001E58000010", "192.168.0.10", DHCP_ON, 4));
  Show();
  auto click_mac = [&](const char* mac) { ClickRow(discovery(), RowOf(discovery(), kDiscoveryColumnMac, mac)); };
  struct Step {
    const char* what;
    std::function<void()> act;
    bool enabled;
  };
  const Step steps[] = {
      {"after start-up", [] {}, false},
      {"DHCP, interface 3", [&] { click_mac("001E58000001"); }, true},
      {"DHCP, interface 2", [&] { click_mac("001E58000002"); }, false},
      {"DHCP again", [&] { click_mac("001E58000001"); }, true},
      {"DHCP off", [&] { click_mac("001E58000003"); }, false},
      {"monitored, DHCP, interface 4", [&] { ClickRow(monitor(), 0); }, true},
      {"DHCP not reported", [&] { click_mac("001E58000004"); }, false},
      {"monitored again", [&] { ClickRow(monitor(), 0); }, true},
      {"below the last row", [&] { ClickRow(discovery(), -1); }, true},
      {"two rows", [&] {
         click_mac("001E58000001");
         ClickRow(discovery(), RowOf(discovery(), kDiscoveryColumnMac, "001E58000003"), Qt::ShiftModifier);
       }, true},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(DhcpRefreshEnabled(), step.enabled) << step.what;
  }

  // Sorted by MAC address, the rows no longer stand in their entries' order; a click goes by the
  // switch the row shows.
  for (int i = 0; i < 2 && ColumnTexts(discovery(), kDiscoveryColumnMac).front() == "001E58000001"; ++i) {
    ClickHeader(discovery(), kDiscoveryColumnMac);
  }
  const auto macs = ColumnTexts(discovery(), kDiscoveryColumnMac);
  ASSERT_NE(macs.front(), "001E58000001");
  for (const char* mac : {"001E58000001", "001E58000003", "001E58000001", "001E58000002"}) {
    click_mac(mac);
    EXPECT_EQ(DhcpRefreshEnabled(), std::string_view(mac) == "001E58000001") << mac;
  }
}

// The keyboard and the program move the selection as a click does, and the button follows: a
// keyboard user can reach "DHCP Refresh".
TEST_F(WindowOperationsTest, DhcpRefreshFollowsTheArrowKeysAndAProgrammedSelection) {
  StartUp();
  Discover(DhcpSwitch("001E58000001", "192.168.0.21", DHCP_ON, 3));
  Discover(DhcpSwitch("001E58000002", "192.168.0.22", DHCP_OFF, 3));
  Discover(DhcpSwitch("001E58000003", "192.168.0.23", DHCP_ON, 2));
  Monitor(DhcpSwitch("001E58000010", "192.168.0.10", DHCP_ON, 4));
  Monitor(DhcpSwitch("001E58000011", "192.168.0.11", DHCP_NOT_REPORTED, 3));
  Show();
  auto key = [&](QTreeWidget* list, Qt::Key k, Qt::KeyboardModifiers modifiers = {}) {
    list->setFocus();
    QTest::keyClick(list, k, modifiers);
    QApplication::processEvents();
  };
  auto current = [&](QTreeWidget* list, int row) {
    list->setCurrentIndex(list->model()->index(row, 0));
    QApplication::processEvents();
  };
  auto selected_mac = [&](QTreeWidget* list, int column) {
    const std::vector<int> rows = (list == discovery() ? core().DiscoveryListControl() : core().MonitorListControl()).SelectedRows();
    return rows.size() == 1 ? list->topLevelItem(rows.front())->text(column).toStdString() : std::string("(none or several)");
  };
  struct Step {
    const char* what;
    QTreeWidget* list;
    std::function<void()> act;
    const char* selected;  // the MAC address of the one selected row afterwards
    bool enabled;
  };
  QTreeWidget* d = discovery();
  QTreeWidget* m = monitor();
  const Step steps[] = {
      {"setCurrentIndex on a DHCP switch", d, [&] { current(d, 0); }, "001E58000001", true},
      {"Down to DHCP off", d, [&] { key(d, Qt::Key_Down); }, "001E58000002", false},
      {"Down to interface 2", d, [&] { key(d, Qt::Key_Down); }, "001E58000003", false},
      {"Home back to the first", d, [&] { key(d, Qt::Key_Home); }, "001E58000001", true},
      {"Shift+Down: two rows keep the state", d, [&] { key(d, Qt::Key_Down, Qt::ShiftModifier); },
       "(none or several)", true},
      {"Up: one row again", d, [&] { key(d, Qt::Key_Up); }, "001E58000001", true},
      {"setCurrentIndex, DHCP not reported", m, [&] { current(m, 1); }, "001E58000011", false},
      {"Up to the monitored DHCP switch", m, [&] { key(m, Qt::Key_Up); }, "001E58000010", true},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(selected_mac(step.list, step.list == m ? kMonitorColumnMac : kDiscoveryColumnMac), step.selected)
        << step.what;
    EXPECT_EQ(DhcpRefreshEnabled(), step.enabled) << step.what;
  }
}

TEST_F(WindowOperationsTest, DhcpRefreshSendsTheTypedPasswordAndForgetsIt) {
  StartUp();
  Monitor(DhcpSwitch("001E58000010", "192.168.0.10", DHCP_ON, 3));
  Show();
  ClickRow(monitor(), 0);
  ASSERT_TRUE(DhcpRefreshEnabled());
  bool password_left = true;
  ModalWatcher watcher([&](QWidget* modal) {
    auto* dialog = Expect<CDHCP_Refresh>(modal);
    if (!dialog) return;
    QTest::keyClicks(dialog->Password(), "admin");
    QTest::keyClick(dialog->Password(), Qt::Key_Return);
    password_left = !dialog->Password()->text().isEmpty();
  });
  Press(Control::DhcpRefresh);
  ASSERT_TRUE(watcher.Handled());
  EXPECT_FALSE(password_left);
  EXPECT_TRUE(shown().empty());
  ASSERT_EQ(sender().sent.size(), 1u);
  const SentDatagram& d = sender().sent[0];
  EXPECT_EQ(d.route, SendRoute::Unicast);
  EXPECT_EQ(d.to.address, Ip("192.168.0.10"));
  EXPECT_EQ(ParseHeader(d.bytes)->command, CMD_SET_UNICAST);
  EXPECT_EQ(TlvValue(d.bytes, TLV_PASSWORD), Bytes("admin"));
  EXPECT_EQ(TlvValue(d.bytes, TLV_IP_ADDRESS), (std::vector<std::uint8_t>{0, 0, 0, 0}));
}

TEST_F(WindowOperationsTest, GroupIntervalMenuItemChangesTheReportIntervalAndTheSettingsFile) {
  StartUp();
  Show();
  QString shown_first;
  ModalWatcher watcher([&](QWidget* modal) {
    auto* dialog = Expect<CGroupTimer>(modal);
    if (!dialog) return;
    shown_first = dialog->Interval()->text();
    dialog->Interval()->setText("300");
    dialog->OkButton()->click();
  });
  window().ActionOf(Command::GroupInterval)->trigger();
  ASSERT_TRUE(watcher.Handled());
  EXPECT_EQ(shown_first, "125");
  EXPECT_TRUE(shown().empty()) << shown().front().text;
  EXPECT_EQ(sender().refreshes, 1);
  EXPECT_EQ(Settings.multicast_timer.load(), 300);
  EXPECT_EQ(Settings.multicast_timer_flag.load(), 1);
  const auto stored = ParseSettingsFile(dir.Read("define.ecf"));
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->multicast_timer, 300);
  EXPECT_EQ(stored->multicast_timer_flag, 1);
}

TEST_F(WindowOperationsTest, UpgradeFirmwareHandsTheGatesTargetToTheFirmwareDialog) {
  StartUp();
  Monitor(ConfigurableSwitch("001E58000010", "192.168.0.10"));
  Monitor(ConfigurableSwitch("001E58000011", "192.168.0.11"));
  DeviceRecord loader = ConfigurableSwitch("001E58000001", "192.168.0.21");
  loader.firmware_state = 100;  // can take nothing but a firmware upload
  Discover(loader);
  Show();
  std::vector<TargetDevice> targets;
  window().SetFirmwareUpgradeLauncher([&](const TargetDevice& t) { targets.push_back(t); });
  Press(Control::UpgradeFirmware);  // nothing selected: the gate refuses
  EXPECT_EQ(shown(), std::vector<ShownMessage>{ErrorBox("Please select a device.")});
  EXPECT_TRUE(targets.empty());

  ClickRow(monitor(), 1);
  Press(Control::UpgradeFirmware);
  ClickRow(discovery(), 0);
  Press(Control::UpgradeFirmware);
  EXPECT_EQ(targets, (std::vector<TargetDevice>{{1, 1}, {0, 0}}));
  // The same switch is refused for a configuration.
  Press(Control::ConfigureSettings);
  EXPECT_EQ(shown().back(), ErrorBox("Switch cannot be configured.\nPlease upload firmware and retry."));
  EXPECT_TRUE(sender().sent.empty());
}

TEST(EventLoopSleepTest, TimersGoOnWhileItWaits) {
  int ticks = 0;
  QTimer timer;
  timer.setInterval(20);
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start();
  QElapsedTimer clock;
  clock.start();
  SleepKeepingEventLoop(200ms);
  EXPECT_GE(clock.elapsed(), 200);
  EXPECT_GE(ticks, 5);
}

// The window's own sender: without the network it has no socket, so after the half-second
// membership renewal, during which the window stays live, the send fails and says so.
class WindowOwnSenderTest : public WindowOperationsTest {
 protected:
  WindowOwnSenderTest() : WindowOperationsTest(true) {}
};

TEST_F(WindowOwnSenderTest, WithoutTheNetworkARequestFailsAfterALiveMembershipRenewal) {
  StartUp();
  Monitor(ConfigurableSwitch("001E58000010", "192.168.0.10"));
  Show();
  ClickRow(monitor(), 0);
  int ticks = 0;
  QTimer timer;
  timer.setInterval(50);
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  qint64 set_took = 0;
  ModalWatcher watcher([&](QWidget* modal) {
    auto* dialog = Expect<CChange_Password>(modal);
    if (!dialog) return;
    for (QLineEdit* e : {dialog->OriginalPassword(), dialog->NewPassword(), dialog->ConfirmPassword()}) {
      e->setText("admin");
    }
    timer.start();
    QElapsedTimer clock;
    clock.start();
    dialog->SetButton()->click();
    set_took = clock.elapsed();
    timer.stop();
  });
  Press(Control::ChangePassword);
  ASSERT_TRUE(watcher.Handled());
  EXPECT_GE(set_took, 500);
  EXPECT_GE(ticks, 5);
  EXPECT_EQ(shown(), std::vector<ShownMessage>{ErrorBox("Unicast set send error.")});
  EXPECT_TRUE(sender().sent.empty());
}

}  // namespace
}  // namespace sd::gui
