// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator program's TFTP server on loopback addresses (127.0.0.0/8), with the manager's
// own TFTP client over a real socket: the trigger, the upload, the image kept, the reboot.
#include <gtest/gtest.h>

#include "net/event_loop.h"
#include "operations/firmware_transfer.h"
#include "operations/timer_host.h"
#include "protocol/ipv4.h"
#include "protocol/operation_context.h"
#include "protocol/packet_header.h"
#include "protocol/payload_builders.h"
#include "settings/settings_file.h"
#include "support/child_process.h"
#include "support/firmware_fakes.h"
#include "support/recording_messages.h"
#include "support/temp_dir.h"
#include "tools/switchsim/simulator.h"

namespace sd {
namespace {

using Buffer = std::array<std::uint8_t, kMaxDatagram>;

const std::uint32_t kSwitch = 0x7F00000B;  // 127.0.0.11

std::uint16_t FreeLoopbackPort() {
  auto s = UdpSocket::Open();
  if (!s || !s->Bind(0, kAnyAddress)) return 0;
  return s->LocalEndpoint()->port;
}

class SwitchsimTftpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetOperationContext();
    Settings.manager_id = 0x01945AE0;
    auto s = UdpSocket::Open();
    ASSERT_TRUE(s && s->Bind(0, kLoopbackAddress));
    manager = std::move(*s);
    agent_port = FreeLoopbackPort();
    tftp_port = FreeLoopbackPort();
    ASSERT_TRUE(agent_port != 0 && tftp_port != 0 && agent_port != tftp_port);
    ASSERT_TRUE(sim.Start({SWITCHSIM_PATH, "--agent-port", std::to_string(agent_port), "--manager-port", "9",
                           "--manager-id", "01945AE0", "--no-join", "--tftp-port", std::to_string(tftp_port),
                           "--switch",
                           "ip=127.0.0.11,mac=02:00:00:00:00:0b,password=admin,reboot=300,image=" +
                               dir.File("received.bin")}));
    ASSERT_TRUE(sim.ReadLine());
  }
  void TearDown() override {
    ResetSettings();
    ResetOperationContext();
  }

  // Sends the upgrade trigger and returns the result code of the switch's answer.
  std::optional<std::uint16_t> Trigger(std::string_view password) {
    TargetedHeader h;
    h.command = CMD_UPGRADE_TRIGGER;
    HexTextToBytes("02000000000b", h.mac);
    Buffer d{};
    BuildTargetedHeader(d.data(), h);
    const std::size_t n = kHeaderSize + EncodeUpgradeTriggerTlv(std::span(d).subspan(kHeaderSize), password);
    if (!manager->SendTo(std::span(d.data(), n), {kSwitch, agent_port})) return std::nullopt;
    Buffer answer{};
    EventLoop loop;
    std::optional<ReceivedDatagram> r;
    loop.WatchReadable(manager->Fd(), [&] { r = manager->Receive(answer); });
    loop.RunUntil([&] { return r.has_value(); }, std::chrono::seconds(5));
    if (!r) return std::nullopt;
    const auto header = ParseHeader(std::span(answer.data(), r->size));
    if (!header || header->command != CMD_UPGRADE_TRIGGER_REPLY) return std::nullopt;
    return header->ResultCode();
  }

  test::TempConfigDir dir;
  std::optional<UdpSocket> manager;
  std::uint16_t agent_port = 0;
  std::uint16_t tftp_port = 0;
  test::ChildProcess sim;
};

TEST_F(SwitchsimTftpTest, TheClientUploadsAndTheSwitchKeepsTheImage) {
  std::vector<std::uint8_t> image(100 * 512);  // an exact multiple: ends with an empty block
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i ^ (i >> 9));
  dir.Write("firmware.hex", image);
  auto& context = OperationContext::Instance();
  context.SetUpgradeTargetIp(kSwitch);
  context.SetUpgradeFilePath(dir.File("firmware.hex"));
  ASSERT_EQ(Trigger("nope"), RESULT_PASSWORD);
  ASSERT_EQ(Trigger("admin"), RESULT_OK);

  EventLoop loop;
  test::RecordingMessages messages;
  test::RecordingUpgradeView view;
  FirmwareTransfer* client = nullptr;
  UdpTftpTransport transport([&](int fd) { loop.WatchReadable(fd, [&] { client->OnTftpReceive(); }); },
                             [&](int fd) { loop.Unwatch(fd); });
  UiThreadTimers timers(loop, [&](int id) { client->OnTimer(id); });
  TftpSettings settings;
  settings.local_port = FreeLoopbackPort();
  settings.server_port = tftp_port;
  settings.completion_pause = std::chrono::milliseconds(10);
  FirmwareTransfer transfer(transport, timers, messages, view, settings);
  client = &transfer;

  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  ASSERT_TRUE(loop.RunUntil([&] { return view.ended.has_value(); }, std::chrono::seconds(20)));
  EXPECT_EQ(view.ended, DialogEnd::kCompleted);
  EXPECT_EQ(view.states.back(), "Complete...51200/51200 bytes");
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(dir.Read("received.bin"), image);
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(sim::Fnv1a64(image)));
  const auto answer = sim.Command("image 127.0.0.11");
  ASSERT_EQ(answer.size(), 2u);
  EXPECT_EQ(answer[0].rfind("image 127.0.0.11 size=51200 fnv1a64=" + std::string(hash) + " complete=1", 0), 0u)
      << answer[0];
}

}  // namespace
}  // namespace sd
