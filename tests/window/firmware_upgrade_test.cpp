// SPDX-License-Identifier: GPL-3.0-or-later
// The Firmware Upgrade dialog on its own (controls, texts, colours, keys, "Browse", refusals of
// "Start"), and the whole upgrade from the main window's "Upgrade firmware" with stand-ins for
// the network: the subnet check, the dialog with its progress texts, the transfer, and the
// reboot watch with its verdict. Nothing is sent anywhere.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QThread>
#include <functional>
#include <string>
#include <vector>

#include "window/colours.h"
#include "window/firmware_upgrade_dialog.h"
#include "window/modal.h"
#include "window/screenshot.h"
#include "window/text_limits.h"
#include "window/window_fixture.h"
#include "protocol/ipv4.h"
#include "protocol/operation_context.h"
#include "protocol/packet_header.h"
#include "support/firmware_fakes.h"
#include "support/main_dialog.h"
#include "support/tlvs.h"

namespace sd::gui {
namespace {

using namespace sd::test;  // NOLINT: the fixtures' and fakes' helpers
using namespace std::chrono_literals;

std::uint32_t Ip(const char* text) { return *TextToIpv4(text); }
ShownMessage ErrorBox(std::string_view text) { return {std::string(text), "Error", MessageIcon::Error}; }

std::vector<std::uint8_t> Image(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
  return bytes;
}

// The numbers of the widgets the keyboard visits, in order.
std::vector<int> FocusOrder(QDialog& dialog) {
  std::vector<int> order;
  for (QWidget* w = dialog.nextInFocusChain(); w != &dialog; w = w->nextInFocusChain()) {
    if ((w->focusPolicy() & Qt::TabFocus) && w->objectName().startsWith("control")) {
      order.push_back(w->objectName().mid(7).toInt());
    }
  }
  return order;
}

bool IsBlackOnPanel(const QWidget& w) {
  const QPalette& p = w.palette();
  const QColor grey(235, 234, 233);
  return p.color(QPalette::WindowText) == QColor(0, 0, 0) && p.color(QPalette::Window) == grey &&
         w.autoFillBackground();
}

const int kPanels[] = {1094, 1095, 1096, 1097, 1099, 1100, 1101, 1102, 1105, 1106, 1124, 1125};

// ---- The dialog on its own ----

class FirmwareDialogTest : public ::testing::Test, protected MainDialogFixture {
 protected:
  void SetUp() override {
    AddMonitored(ConfigurableSwitch("001e58000010", "192.168.0.10"));
    auto& context = OperationContext::Instance();
    context.SetUpgradeTargetIp(Ip("192.168.0.10"));
    context.SetUpgradeTargetMac("001e58000010");
    context.SetUpgradeFilePath(dir.File("old.hex"));
  }
  FirmwareUpgradeDialogWiring Wiring() {
    return {dlg.MonitorTable(), 0, network, &transport, messages, file_dialogs, [this] { ++watches; }, {}};
  }

