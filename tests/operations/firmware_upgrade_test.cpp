// SPDX-License-Identifier: GPL-3.0-or-later
// The Firmware Upgrade dialog's logic on a fake clock: the checks of "Start", the trigger and
// its addressing, the wait for the acknowledgement, and the hand-over to the transfer.
#include "operations/firmware_upgrade.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "protocol/byte_io.h"
#include "protocol/operation_context.h"
#include "protocol/packet_header.h"
#include "settings/event_log.h"
#include "support/fake_clock.h"
#include "support/firmware_fakes.h"
#include "support/main_dialog.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

using test::Ms;
using test::ShownMessage;
using test::Switch;

const Endpoint kSwitchReplyPort{*TextToIpv4("192.168.0.10"), 50123};

// A dialog over in-memory lists and fakes; the lists hold one other switch each.
struct UpgradeHarness : test::MainDialogFixture {
  UpgradeHarness() {
    timers.SetHandler([this](int id) {
      if (upgrade) upgrade->OnTimer(id);
    });
    dir.Write("gs108.hex", std::vector<std::uint8_t>(1024, 0x3C));
    image = dir.File("gs108.hex");
  }

  // The switch chosen in one list, recorded as the upgrade target as the subnet check does.
  void Open(bool in_monitor_list, DeviceRecord target = Switch("001a2b3c4d5e", "192.168.0.10")) {
    AddMonitored(Switch("0000000000aa", "192.168.0.20"));
    AddDiscovered(Switch("0000000000bb", "192.168.0.21"));
    in_monitor_list ? AddMonitored(target) : AddDiscovered(target);
    OperationContext::Instance().SetUpgradeTargetMac(GetText(target.mac_text));
    OperationContext::Instance().SetUpgradeTargetIp(target.ip);
    const DeviceTable& list = in_monitor_list ? dlg.MonitorTable() : dlg.DiscoveryTable();
    upgrade = std::make_unique<CFirmware_Upgrade>(
        FirmwareUpgradeWiring{list, 1, network, transport, timers, messages, file_dialogs, view});
    upgrade->OnInitDialog();
  }

  // In the dispatcher's stead: the switch acknowledges `delay` after its trigger went out.
  void AcknowledgeAfter(Ms delay) {
    network.on_send = [this, delay](const test::FakeUpgradeNetwork::Send&) { ack_at = clock.Now() + delay; };
  }
  // Moves the clock in 10 ms steps, raising the acknowledgement when it is due.
  void RunTo(Ms until) {
    while (clock.Now() < until) {
      clock.Advance(Ms(10));
      if (ack_at && clock.Now() >= *ack_at) {
        OperationContext::Instance().SetUpgradeAcknowledged(1);
        ack_at.reset();
      }
    }
  }
  void Ack(std::uint16_t block) {
    transport.incoming.emplace_back(test::TftpAck(block), kSwitchReplyPort);
    upgrade->OnTftpReceive();
  }
  std::vector<std::string> NetworkCalls() const {
    std::vector<std::string> out;
    for (const auto& [call, at] : network.calls) out.push_back(call + "@" + std::to_string(at.count()));
    return out;
  }

  test::TempConfigDir dir;
  std::string image;
  test::FakeClock clock;
  test::FakeTimers timers{clock};
  test::FakeUpgradeNetwork network{clock};
  test::FakeTftpTransport transport{clock};
  test::RecordingUpgradeView view;
  std::unique_ptr<CFirmware_Upgrade> upgrade;
  std::optional<Ms> ack_at;
};

class FirmwareUpgradeTest : public ::testing::Test, protected UpgradeHarness {};

TEST_F(FirmwareUpgradeTest, InitShowsTheTargetAndTheLastPath) {
  OperationContext::Instance().SetUpgradeFilePath("/srv/fw/last.hex");
  Open(true);
  EXPECT_EQ(view.ip, "192.168.0.10");
  EXPECT_EQ(view.mac, "001a2b3c4d5e");
  EXPECT_EQ(view.path, "/srv/fw/last.hex");
}

