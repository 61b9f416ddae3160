// SPDX-License-Identifier: GPL-3.0-or-later
// The whole firmware upgrade on a fake clock against the switch simulator, without sockets: the
// dialog's trigger and the reboot watch's discoveries reach the simulator and its answers go
// through the real reply dispatcher; the TFTP client talks to the simulator's TFTP server,
// through a link that can lose datagrams in both directions.
#include <gtest/gtest.h>

#include <deque>
#include <random>

#include "net/reply_dispatcher.h"
#include "operations/firmware_upgrade.h"
#include "operations/manager_subnet.h"
#include "operations/reboot_watch.h"
#include "protocol/ipv4.h"
#include "protocol/operation_context.h"
#include "support/fake_clock.h"
#include "support/firmware_fakes.h"
#include "support/main_dialog.h"
#include "support/temp_dir.h"
#include "tools/switchsim/simulator.h"

namespace sd {
namespace {

using test::Ms;
using test::ShownMessage;

const std::uint32_t kManager = *TextToIpv4("192.168.0.2");
const std::uint32_t kGroup = *TextToIpv4("239.255.100.100");
const std::uint32_t kSwitchIp = *TextToIpv4("192.168.0.10");
constexpr std::uint16_t kSwitchTftpReplyPort = 40123;

const ShownMessage kSuccess{"Firmware upgrade successful.", "Information", MessageIcon::Information};
const ShownMessage kFailure{"Firmware upgrade failed.", "Information", MessageIcon::Warning};

std::vector<std::uint8_t> Pattern(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

// The management sends of the upgrade, answered by the simulator; the answers wait in a queue
// for the dispatcher, as datagrams wait on a socket.
class SimulatorNetwork : public IUpgradeNetwork {
 public:
  SimulatorNetwork(sim::Simulator& sim, std::deque<sim::Outgoing>& replies) : sim_(sim), replies_(replies) {}
  void LeaveGroup() override {}
  void JoinGroup() override {}
  bool EnableBroadcast() override { return true; }
  bool SendUnicast(std::span<const std::uint8_t> d, std::uint32_t ip) override { return Send(d, 50001, ip); }
  bool SendBroadcast(std::span<const std::uint8_t> d) override { return Send(d, 50000, kLimitedBroadcast); }
  bool SendMulticast(std::span<const std::uint8_t> d) override { return Send(d, 50006, kGroup); }
  std::vector<std::uint32_t> destinations;

 private:
  bool Send(std::span<const std::uint8_t> d, std::uint16_t from_port, std::uint32_t to) {
    destinations.push_back(to);
    for (auto& o : sim_.HandleDatagram(d, {kManager, from_port}, to)) replies_.push_back(std::move(o));
    return true;
  }
  sim::Simulator& sim_;
  std::deque<sim::Outgoing>& replies_;
};

class UpgradeWithSimulatorTest : public ::testing::Test, protected test::MainDialogFixture {
 protected:
  UpgradeWithSimulatorTest() {
    sim.SetClock([this] { return sim::Simulator::Clock::time_point{} + clock.Now(); });
    dialog_timers.SetHandler([this](int id) {
      if (upgrade) upgrade->OnTimer(id);
    });
    main_timers.SetHandler([this](int id) { watch.OnTimer(id); });
    view.on_start_reboot_watch = [this] { watch.WatchReboot(); };
    // The link of the transfer: each datagram may be lost on its way out or back.
    transport.on_send = [this](const test::SentTftpDatagram& d) {
      EXPECT_EQ(d.to.port, 69);
      if (Lost()) return;
      for (auto& o : sim.HandleTftpDatagram(d.bytes, {kManager, *transport.bound_port}, d.to.address)) {
        if (Lost()) continue;
        transport.incoming.emplace_back(std::move(o.bytes), Endpoint{o.source, kSwitchTftpReplyPort});
      }
    };
  }
  ~UpgradeWithSimulatorTest() override { upgrade.reset(); }

  bool Lost() { return loss > 0 && std::uniform_real_distribution<double>(0, 1)(random) < loss; }

  void AddSwitch(const std::string& definition) {
    std::string error;
    const auto s = sim::ParseNewSwitch(definition, &error);
    ASSERT_TRUE(s) << error;
    ASSERT_TRUE(sim.Add(*s));
  }

  // Discovery fills the Discovery List; the switch is chosen there (or moved to the Monitor List
  // first), passes the subnet check and the dialog opens on it.
  void OpenOn(bool in_monitor_list) {
    std::array<std::uint8_t, kHeaderSize> discover{};
    BuildRequestHeader(discover.data(), CMD_DISCOVER);
    network.SendBroadcast(discover);
    Pump([] { return false; }, Ms(0));
    ASSERT_EQ(dlg.DiscoveryTable().Count(), 1);
    if (in_monitor_list) dlg.TransferToMonitorList({0});
    const DeviceTable& list = in_monitor_list ? dlg.MonitorTable() : dlg.DiscoveryTable();
    ASSERT_EQ(list.Count(), 1);
    ASSERT_EQ(CheckManagerSubnet(list, 0, messages, addresses), 1);
    upgrade = std::make_unique<CFirmware_Upgrade>(
        FirmwareUpgradeWiring{list, 0, network, transport, dialog_timers, dialog_messages, file_dialogs, view});
    upgrade->OnInitDialog();
  }

  // Delivers every waiting datagram, then moves the clock to the next tick, until `done` or the
  // time limit.
  bool Pump(const std::function<bool()>& done, Ms limit) {
    const Ms end = clock.Now() + limit;
    for (;;) {
      while (!replies.empty() || !transport.incoming.empty()) {
        if (!replies.empty()) {
          const sim::Outgoing o = std::move(replies.front());
          replies.pop_front();
          dispatcher.Dispatch(o.bytes, o.source);
        } else if (upgrade && transport.IsOpen()) {
          upgrade->OnTftpReceive();
        } else {
          transport.incoming.clear();
        }
        if (done()) return true;
      }
      if (done()) return true;
      if (clock.Now() >= end || !clock.RunNextTick(end - clock.Now())) return done();
    }
  }

  std::vector<std::uint8_t> WriteImage(std::size_t size, unsigned seed = 1) {
    auto bytes = Pattern(size, seed);
    dir.Write("firmware.hex", bytes);
    return bytes;
  }
  // "Start", then on until the dialog is ready again or, once it has ended after a transfer,
  // until the reboot watch has given its verdict.
  void StartAndRunToTheEnd(const std::string& password = "admin") {
    upgrade->OnStart(password, dir.File("firmware.hex"));
    ASSERT_TRUE(Pump(
        [this] {
          if (view.ended == DialogEnd::kCompleted) return watch.Verdict().has_value();
          return view.ended.has_value() || !upgrade->Busy();
        },
        Ms(10 * 60 * 1000)));
  }

  test::TempConfigDir dir;
  test::FakeClock clock;
  test::FakeTimers dialog_timers{clock};
  test::FakeTimers main_timers{clock};
  sim::Simulator sim{{0x01945AE0, kManager, 50001, kGroup}};
  std::deque<sim::Outgoing> replies;
  SimulatorNetwork network{sim, replies};
  ReplyDispatcher dispatcher{dlg.Lists(), messages, {}};
  RebootSeenOf<ReplyDispatcher> reboot_seen{dispatcher};
  RebootWatch watch{network, reboot_seen, [this] { dlg.ClearDiscoveryList(); }, messages, main_timers};
  test::FakeTftpTransport transport{clock};
  test::RecordingMessages dialog_messages;
  test::RecordingUpgradeView view;
  std::unique_ptr<CFirmware_Upgrade> upgrade;
  struct : IInterfaceAddresses {
    int Read(std::vector<InterfaceAddress>& rows) override {
      rows = {{kManager, 0xFFFFFF00}};
      return 0;
    }
  } addresses;
  double loss = 0;
  std::mt19937 random{2026};
};

TEST_F(UpgradeWithSimulatorTest, FromStartToFirmwareUpgradeSuccessful) {
  AddSwitch("ip=192.168.0.10,mac=02:00:00:00:00:10,password=admin,reboot=3000");
  OpenOn(/*in_monitor_list=*/false);
  const auto image = WriteImage(1 << 20);
  StartAndRunToTheEnd();

  EXPECT_EQ(sim.Image(kSwitchIp)->bytes, image);
  EXPECT_EQ(view.states.front(), "Wait....");
  EXPECT_EQ(view.states.back(), "Complete...1048576/1048576 bytes");
  EXPECT_EQ(view.ended, DialogEnd::kCompleted);
  EXPECT_TRUE(dialog_messages.shown.empty()) << dialog_messages.shown[0].text;
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{kSuccess}));
  // Back after its reboot: the watch's last probe refilled the Discovery List with it.
  ASSERT_EQ(dlg.DiscoveryTable().Count(), 1);
  EXPECT_EQ(GetText(dlg.DiscoveryTable().Entry(0).mac_text), "020000000010");
  EXPECT_EQ(network.destinations[1], kLimitedBroadcast) << "the trigger to a Discovery List switch";
  EXPECT_EQ(network.destinations[2], kGroup);
}

TEST_F(UpgradeWithSimulatorTest, AMonitorListSwitchIsTriggeredByUnicastAndSeenAgain) {
  AddSwitch("ip=192.168.0.10,mac=02:00:00:00:00:10,password=admin,reboot=1500");
  OpenOn(/*in_monitor_list=*/true);
  const auto image = WriteImage(5000);
  StartAndRunToTheEnd();
  EXPECT_EQ(network.destinations[1], kSwitchIp);
  EXPECT_EQ(sim.Image(kSwitchIp)->bytes, image);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{kSuccess}));
}