  TempConfigDir dir;
  FakeClock clock;
  FakeUpgradeNetwork network{clock};
  FakeTftpTransport transport{clock};
  int watches = 0;
};

TEST_F(FirmwareDialogTest, ShowsTheTargetAndTheSettingsInTheirGroupsInTheTemplatesOrder) {
  FirmwareUpgradeDialog dialog(Wiring());
  EXPECT_EQ(dialog.windowTitle(), "Firmware Upgrade");
  EXPECT_EQ(dialog.DeviceInformation()->title(), "Device Information");
  EXPECT_EQ(dialog.UpgradeSetting()->title(), "Upgrade Setting");

  struct Row {
    QGridLayout* grid;
    int label;
    const char* text;
    int box;
    const char* shown;  // what the box holds when the dialog opens
  };
  const std::string old_path = dir.File("old.hex");
  const Row rows[] = {
      {dialog.DeviceRows(), 1115, "      Device IP", 1060, "192.168.0.10"},
      {dialog.DeviceRows(), 1116, "     Device Mac", 1061, "001e58000010"},
      {dialog.SettingRows(), 1117, "      Firmware Path", 1045, old_path.c_str()},
      {dialog.SettingRows(), 1118, "      Password", 1070, ""},
      {dialog.StateRow(), 1119, "      Upgrade State", 1073, ""},
  };
  for (const Row& row : rows) {
    auto* label = qobject_cast<QLabel*>(dialog.Control(row.label));
    auto* box = qobject_cast<QLineEdit*>(dialog.Control(row.box));
    ASSERT_TRUE(label && box) << row.text;
    EXPECT_EQ(label->text().toStdString(), row.text);
    EXPECT_EQ(box->text().toStdString(), row.shown) << row.text;
    int label_row = -1, label_column = -1, box_row = -2, box_column = -1, span = 0;
    const int label_at = row.grid->indexOf(label);
    const int box_at = row.grid->indexOf(box);
    ASSERT_TRUE(label_at >= 0 && box_at >= 0) << row.text << ": not in its group";
    row.grid->getItemPosition(label_at, &label_row, &label_column, &span, &span);
    row.grid->getItemPosition(box_at, &box_row, &box_column, &span, &span);
    EXPECT_EQ(label_row, box_row) << row.text;
    EXPECT_EQ(label_column, 0) << row.text;
    EXPECT_EQ(box_column, 1) << row.text;
  }
  EXPECT_EQ(dialog.DeviceRows()->parentWidget(), dialog.DeviceInformation());
  EXPECT_EQ(dialog.SettingRows()->parentWidget(), dialog.UpgradeSetting());
  // "Browse" beside the path.
  int path_row = -1, browse_row = -2, column = -1, span = 0;
  dialog.SettingRows()->getItemPosition(dialog.SettingRows()->indexOf(dialog.FirmwarePath()), &path_row, &column,
                                        &span, &span);
  dialog.SettingRows()->getItemPosition(dialog.SettingRows()->indexOf(dialog.BrowseButton()), &browse_row, &column,
                                        &span, &span);
  EXPECT_EQ(browse_row, path_row);
  EXPECT_EQ(column, 2);

  EXPECT_EQ(dialog.BrowseButton()->text(), "Browse");
  EXPECT_EQ(dialog.StartButton()->text(), "Start");
  EXPECT_EQ(dialog.CancelButton()->text(), "Cancel");
  EXPECT_TRUE(dialog.BrowseButton()->isDefault());
  EXPECT_FALSE(dialog.StartButton()->isDefault() || dialog.StartButton()->autoDefault());
  EXPECT_FALSE(dialog.CancelButton()->isDefault() || dialog.CancelButton()->autoDefault());
  for (QLineEdit* box : {dialog.DeviceIp(), dialog.DeviceMac(), dialog.UpgradeState()}) EXPECT_TRUE(box->isReadOnly());
  for (QLineEdit* box : {dialog.FirmwarePath(), dialog.Password()}) EXPECT_FALSE(box->isReadOnly());
  EXPECT_EQ(dialog.Password()->echoMode(), QLineEdit::Password);
  EXPECT_EQ(Utf8ByteLimit(*dialog.Password()), 20);
  for (int id : kPanels) {
    auto* panel = qobject_cast<QLabel*>(dialog.Control(id));
    ASSERT_NE(panel, nullptr) << id;
    EXPECT_TRUE(panel->text().isEmpty()) << id;
  }
  EXPECT_EQ(FocusOrder(dialog), (std::vector<int>{1060, 1061, 1045, 1074, 1070, 1073, 1015, 2}));
}

TEST_F(FirmwareDialogTest, IsWhiteWithItsLabelsOnGreyPanelsAndItsEditableBoxesBlackOnWhite) {
  FirmwareUpgradeDialog dialog(Wiring());
  EXPECT_TRUE(HasWhiteBackground(dialog));
  for (int id : {1045, 1070, 1119, 1120, 1121}) EXPECT_TRUE(IsBlackOnWhite(*dialog.Control(id))) << id;
  for (int id : {1115, 1116, 1117, 1118}) EXPECT_TRUE(IsBlackOnPanel(*dialog.Control(id))) << id;
  for (int id : kPanels) EXPECT_TRUE(IsBlackOnPanel(*dialog.Control(id))) << id;
  // The read-only boxes and the buttons keep the platform's colours: 1060 and 1061 do not take
  // the black on white of the group they sit in.
  for (int id : {1073, 1074, 1015, 2}) EXPECT_TRUE(KeepsDefaultColours(*dialog.Control(id))) << id;
  for (int id : {1060, 1061}) EXPECT_TRUE(ShowsPlatformColours(*dialog.Control(id))) << id;

  dialog.Password()->setText("admin");
  dialog.ShowUpgradeState("Upgrading...1024/4096 bytes");
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_FALSE(SaveScreenshot(dialog, "firmware_upgrade_dialog").empty());
}

TEST_F(FirmwareDialogTest, EnterAndEscapeDoNothingWhileCancelAndTheCloseBoxEndIt) {
  for (const char* how : {"Cancel", "close box"}) {
    FirmwareUpgradeDialog dialog(Wiring());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.Password()->setFocus();
    dialog.Password()->setText("admin");
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) QTest::keyClick(dialog.Password(), key);
    EXPECT_TRUE(dialog.isVisible()) << how;
    EXPECT_EQ(file_dialogs.open_requests.size(), 0u) << "Enter pressed the default button";
    if (std::string_view(how) == "Cancel") {
      dialog.CancelButton()->click();
    } else {
      dialog.close();
    }
    EXPECT_FALSE(dialog.isVisible()) << how;
    EXPECT_EQ(dialog.Ended(), DialogEnd::kCancelled) << how;
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << how;
    EXPECT_TRUE(dialog.Password()->text().isEmpty()) << how;
  }
  EXPECT_TRUE(network.calls.empty());
  EXPECT_EQ(transport.opens, 0);
  EXPECT_EQ(watches, 0);
}

TEST_F(FirmwareDialogTest, BrowseAsksForAHexFileAndACancelledChoiceEmptiesThePath) {
  FirmwareUpgradeDialog dialog(Wiring());
  file_dialogs.open_answer = dir.File("new image.hex");
  dialog.BrowseButton()->click();
  ASSERT_EQ(file_dialogs.open_requests.size(), 1u);
  EXPECT_EQ(file_dialogs.open_requests[0].filter_name, "hex File (*.hex)");
  EXPECT_EQ(file_dialogs.open_requests[0].filter_glob, "*.hex");
  EXPECT_EQ(file_dialogs.open_requests[0].initial_name, "*.hex");
  EXPECT_EQ(dialog.FirmwarePath()->text().toStdString(), dir.File("new image.hex"));

  file_dialogs.open_answer.reset();
  dialog.BrowseButton()->click();
  EXPECT_TRUE(dialog.FirmwarePath()->text().isEmpty());
  EXPECT_EQ(OperationContext::Instance().UpgradeFilePath(), "");
  dialog.Password()->setText("admin");
  dialog.StartButton()->click();
  // The membership is renewed first (half a second), then the path is checked.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !messages.shown.empty(); }, 2000));
  EXPECT_EQ(messages.shown, std::vector<ShownMessage>{ErrorBox("Firmware file not found")});
}

TEST_F(FirmwareDialogTest, StartRefusesAMissingPasswordOrFileAndSendsNothing) {
  dir.Write("firmware.hex", Image(100));
  struct Case {
    const char* password;
    std::string path;
    const char* message;
    bool password_refused;
  };
  const Case cases[] = {
      {"", dir.File("firmware.hex"), "Password must be 1-20 characters long.", true},
      {"admin", dir.File("missing.hex"), "Firmware file not found", false},
      {"admin", "", "Firmware file not found", false},
  };
  for (const Case& c : cases) {
    FirmwareUpgradeDialog dialog(Wiring());
    dialog.show();
    dialog.activateWindow();
    messages.shown.clear();
    dialog.Password()->setText(c.password);
    dialog.FirmwarePath()->setText(QString::fromStdString(c.path));
    dialog.StartButton()->setFocus();
    dialog.StartButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !messages.shown.empty(); }, 2000)) << c.path;
    EXPECT_EQ(messages.shown, std::vector<ShownMessage>{ErrorBox(c.message)}) << c.path;
    EXPECT_TRUE(dialog.UpgradeState()->text().isEmpty());
    EXPECT_EQ(dialog.Password()->text().toStdString(), c.password) << "the password box keeps what was typed";
    // Once the box is closed the refused field has the focus, its text selected.
    QLineEdit* refused = c.password_refused ? dialog.Password() : dialog.FirmwarePath();
    EXPECT_EQ(dialog.focusWidget(), refused) << c.path;
    EXPECT_EQ(refused->selectedText(), refused->text()) << c.path;
  }
  EXPECT_TRUE(network.sends.empty());
  EXPECT_EQ(transport.opens, 0);
}

