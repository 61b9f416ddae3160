// SPDX-License-Identifier: GPL-3.0-or-later
// tftp_upload: the benchmark's client. Sends the upgrade trigger to one switch and uploads a file
// to it with the manager's own TFTP client (the firmware transfer of the core, on an event loop,
// over a real socket), and prints how long each upload took from the write request to the
// acknowledgement of the last block. Run it only towards simulated switches in the lab.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/event_loop.h"
#include "operations/firmware_transfer.h"
#include "operations/timer_host.h"
#include "protocol/ipv4.h"
#include "protocol/operation_context.h"
#include "protocol/packet_header.h"
#include "protocol/payload_builders.h"
#include "settings/settings_file.h"

namespace {

constexpr const char* kUsage =
    "usage: tftp_upload --switch IP --mac HEX12 --file PATH [--password TEXT] [--agent-port N]\n"
    "                   [--manager-id HEX8] [--runs N]\n";

class PrintMessages : public sd::IMessages {
 public:
  void ShowMessage(std::string_view text, std::string_view title, sd::MessageIcon) override {
    std::fprintf(stderr, "tftp_upload: %.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
  }
};

class QuietView : public sd::IFirmwareUpgradeView {
 public:
  void ShowDeviceIp(std::string_view) override {}
  void ShowDeviceMac(std::string_view) override {}
  void ShowFirmwarePath(std::string_view) override {}
  void ShowUpgradeState(std::string_view) override {}
  void StartRebootWatch() override {}
  void EndDialog(sd::DialogEnd how) override { ended = how; }
  std::optional<sd::DialogEnd> ended;
};

// Sends the trigger and waits up to 2 s for an acknowledgement with result 0.
bool Trigger(sd::EventLoop& loop, std::uint32_t ip, std::uint16_t agent_port, std::string_view mac,
             std::string_view password) {
  auto socket = sd::UdpSocket::Open();
  if (!socket || !socket->Bind(0)) return false;
  sd::TargetedHeader h;
  h.command = sd::CMD_UPGRADE_TRIGGER;
  sd::HexTextToBytes(mac, h.mac);
  std::array<std::uint8_t, sd::kMaxDatagram> d{};
  sd::BuildTargetedHeader(d.data(), h);
  const std::size_t n = sd::kHeaderSize + sd::EncodeUpgradeTriggerTlv(std::span(d).subspan(sd::kHeaderSize), password);
  if (!socket->SendTo(std::span(d.data(), n), {ip, agent_port})) return false;
  bool acknowledged = false;
  loop.WatchReadable(socket->Fd(), [&] {
    std::array<std::uint8_t, sd::kMaxDatagram> answer{};
    const auto r = socket->Receive(answer);
    if (!r) return;
    const auto header = sd::ParseHeader(std::span(answer.data(), r->size));
    acknowledged = header && header->command == sd::CMD_UPGRADE_TRIGGER_REPLY && header->ResultCode() == 0;
  });
  loop.RunUntil([&] { return acknowledged; }, std::chrono::seconds(2));
  loop.Unwatch(socket->Fd());
  return acknowledged;
}

}  // namespace

int main(int argc, char** argv) {
  std::string switch_ip, mac, file, password = "admin";
  std::uint16_t agent_port = 50002;
  std::uint32_t manager_id = 0x01945AE0;
  int runs = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    const std::string value = argv[i + 1];
    if (key == "--switch") switch_ip = value;
    else if (key == "--mac") mac = value;
    else if (key == "--file") file = value;
    else if (key == "--password") password = value;
    else if (key == "--agent-port") agent_port = static_cast<std::uint16_t>(std::atoi(value.c_str()));
    else if (key == "--manager-id") manager_id = static_cast<std::uint32_t>(std::strtoul(value.c_str(), nullptr, 16));
    else if (key == "--runs") runs = std::atoi(value.c_str());
    else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  const auto ip = sd::TextToIpv4(switch_ip);
  if (!ip || mac.size() != 12 || file.empty() || runs < 1 || argc % 2 == 0) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  sd::Settings.manager_id = manager_id;
  auto& context = sd::OperationContext::Instance();
  context.SetUpgradeTargetIp(*ip);
  context.SetUpgradeFilePath(file);

  sd::EventLoop loop;
  PrintMessages messages;
  for (int run = 1; run <= runs; ++run) {
    sd::set_sequence = static_cast<std::uint16_t>(run);
    if (!Trigger(loop, *ip, agent_port, mac, password)) {
      std::fprintf(stderr, "tftp_upload: the switch did not acknowledge the trigger\n");
      return 1;
    }
    QuietView view;
    sd::FirmwareTransfer* client = nullptr;
    sd::UdpTftpTransport transport([&](int fd) { loop.WatchReadable(fd, [&] { client->OnTftpReceive(); }); },
                                   [&](int fd) { loop.Unwatch(fd); });
    sd::UiThreadTimers timers(loop, [&](int id) { client->OnTimer(id); });
    sd::FirmwareTransfer transfer(transport, timers, messages, view);
    client = &transfer;

    const auto start = std::chrono::steady_clock::now();
    if (transfer.OpenTftpSocket() != 0) return 1;
    const bool done = loop.RunUntil(
        [&] {
          return transfer.State() == sd::TransferState::kCompleted || transfer.State() == sd::TransferState::kFailed ||
                 transfer.State() == sd::TransferState::kClosed || transfer.State() == sd::TransferState::kIdle;
        },
        std::chrono::minutes(10));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!done || transfer.State() != sd::TransferState::kCompleted) {
      std::fprintf(stderr, "tftp_upload: the upload failed: %s\n", transfer.UpgradeStateText().c_str());
      return 1;
    }
    std::printf("%zu %.6f\n", transfer.FileSize(), seconds);
    std::fflush(stdout);
    transfer.OnCancel();  // the pause before the reboot watch is not part of the benchmark
  }
  return 0;
}