struct LossCase {
  std::size_t size;
  unsigned seed;
};

class LossyUploadTest : public UpgradeWithSimulatorTest, public ::testing::WithParamInterface<LossCase> {};

TEST_P(LossyUploadTest, TheImageArrivesByteForByteThroughLossInBothDirections) {
  AddSwitch("ip=192.168.0.10,mac=02:00:00:00:00:10,password=admin,reboot=1000");
  OpenOn(false);
  random.seed(GetParam().seed);
  const auto image = WriteImage(GetParam().size, GetParam().seed);
  upgrade->OnStart("admin", dir.File("firmware.hex"));
  Pump([this] { return upgrade->Transfer().State() == TransferState::kTransferring; }, Ms(10000));
  loss = 0.10;  // the management requests go through whole; the transfer loses one datagram in ten
  ASSERT_TRUE(Pump([this] { return view.ended.has_value(); }, Ms(3600 * 1000)));
  EXPECT_EQ(view.ended, DialogEnd::kCompleted);
  EXPECT_TRUE(dialog_messages.shown.empty());
  ASSERT_TRUE(sim.Image(kSwitchIp)->complete);
  EXPECT_EQ(sim.Image(kSwitchIp)->bytes, image);
  const std::size_t blocks = GetParam().size / 512 + 1;
  const auto data_sends = std::count_if(transport.sent.begin(), transport.sent.end(),
                                        [](const auto& d) { return test::Opcode(d) == TFTP_DATA; });
  if (blocks >= 100) {
    EXPECT_GT(static_cast<std::size_t>(data_sends), blocks) << "blocks went again";
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, LossyUploadTest,
                         ::testing::Values(LossCase{0, 1}, LossCase{1, 2}, LossCase{511, 3}, LossCase{512, 4},
                                           LossCase{513, 5}, LossCase{65536, 6}, LossCase{300 * 1024 + 7, 7},
                                           LossCase{256 * 1024, 8}),
                         [](const auto& param_info) {
                           return "bytes_" + std::to_string(param_info.param.size);
                         });

TEST_F(UpgradeWithSimulatorTest, AWrongPasswordIsRefusedAndNothingIsSent) {
  AddSwitch("ip=192.168.0.10,mac=02:00:00:00:00:10,password=admin");
  OpenOn(false);
  WriteImage(1000);
  upgrade->OnStart("guess", dir.File("firmware.hex"));
  Pump([] { return false; }, Ms(3000));
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Password error."}));
  EXPECT_EQ(view.states, (std::vector<std::string>{"Trigger failed"}));
  EXPECT_EQ(transport.opens, 0);
  EXPECT_EQ(sim.Image(kSwitchIp), nullptr);

  // The right password then goes through, with the sequence number the refusal moved on.
  StartAndRunToTheEnd();
  EXPECT_EQ(messages.shown.back(), kSuccess);
}

TEST_F(UpgradeWithSimulatorTest, ASwitchThatComesBackNeedingFirmwareIsAFailure) {
  AddSwitch("ip=192.168.0.10,mac=02:00:00:00:00:10,password=admin,reboot=2000,comeback=unconfigurable");
  OpenOn(false);
  WriteImage(2000);
  StartAndRunToTheEnd();
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{kFailure}));
  EXPECT_EQ(watch.ProbeCount(), 110);
  ASSERT_EQ(dlg.DiscoveryTable().Count(), 1) << "it answers, as a switch that needs firmware";
  EXPECT_EQ(dlg.DiscoveryTable().Entry(0).firmware_state, FIRMWARE_STATE_UNCONFIGURABLE);
}