// ---- From the main window ----

// A computer with one address, 192.168.0.1/24.
struct OneAddress : IInterfaceAddresses {
  int Read(std::vector<InterfaceAddress>& rows) override {
    rows = {{Ip("192.168.0.1"), 0xFFFFFF00}};
    return 0;
  }
};

// A window whose firmware upgrade reaches stand-ins: the trigger is acknowledged as the reply
// dispatcher would, the TFTP switch acknowledges every datagram, and the discoveries of the
// reboot watch are answered from the given probe on.
class WindowFirmwareTest : public WindowTest {
 protected:
  WindowFirmwareTest() {
    WindowServices services{&ui.messages, &ui.questions, &ui.file_dialogs, &ui.remote_ip, &ui.desktop, &ui.sender, {}, &ui.notifications};
    services.firmware.network = &network;
    services.firmware.transport = &transport;
    services.firmware.reboot_seen = &reboot_seen;
    services.firmware.addresses = &addresses;
    services.firmware.dialog_settings.tftp.completion_pause = 50ms;
    services.firmware.watch_settings = {100ms, 100ms, 4};
    ui.window = std::make_unique<MainWindow>(ui.traps, services);

    network.on_send = [this](const FakeUpgradeNetwork::Send& send) { OnManagementSend(send); };
    transport.on_send = [this](const SentTftpDatagram& d) { OnTftpSend(d); };
  }