TEST_F(FirmwareUpgradeTest, BrowseTakesTheChosenPathAndCancelEmptiesIt) {
  Open(true);
  file_dialogs.open_answer = image;
  upgrade->OnBrowse();
  ASSERT_EQ(file_dialogs.open_requests.size(), 1u);
  EXPECT_EQ(file_dialogs.open_requests[0].filter_name, "hex File (*.hex)");
  EXPECT_EQ(file_dialogs.open_requests[0].filter_glob, "*.hex");
  EXPECT_EQ(file_dialogs.open_requests[0].initial_name, "*.hex");
  EXPECT_EQ(view.path, image);
  EXPECT_EQ(OperationContext::Instance().UpgradeFilePath(), image);

  file_dialogs.open_answer.reset();
  upgrade->OnBrowse();
  EXPECT_EQ(view.path, "");
  EXPECT_EQ(OperationContext::Instance().UpgradeFilePath(), "");
  upgrade->OnStart("secret", view.path);
  clock.Advance(Ms(500));
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Firmware file not found"}));

  messages.shown.clear();
  file_dialogs.open_answer = "/" + std::string(127, 'p');
  upgrade->OnBrowse();
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"The firmware path is too long: at most 127 characters."}));
  EXPECT_EQ(view.path, "") << "a path that does not fit is not taken";
}

// "Start" renews the membership first and then checks what was typed; a refusal sends nothing.
TEST_F(FirmwareUpgradeTest, StartRefusesBadInputAfterTheRenewalBeforeAnythingIsSent) {
  Open(true);
  const std::string sparse = dir.File("huge.hex");
  dir.Write("huge.hex", {});
  ASSERT_EQ(::truncate(sparse.c_str(), static_cast<off_t>(65535u * 512)), 0);
  struct Case {
    std::string password, path, message;
  };
  const std::vector<Case> cases = {
      {"", image, "Password must be 1-20 characters long."},
      {std::string(21, 'p'), image, "Password must be 1-20 characters long."},
      {"secret", dir.File("missing.hex"), "Firmware file not found"},
      {"secret", dir.Path(), "Firmware file not found"},
      {"secret", "/" + std::string(127, 'p'), "The firmware path is too long: at most 127 characters."},
      {"secret", sparse, "The firmware file is too large: TFTP can send at most 33553919 bytes."},
  };
  for (const auto& c : cases) {
    messages.shown.clear();
    network.calls.clear();
    upgrade->OnStart(c.password, c.path);
    clock.Advance(Ms(499));
    EXPECT_TRUE(messages.shown.empty()) << c.path;
    clock.Advance(Ms(1));
    EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{c.message, "Error", MessageIcon::Error}})) << c.path;
    EXPECT_EQ(NetworkCalls(), (std::vector<std::string>{"leave@" + std::to_string(clock.Now().count() - 500),
                                                        "join@" + std::to_string(clock.Now().count() - 300)}));
    EXPECT_FALSE(upgrade->Busy());
  }
  clock.Advance(Ms(5000));
  EXPECT_TRUE(network.sends.empty());
  EXPECT_TRUE(view.states.empty());
}