TEST_F(UpgradeWithSimulatorTest, ASwitchThatNeverComesBackIsAFailureAfterTheLastProbe) {
  AddSwitch("ip=192.168.0.10,mac=02:00:00:00:00:10,password=admin,comeback=never");
  OpenOn(false);
  WriteImage(2000);
  upgrade->OnStart("admin", dir.File("firmware.hex"));
  const Ms start = clock.Now();
  Pump([this] { return watch.Verdict().has_value(); }, Ms(10 * 60 * 1000));
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{kFailure}));
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 0);
  // 0.5 s membership renewal, the full 2 s wait for the acknowledgement, the transfer at once,
  // 5 s pause, 12 s wait, 110 probes a second apart.
  EXPECT_EQ(clock.Now() - start, Ms(500 + 2000 + 5000 + 12000 + 110 * 1000));
}

TEST_F(UpgradeWithSimulatorTest, ATftpErrorFromTheSwitchEndsTheDialog) {
  AddSwitch("ip=192.168.0.10,mac=02:00:00:00:00:10,password=admin,tftperror=3,tftperrortext=Checksum error");
  OpenOn(false);
  WriteImage(4000);
  upgrade->OnStart("admin", dir.File("firmware.hex"));
  Pump([this] { return view.ended.has_value(); }, Ms(60000));
  EXPECT_EQ(dialog_messages.shown,
            (std::vector<ShownMessage>{{"Checksum error\nThe device will reboot. Please wait", "Firmware upgrade failed.",
                                        MessageIcon::Error}}));
  EXPECT_EQ(view.ended, DialogEnd::kFailed);
  EXPECT_EQ(view.reboot_watch_starts, 0);
  EXPECT_EQ(sim.Image(kSwitchIp)->bytes.size(), 1024u);
}

}  // namespace
}  // namespace sd
