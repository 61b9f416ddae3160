// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program in the lab: the window on the offscreen platform, its sockets in the lab's
// manager namespace, four simulated switches in the switch namespace. It discovers them, moves
// three to the Monitor List, receives a trap and finds the switch that went silent; it
// configures a monitored switch onto a new address; and it upgrades a switch's firmware.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "window/configuration_dialog.h"
#include "window/firmware_upgrade_dialog.h"
#include "window/modal.h"
#include "window/screenshot.h"
#include "window/trap_info_dialog.h"
#include "window/lab_window_fixture.h"

namespace sd::gui {
namespace {

using namespace sd::test;  // NOLINT: the window fixture's and the lab's helpers

const std::vector<std::string> kSwitches = {
    "ip=198.18.0.10,mac=02:00:00:00:00:10,iface=1,name=edge-1,location=Rack 1,dhcp=on",
    "ip=198.18.0.11,mac=02:00:00:00:00:11,iface=2,name=edge-2,location=Rack 1,interval=125",
    "ip=198.18.0.12,mac=02:00:00:00:00:12,iface=3,name=core,location=Rack 2,password=admin",
    "ip=198.18.0.13,mac=02:00:00:00:00:13,iface=2,name=spare,location=Store",
};

class LabWindowTest : public LabWindowFixture {
 protected:
  void SetUp() override {
    LabWindowFixture::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // The switch with a password keeps the image it receives, and reboots for a second.
    std::vector<std::string> switches = kSwitches;
    switches[2] += ",reboot=1000,image=" + dir.File("received.bin");
    ASSERT_TRUE(StartLabSimulator(sim, switches));
  }
};

TEST_F(LabWindowTest, DiscoverMonitorReceiveATrapAndFindTheSilentSwitch) {
  ASSERT_TRUE(window().Initialise(Networking::On));
  Show();
  window().ButtonOf(Control::Discover)->click();
  QTreeWidget* discovery = window().DiscoveryList();
  QTreeWidget* monitor = window().MonitorList();
  ASSERT_TRUE(QTest::qWaitFor([&] { return discovery->topLevelItemCount() == 4; }, 5000));
  QTest::qWait(300);  // the group's replies update the same rows
  ASSERT_EQ(discovery->topLevelItemCount(), 4);

  // The first three, by mouse, to the Monitor List.
  ClickRow(discovery, 0);
  ClickRow(discovery, 2, Qt::ShiftModifier);
  const std::string kept = discovery->topLevelItem(3)->text(kDiscoveryColumnIp).toStdString();
  window().ButtonOf(Control::AddToMonitorList)->click();
  ASSERT_EQ(monitor->topLevelItemCount(), 3);
  ASSERT_EQ(ColumnTexts(discovery, kDiscoveryColumnIp), std::vector<std::string>{kept});
  ASSERT_EQ(kept, "198.18.0.13") << "the rows were sorted differently than expected";

  // A trap from a monitored switch: logged byte for byte, stored, and the indicator turns red.
  ASSERT_TRUE(sim.WriteLine("trap 198.18.0.11 Port 2 link down"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return ui.traps.trap_count() == 1; }, 5000));
  EXPECT_TRUE(std::regex_search(
      Log(), std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d 198\.18\.0\.11 Trap :Port 2 link down\r\n)")))
      << Log();
  EXPECT_TRUE(window().TrapIndicatorWaiting());
  SaveScreenshot(window(), "main_window_lab");

  std::vector<std::string> listed;
  ModalWatcher watcher([&](QWidget* modal) {
    auto* dialog = qobject_cast<CTrap_Info*>(modal);
    ASSERT_NE(dialog, nullptr);
    listed = ColumnTexts(dialog->List(), kTrapColumnEvent);
    SaveScreenshot(*dialog, "trap_window_lab");
    dialog->OkButton()->click();
  });
  window().ButtonOf(Control::ViewTrap)->click();
  EXPECT_EQ(listed, std::vector<std::string>{"Port 2 link down"});
  EXPECT_FALSE(window().TrapIndicatorWaiting());

  // A switch that stops answering is declared not alive by the polls and the 5-second timer.
  ASSERT_TRUE(sim.WriteLine("silence 198.18.0.12"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Log().find("Not alive") != std::string::npos; }, 60000)) << Log();
  EXPECT_NE(Log().find(" 198.18.0.12 Not alive \r\n"), std::string::npos) << Log();
  const std::vector<std::string> ips = ColumnTexts(monitor, kMonitorColumnIp);
  const int row = static_cast<int>(std::find(ips.begin(), ips.end(), "198.18.0.12") - ips.begin());
  ASSERT_LT(row, static_cast<int>(ips.size()));
  EXPECT_EQ(core().MonitorListControl().Image(row), kStatusImageNotAlive);
  EXPECT_FALSE(monitor->topLevelItem(row)->icon(0).isNull());
  EXPECT_TRUE(ui.messages.shown.empty()) << ui.messages.shown.front().text;