TEST_F(FirmwareUpgradeTest, AMonitorListSwitchGetsTheTriggerByUnicastAfterTheMembershipRenewal) {
  Open(true);
  set_sequence = 4242;
  upgrade->OnStart(std::string(20, 'k'), image);
  clock.Advance(Ms(600));
  EXPECT_EQ(OperationContext::Instance().UpgradeFilePath(), image);
  EXPECT_EQ(NetworkCalls(), (std::vector<std::string>{"leave@0", "join@200", "unicast@500"}));
  ASSERT_EQ(network.sends.size(), 1u);
  EXPECT_EQ(network.sends[0].ip, *TextToIpv4("192.168.0.10"));

  const auto& d = network.sends[0].bytes;
  ASSERT_EQ(d.size(), 40u + 4 + 20);
  const auto h = ParseHeader(d);
  ASSERT_TRUE(h);
  EXPECT_EQ(h->version_major, 2);
  EXPECT_EQ(h->version_minor, 0);
  EXPECT_EQ(h->interface_version, 0);
  EXPECT_EQ(h->command, CMD_UPGRADE_TRIGGER);
  EXPECT_EQ(h->manager_id, 0x01945AE0u);
  EXPECT_EQ(h->sequence, 4242);
  EXPECT_EQ(h->mac, (std::array<std::uint8_t, 6>{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}));
  EXPECT_EQ(std::vector<std::uint8_t>(d.begin() + 40, d.begin() + 44), (std::vector<std::uint8_t>{0, 9, 0, 24}));
  EXPECT_EQ(std::string(d.begin() + 44, d.end()), std::string(20, 'k'));
  EXPECT_EQ(set_sequence, 4242) << "only the dispatcher moves the sequence on";
}

TEST_F(FirmwareUpgradeTest, ADiscoveryListSwitchGetsItByBroadcastThenMulticast) {
  Open(false);
  upgrade->OnStart("secret", image);
  clock.Advance(Ms(600));
  EXPECT_EQ(NetworkCalls(), (std::vector<std::string>{"leave@0", "join@200", "broadcast@500", "multicast@500"}));
  ASSERT_EQ(network.sends.size(), 2u);
  EXPECT_EQ(network.sends[0].bytes, network.sends[1].bytes);
  EXPECT_EQ(network.sends[0].bytes.size(), 40u + 4 + 6);
  EXPECT_EQ(ParseHeader(network.sends[0].bytes)->command, CMD_UPGRADE_TRIGGER);
}

TEST_F(FirmwareUpgradeTest, TheAcknowledgementStartsTheTransfer) {
  Open(true);
  AcknowledgeAfter(Ms(250));
  upgrade->OnStart("secret", image);
  RunTo(Ms(2490));
  EXPECT_TRUE(transport.sent.empty()) << "the switch is given the full 2 s before the write request";
  RunTo(Ms(2600));
  ASSERT_EQ(transport.sent.size(), 1u);
  EXPECT_EQ(transport.sent[0].at, Ms(2500));  // trigger at 500, acknowledged at 750, looked at after 2 s
  EXPECT_EQ(test::Opcode(transport.sent[0]), TFTP_WRQ);
  EXPECT_EQ(view.states, (std::vector<std::string>{"Wait...."}));
  EXPECT_EQ(OperationContext::Instance().UpgradeAcknowledged(), 0);
  EXPECT_TRUE(upgrade->Busy());

  upgrade->OnStart("secret", image);  // pressed again meanwhile: ignored
  Ack(0);
  Ack(1);
  Ack(2);
  Ack(3);
  EXPECT_EQ(view.states, (std::vector<std::string>{"Wait....", "Upgrading...1024/1024 bytes",
                                                   "Complete...1024/1024 bytes"}));
  clock.Advance(Ms(5000));
  EXPECT_EQ(view.reboot_watch_starts, 1);
  EXPECT_EQ(view.ended, DialogEnd::kCompleted);
  EXPECT_EQ(upgrade->CurrentPhase(), CFirmware_Upgrade::Phase::kEnded);
  EXPECT_EQ(network.calls.size(), 3u);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FirmwareUpgradeTest, NoAcknowledgementWithinTwoSecondsIsTriggerFailed) {
  Open(true);
  upgrade->OnStart("secret", image);
  clock.Advance(Ms(2499));
  EXPECT_TRUE(view.states.empty());
  clock.Advance(Ms(1));
  EXPECT_EQ(view.states, (std::vector<std::string>{"Trigger failed"}));
  EXPECT_EQ(transport.opens, 0);
  EXPECT_FALSE(upgrade->Busy());

  // A late acknowledgement of that trigger does not let the next one through without its own.
  OperationContext::Instance().SetUpgradeAcknowledged(1);
  upgrade->OnStart("secret", image);
  clock.Advance(Ms(2500));
  EXPECT_EQ(view.states, (std::vector<std::string>{"Trigger failed", "Trigger failed"}));
  EXPECT_EQ(transport.opens, 0);
  EXPECT_EQ(network.sends.size(), 2u);
}

