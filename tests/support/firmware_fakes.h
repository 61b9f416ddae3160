// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stand-ins for the firmware upgrade's surroundings: the TFTP socket, the management sends,
// the dialog's boxes and the dispatcher's reboot flag. Each records what it was asked, stamped
// with the fake clock's time.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "operations/firmware_upgrade_view.h"
#include "operations/reboot_watch.h"
#include "operations/tftp_transport.h"
#include "operations/upgrade_network.h"
#include "protocol/byte_io.h"
#include "support/fake_clock.h"

namespace sd::test {

struct SentTftpDatagram {
  std::vector<std::uint8_t> bytes;
  Endpoint to;
  Ms at;
};

class FakeTftpTransport : public ITftpTransport {
 public:
  explicit FakeTftpTransport(const FakeClock& clock) : clock_(clock) {}

  OpenResult Open(std::uint16_t local_port) override {
    ++opens;
    if (open_result != OpenResult::kOk) return open_result;
    open_ = true;
    bound_port = local_port;
    return OpenResult::kOk;
  }
  void Close() override {
    if (open_) ++closes;
    open_ = false;
  }
  bool IsOpen() const override { return open_; }
  bool SendTo(std::span<const std::uint8_t> datagram, Endpoint to) override {
    if (!open_ || !send_ok) return false;
    sent.push_back({{datagram.begin(), datagram.end()}, to, clock_.Now()});
    if (on_send) on_send(sent.back());
    return true;
  }
  std::optional<ReceivedDatagram> Receive(std::span<std::uint8_t, kMaxDatagram> buffer) override {
    if (!open_ || incoming.empty()) return std::nullopt;
    auto [bytes, from] = std::move(incoming.front());
    incoming.pop_front();
    const std::size_t n = std::min(bytes.size(), buffer.size());
    std::copy_n(bytes.begin(), n, buffer.begin());
    return ReceivedDatagram{n, from, std::nullopt};
  }

  OpenResult open_result = OpenResult::kOk;
  bool send_ok = true;
  std::optional<std::uint16_t> bound_port;
  int opens = 0;
  int closes = 0;
  std::vector<SentTftpDatagram> sent;
  std::deque<std::pair<std::vector<std::uint8_t>, Endpoint>> incoming;
  std::function<void(const SentTftpDatagram&)> on_send;

 private:
  const FakeClock& clock_;
  bool open_ = false;
};

// TFTP datagrams as a switch sends them.
inline std::vector<std::uint8_t> TftpAck(std::uint16_t block) {
  return {0, 4, static_cast<std::uint8_t>(block >> 8), static_cast<std::uint8_t>(block)};
}
inline std::vector<std::uint8_t> TftpError(std::uint16_t code, std::string_view text, bool terminated = true) {
  std::vector<std::uint8_t> d;
  d.reserve(5 + text.size());
  for (std::uint8_t b : {std::uint8_t{0}, std::uint8_t{5}, static_cast<std::uint8_t>(code >> 8),
                         static_cast<std::uint8_t>(code)}) {
    d.push_back(b);
  }
  for (char c : text) d.push_back(static_cast<std::uint8_t>(c));
  if (terminated) d.push_back(0);
  return d;
}

// The opcode and block number of a datagram the client sent.
inline std::uint16_t Opcode(const SentTftpDatagram& d) { return d.bytes.size() >= 2 ? GetU16(d.bytes.data()) : 0; }
inline std::uint16_t Block(const SentTftpDatagram& d) { return d.bytes.size() >= 4 ? GetU16(d.bytes.data() + 2) : 0; }

class RecordingUpgradeView : public IFirmwareUpgradeView {
 public:
  void ShowDeviceIp(std::string_view text) override { ip = text; }
  void ShowDeviceMac(std::string_view text) override { mac = text; }
  void ShowFirmwarePath(std::string_view text) override { path = text; }
  void ShowUpgradeState(std::string_view text) override { states.emplace_back(text); }
  void StartRebootWatch() override {
    ++reboot_watch_starts;
    if (on_start_reboot_watch) on_start_reboot_watch();
  }
  void EndDialog(DialogEnd how) override {
    ++ends;
    ended = how;
  }
  std::string State() const { return states.empty() ? std::string() : states.back(); }

  std::string ip, mac, path;
  std::vector<std::string> states;
  int reboot_watch_starts = 0;
  int ends = 0;
  std::optional<DialogEnd> ended;
  std::function<void()> on_start_reboot_watch;
};

class FakeUpgradeNetwork : public IUpgradeNetwork {
 public:
  struct Send {
    std::string how;  // "unicast", "broadcast", "multicast"
    std::uint32_t ip = 0;
    std::vector<std::uint8_t> bytes;
    Ms at;
  };
  explicit FakeUpgradeNetwork(const FakeClock& clock) : clock_(clock) {}

  void LeaveGroup() override { calls.push_back({"leave", clock_.Now()}); }
  void JoinGroup() override { calls.push_back({"join", clock_.Now()}); }
  bool EnableBroadcast() override {
    calls.push_back({"enable", clock_.Now()});
    return enable_ok;
  }
  bool SendUnicast(std::span<const std::uint8_t> d, std::uint32_t ip) override { return Record("unicast", d, ip, unicast_ok); }
  bool SendBroadcast(std::span<const std::uint8_t> d) override { return Record("broadcast", d, 0, broadcast_ok); }
  bool SendMulticast(std::span<const std::uint8_t> d) override { return Record("multicast", d, 0, multicast_ok); }

  std::vector<std::pair<std::string, Ms>> calls;
  std::vector<Send> sends;
  bool enable_ok = true, unicast_ok = true, broadcast_ok = true, multicast_ok = true;
  std::function<void(const Send&)> on_send;

 private:
  bool Record(const char* how, std::span<const std::uint8_t> d, std::uint32_t ip, bool ok) {
    calls.push_back({how, clock_.Now()});
    if (!ok) return false;
    sends.push_back({how, ip, {d.begin(), d.end()}, clock_.Now()});
    if (on_send) on_send(sends.back());
    return true;
  }
  const FakeClock& clock_;
};

struct FakeRebootSeen : IRebootSeen {
  bool RebootSeen() const override { return seen; }
  void ClearRebootSeen() override {
    seen = false;
    ++clears;
  }
  bool seen = false;
  int clears = 0;
};

}  // namespace sd::test