  // "Exit" closes the sockets.
  window().ButtonOf(Control::Exit)->click();
  EXPECT_EQ(window().Engine()->Sockets().Unicast(), nullptr);
  EXPECT_EQ(window().Engine()->Sockets().Multicast(), nullptr);
}

TEST_F(LabWindowTest, ConfigureSettingsMovesAMonitoredSwitchToItsNewAddress) {
  ASSERT_TRUE(window().Initialise(Networking::On));
  Show();
  window().ButtonOf(Control::Discover)->click();
  QTreeWidget* discovery = window().DiscoveryList();
  QTreeWidget* monitor = window().MonitorList();
  ASSERT_TRUE(QTest::qWaitFor([&] { return discovery->topLevelItemCount() == 4; }, 5000));
  QTest::qWait(300);
  const auto ips = ColumnTexts(discovery, kDiscoveryColumnIp);
  DoubleClickRow(discovery, static_cast<int>(std::find(ips.begin(), ips.end(), "198.18.0.12") - ips.begin()));
  ASSERT_EQ(ColumnTexts(monitor, kMonitorColumnIp), std::vector<std::string>{"198.18.0.12"});
  ClickRow(monitor, 0);

  // "Set" in the dialog with the switch's new address and the given password; then the answer.
  auto configure = [&](const char* password) {
    ui.messages.shown.clear();
    ModalWatcher watcher([&](QWidget* modal) {
      auto* dialog = qobject_cast<CConfiguration_Set*>(modal);
      if (dialog == nullptr) {
        ADD_FAILURE() << "expected the configuration dialog";
        if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
        return;
      }
      dialog->IpAddress()->SetAddress(*TextToIpv4("198.18.0.16"));
      dialog->SubnetMask()->SetAddress(*TextToIpv4("255.255.255.0"));
      dialog->Gateway()->SetAddress(*TextToIpv4("198.18.0.1"));
      dialog->SystemName()->setText("moved");
      dialog->Password()->setText(password);
      dialog->SetButton()->click();
    });
    window().ButtonOf(Control::ConfigureSettings)->click();
    EXPECT_TRUE(watcher.Handled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !ui.messages.shown.empty(); }, 5000)) << "no answer";
    return ui.messages.Texts();
  };

  EXPECT_EQ(configure("guess"), std::vector<std::string>{"Password error."});
  EXPECT_EQ(ColumnTexts(monitor, kMonitorColumnIp), std::vector<std::string>{"198.18.0.12"});

  EXPECT_EQ(configure("admin"), std::vector<std::string>{"Set successful"});
  EXPECT_EQ(ui.messages.shown.front().title, "Information");
  ASSERT_TRUE(QTest::qWaitFor([&] { return ColumnTexts(monitor, kMonitorColumnIp) ==
                                           std::vector<std::string>{"198.18.0.16"}; }, 2000));
  const DeviceRecord moved = core().MonitorTable().Entry(0);
  EXPECT_STREQ(moved.ip_text, "198.18.0.16");
  EXPECT_STREQ(moved.system_name, "moved");
  EXPECT_STREQ(moved.gateway_text, "198.18.0.1");
  SaveScreenshot(window(), "main_window_lab_moved");

  // The simulated switch has moved.
  bool listed_at_new_address = false;
  for (const std::string& line : sim.Command("list")) {
    listed_at_new_address = listed_at_new_address || (line.find("ip=198.18.0.16") != std::string::npos &&
                                                      line.find("name=moved") != std::string::npos);
  }
  EXPECT_TRUE(listed_at_new_address);
}