TEST_F(FirmwareUpgradeTest, ATriggerThatCannotBeSentLeavesTheStateBoxAlone) {
  struct Case {
    bool monitor;
    bool test::FakeUpgradeNetwork::*failing;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {true, &test::FakeUpgradeNetwork::unicast_ok, {"leave@0", "join@200", "unicast@500"}},
      {false, &test::FakeUpgradeNetwork::broadcast_ok, {"leave@0", "join@200", "broadcast@500"}},
      {false, &test::FakeUpgradeNetwork::multicast_ok, {"leave@0", "join@200", "broadcast@500", "multicast@500"}},
  };
  for (const auto& c : cases) {
    UpgradeHarness fresh;  // its own lists, clock and fakes
    fresh.Open(c.monitor);
    fresh.network.*c.failing = false;
    fresh.upgrade->OnStart("secret", fresh.image);
    fresh.clock.Advance(Ms(3000));
    EXPECT_EQ(fresh.NetworkCalls(), c.calls);
    EXPECT_EQ(fresh.messages.shown,
              (std::vector<ShownMessage>{{"Upgrade trigger send error", "Error", MessageIcon::Error}}));
    EXPECT_TRUE(fresh.view.states.empty());
    EXPECT_FALSE(fresh.upgrade->Busy()) << "\"Start\" can be pressed again";
  }
}

TEST_F(FirmwareUpgradeTest, WhenTheSocketCannotOpenItsMessageShowsAndTheStateStaysWait) {
  Open(true);
  transport.open_result = ITftpTransport::OpenResult::kBindFailed;
  AcknowledgeAfter(Ms(50));
  upgrade->OnStart("secret", image);
  RunTo(Ms(3000));
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Bind tftps socket error"}));
  EXPECT_EQ(view.states, (std::vector<std::string>{"Wait...."}));
  EXPECT_EQ(OperationContext::Instance().UpgradeAcknowledged(), 1);
  EXPECT_FALSE(upgrade->Busy());
}

TEST_F(FirmwareUpgradeTest, CancelWhileWaitingEndsEverything) {
  Open(false);
  AcknowledgeAfter(Ms(1500));
  upgrade->OnStart("secret", image);
  RunTo(Ms(1000));
  upgrade->OnCancel();
  EXPECT_EQ(view.ended, DialogEnd::kCancelled);
  RunTo(Ms(10000));
  EXPECT_EQ(transport.opens, 0);
  upgrade->OnStart("secret", image);
  upgrade->OnCancel();
  EXPECT_EQ(view.ends, 1);
  EXPECT_EQ(network.sends.size(), 2u);
}

TEST_F(FirmwareUpgradeTest, TheErrorNoticeFollowsTheTargetEntrysFieldMask) {
  DeviceRecord target = Switch("001a2b3c4d5e", "192.168.0.10");
  target.field_mask[3] = 0x40000000;  // the switch says it reboots by itself
  Open(true, target);
  AcknowledgeAfter(Ms(10));
  upgrade->OnStart("secret", image);
  RunTo(Ms(3000));
  transport.incoming.emplace_back(test::TftpError(3, "Image rejected"), kSwitchReplyPort);
  upgrade->OnTftpReceive();
  EXPECT_EQ(messages.shown,
            (std::vector<ShownMessage>{{"Image rejected", "Firmware upgrade failed.", MessageIcon::Error}}));
  EXPECT_EQ(view.ended, DialogEnd::kFailed);
}

}  // namespace
}  // namespace sd