  void OnManagementSend(const FakeUpgradeNetwork::Send& send) {
    on_ui_thread = on_ui_thread && QThread::currentThread() == QCoreApplication::instance()->thread();
    const auto header = ParseHeader(send.bytes);
    if (!header) return;
    if (header->command == CMD_UPGRADE_TRIGGER && acknowledge_trigger) {
      OperationContext::Instance().SetUpgradeAcknowledged(1);
    }
    if (header->command == CMD_DISCOVER && send.how == "broadcast") {
      ++probes;
      rows_at_probe.push_back(window().DiscoveryList()->topLevelItemCount());
      if (back_at_probe != 0 && probes >= back_at_probe) {
        // The switch's reply, filed as the dispatcher would do it a moment later.
        QTimer::singleShot(10, window().DiscoveryList(), [this] {
          Discover(ConfigurableSwitch("001e58000010", "192.168.0.10"));
          reboot_seen.seen = true;
        });
      }
    }
  }

  void OnTftpSend(const SentTftpDatagram& d) {
    const std::uint16_t opcode = Opcode(d);
    if (opcode == 2) {
      write_request.assign(d.bytes.begin(), d.bytes.end());
    } else if (opcode == 3) {
      received.insert(received.end(), d.bytes.begin() + 4, d.bytes.end());
    }
    if (tftp_error) {
      transport.incoming.emplace_back(TftpError(1, "Flash write error"), Endpoint{Ip("192.168.0.10"), 1069});
    } else {
      transport.incoming.emplace_back(TftpAck(opcode == 2 ? 0 : Block(d)), Endpoint{Ip("192.168.0.10"), 1069});
    }
    // The socket becomes readable.
    QTimer::singleShot(1, window().FirmwareUpgrade()->Dialog(), [this] {
      if (FirmwareUpgradeDialog* dialog = window().FirmwareUpgrade()->Dialog()) dialog->OnTftpReadable();
    });
  }