// The window's own firmware upgrade: its protocol sockets carry the trigger and the reboot
// watch's discoveries, its reply dispatcher sees the acknowledgement while the dialog is open,
// and the dialog's own socket sends the image.
TEST_F(LabWindowTest, UpgradeFirmwareOfADiscoveredSwitchFromStartToTheVerdict) {
  ASSERT_TRUE(window().Initialise(Networking::On));
  Show();
  window().ButtonOf(Control::Discover)->click();
  QTreeWidget* discovery = window().DiscoveryList();
  ASSERT_TRUE(QTest::qWaitFor([&] { return discovery->topLevelItemCount() == 4; }, 5000));
  QTest::qWait(300);
  const auto ips = ColumnTexts(discovery, kDiscoveryColumnIp);
  ClickRow(discovery, static_cast<int>(std::find(ips.begin(), ips.end(), "198.18.0.12") - ips.begin()));

  std::vector<std::uint8_t> image(1500);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31 + 7);
  dir.Write("firmware.hex", image);
  std::vector<std::string> states;
  std::string opened_on;
  ModalWatcher watcher([&](QWidget* modal) {
    auto* dialog = qobject_cast<FirmwareUpgradeDialog*>(modal);
    if (dialog == nullptr) {
      ADD_FAILURE() << "expected the firmware dialog, got " << modal->metaObject()->className();
      if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
      return;
    }
    opened_on = dialog->DeviceIp()->text().toStdString();
    QObject::connect(dialog->UpgradeState(), &QLineEdit::textChanged,
                     [&](const QString& text) { states.push_back(text.toStdString()); });
    dialog->Password()->setText("admin");
    dialog->FirmwarePath()->setText(QString::fromStdString(dir.File("firmware.hex")));
    SaveScreenshot(*dialog, "firmware_upgrade_lab");
    dialog->StartButton()->click();
  });
  QElapsedTimer clock;
  clock.start();
  window().ButtonOf(Control::UpgradeFirmware)->click();  // returns when the dialog has closed
  ASSERT_TRUE(watcher.Handled());
  EXPECT_EQ(opened_on, "198.18.0.12");
  EXPECT_EQ(states, (std::vector<std::string>{"Wait....", "Upgrading...1024/1500 bytes", "Complete...1500/1500 bytes"}));
  EXPECT_EQ(dir.Read("received.bin"), image);
  EXPECT_TRUE(ui.messages.shown.empty()) << ui.messages.shown.front().text;

  // 12 s after the pause the watch probes, and the rebooted switch answers the first probe.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !ui.messages.shown.empty(); }, 25000));
  EXPECT_EQ(ui.messages.shown,
            (std::vector<ShownMessage>{{"Firmware upgrade successful.", "Information", MessageIcon::Information}}));
  EXPECT_EQ(window().FirmwareUpgrade()->Watch().Verdict(), RebootVerdict::kBack);
  EXPECT_GE(clock.elapsed(), 5000 + 12000);
  // The Discovery List holds what answered the last probe: all four switches again.
  ASSERT_TRUE(QTest::qWaitFor([&] { return discovery->topLevelItemCount() == 4; }, 2000));
}

}  // namespace
}  // namespace sd::gui