  // Selects the switch, presses "Upgrade firmware" and, in the dialog, types the password and the
  // path and presses "Start"; `in_dialog` then runs while the dialog is still open. Returns once
  // the dialog has closed.
  void UpgradeFromTheMonitorList(const std::function<void(FirmwareUpgradeDialog&)>& in_dialog = {}) {
    ClickRow(window().MonitorList(), 0);
    ModalWatcher watcher([&](QWidget* modal) {
      auto* dialog = qobject_cast<FirmwareUpgradeDialog*>(modal);
      if (dialog == nullptr) {
        ADD_FAILURE() << "expected the firmware dialog, got " << modal->metaObject()->className();
        if (auto* other = qobject_cast<QDialog*>(modal)) other->reject();
        return;
      }
      opened_on = {dialog->DeviceIp()->text().toStdString(), dialog->DeviceMac()->text().toStdString()};
      owner = dialog->parentWidget();
      modal_to_window = dialog->isModal();
      QObject::connect(dialog->UpgradeState(), &QLineEdit::textChanged,
                       [this](const QString& text) { states.push_back(text.toStdString()); });
      dialog->Password()->setText("admin");
      dialog->FirmwarePath()->setText(QString::fromStdString(dir.File("firmware.hex")));
      dialog->StartButton()->click();
      if (in_dialog) in_dialog(*dialog);
    });
    window().ButtonOf(Control::UpgradeFirmware)->click();
    EXPECT_TRUE(watcher.Handled());
  }
  bool WaitForVerdict() {
    return QTest::qWaitFor([&] { return !window().FirmwareUpgrade()->Watch().Running(); }, 5000);
  }

  FakeClock clock;
  FakeUpgradeNetwork network{clock};
  FakeTftpTransport transport{clock};
  FakeRebootSeen reboot_seen;
  OneAddress addresses;
  bool acknowledge_trigger = true;
  bool tftp_error = false;
  int back_at_probe = 0;
  int probes = 0;
  std::vector<int> rows_at_probe;
  bool on_ui_thread = true;
  std::vector<std::uint8_t> write_request;
  std::vector<std::uint8_t> received;
  std::vector<std::string> states;
  std::pair<std::string, std::string> opened_on;
  QWidget* owner = nullptr;
  bool modal_to_window = false;
};

TEST_F(WindowFirmwareTest, StartUploadsTheImageShowsTheProgressAndTheRebootWatchGivesItsVerdict) {
  struct Case {
    int back_at_probe;  // 0: never
    ShownMessage verdict;
    int probes;
  };
  const Case cases[] = {
      {2, {"Firmware upgrade successful.", "Information", MessageIcon::Information}, 2},
      {0, {"Firmware upgrade failed.", "Information", MessageIcon::Warning}, 4},
  };
  StartUp();
  Monitor(ConfigurableSwitch("001e58000010", "192.168.0.10"));
  const auto image = Image(1300);
  dir.Write("firmware.hex", image);
  Show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.verdict.text);
    // Stale rows that the watch empties before its first probe.
    core().ClearDiscoveryList();
    Discover(ConfigurableSwitch("001e58000020", "192.168.0.20"));
    Discover(ConfigurableSwitch("001e58000021", "192.168.0.21"));
    back_at_probe = c.back_at_probe;
    probes = 0;
    rows_at_probe.clear();
    reboot_seen.seen = false;
    received.clear();
    states.clear();
    ui.messages.shown.clear();

    UpgradeFromTheMonitorList();
    EXPECT_EQ(opened_on, (std::pair<std::string, std::string>{"192.168.0.10", "001e58000010"}));
    EXPECT_EQ(owner, &window());
    EXPECT_TRUE(modal_to_window);
    EXPECT_EQ(states, (std::vector<std::string>{"Wait....", "Upgrading...1024/1300 bytes",
                                                "Complete...1300/1300 bytes"}));
    EXPECT_EQ(received, image);
    EXPECT_EQ(std::string(write_request.begin() + 2, write_request.end()),
              dir.File("firmware.hex") + std::string(1, '\0') + "octet" + std::string(1, '\0'));
    // The trigger went by unicast to the monitored switch, with the typed password.
    ASSERT_FALSE(network.sends.empty());
    const auto& trigger = network.sends.front();
    EXPECT_EQ(trigger.how, "unicast");
    EXPECT_EQ(trigger.ip, Ip("192.168.0.10"));
    EXPECT_EQ(TlvValue(trigger.bytes, TLV_PASSWORD), (std::vector<std::uint8_t>{'a', 'd', 'm', 'i', 'n'}));
    EXPECT_EQ(window().FirmwareUpgrade()->Dialog(), nullptr);

    ASSERT_TRUE(WaitForVerdict());
    EXPECT_EQ(ui.messages.shown, std::vector<ShownMessage>{c.verdict});
    EXPECT_EQ(probes, c.probes);
    // Each probe went out on an emptied Discovery List; after a success it holds the switch
    // that answered.
    EXPECT_EQ(rows_at_probe, std::vector<int>(static_cast<std::size_t>(c.probes), 0));
    EXPECT_EQ(ColumnTexts(window().DiscoveryList(), kDiscoveryColumnIp),
              c.back_at_probe ? std::vector<std::string>{"192.168.0.10"} : std::vector<std::string>{});
    network.sends.clear();
    network.calls.clear();
  }
  EXPECT_TRUE(on_ui_thread);
}

TEST_F(WindowFirmwareTest, ATargetOutsideTheComputersSubnetOrADuplicateAddressOpensNoDialog) {
  struct Case {
    const char* mac;
    const char* message;
  };
  const Case cases[] = {
      {"001e58000010", "The device and manager IP addresses are not in the same subnet."},
      {"001e58000011", "Duplicate IP address."},
  };
  StartUp();
  Monitor(ConfigurableSwitch("001e58000010", "10.0.0.10"));
  Monitor(ConfigurableSwitch("001e58000011", "192.168.0.11"));
  Monitor(ConfigurableSwitch("001e58000012", "192.168.0.11"));
  Show();
  for (const Case& c : cases) {
    ui.messages.shown.clear();
    const auto macs = ColumnTexts(window().MonitorList(), kMonitorColumnMac);
    ClickRow(window().MonitorList(), static_cast<int>(std::find(macs.begin(), macs.end(), c.mac) - macs.begin()));
    window().ButtonOf(Control::UpgradeFirmware)->click();
    QApplication::processEvents();
    EXPECT_EQ(ui.messages.shown, std::vector<ShownMessage>{ErrorBox(c.message)}) << c.mac;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  }
  EXPECT_TRUE(network.calls.empty());
}

TEST_F(WindowFirmwareTest, AnUnansweredTriggerLeavesTheDialogOpenAndCancelEndsItWithoutAWatch) {
  acknowledge_trigger = false;
  StartUp();
  Monitor(ConfigurableSwitch("001e58000010", "192.168.0.10"));
  dir.Write("firmware.hex", Image(10));
  Show();
  bool trigger_failed = false;
  UpgradeFromTheMonitorList([&](FirmwareUpgradeDialog& dialog) {
    trigger_failed = QTest::qWaitFor([&] { return dialog.UpgradeState()->text() == "Trigger failed"; }, 5000);
    EXPECT_TRUE(dialog.isVisible());
    dialog.CancelButton()->click();
  });
  EXPECT_TRUE(trigger_failed);
  EXPECT_EQ(states, std::vector<std::string>{"Trigger failed"});
  EXPECT_EQ(transport.opens, 0);
  EXPECT_FALSE(window().FirmwareUpgrade()->Watch().Running());
  EXPECT_TRUE(ui.messages.shown.empty());
}

TEST_F(WindowFirmwareTest, AnErrorFromTheSwitchIsShownAndEndsTheDialogWithoutAWatch) {
  tftp_error = true;
  StartUp();
  Monitor(ConfigurableSwitch("001e58000010", "192.168.0.10"));
  dir.Write("firmware.hex", Image(2000));
  Show();
  UpgradeFromTheMonitorList();
  ASSERT_EQ(ui.messages.shown.size(), 1u);
  EXPECT_EQ(ui.messages.shown[0].title, "Firmware upgrade failed.");
  EXPECT_EQ(ui.messages.shown[0].text.rfind("Flash write error", 0), 0u) << ui.messages.shown[0].text;
  EXPECT_FALSE(window().FirmwareUpgrade()->Watch().Running());
  EXPECT_FALSE(transport.IsOpen());
}

}  // namespace
}  // namespace sd::gui
