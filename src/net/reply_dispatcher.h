// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every datagram an agent sends ends up here: the header checks, the agent's error result, and
// the hand-over to the trap intake, the firmware upgrade or the device lists. Runs on the
// user-interface thread. Each dispatch prepares its own record, so a dispatch that runs nested
// inside a message box of an earlier one cannot disturb it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "common/messages.h"
#include "net/interfaces.h"
#include "net/traffic_observer.h"
#include "devices/device_table.h"
#include "protocol/device_record.h"
#include "protocol/packet_header.h"

namespace sd {

class DeviceLists;
class UdpSocket;

// Shown (title "Information") when the switch whose set reply is awaited answers without error.
inline constexpr std::string_view kSetSuccessful = "Set successful";

// Copies the reply over the entry, except that a device of interface version 2 or more that did
// not report its DHCP mode keeps the mode the entry had.
void MergeReplyIntoRecord(DeviceRecord& entry, const DeviceRecord& reply);

class ReplyDispatcher {
 public:
  // Receives the payload (datagram bytes from 40 on) of a trap that passed the header checks.
  using TrapSink = std::function<void(std::span<const std::uint8_t> payload)>;

  ReplyDispatcher(DeviceLists& lists, IMessages& messages, TrapSink trap_sink);

  // Reads one datagram from `socket` and dispatches it; one longer than 1500 bytes is dropped.
  // False when none was waiting.
  bool ReceiveDatagram(UdpSocket& socket);
  // Checks and files one received datagram from `source` (host order) that came in on the
  // interface of that index (0 when not known).
  void Dispatch(std::span<const std::uint8_t> datagram, std::uint32_t source, unsigned interface_index = 0);
  // Where the card of each switch whose datagram passes the header checks is noted.
  void NoteInterfacesIn(SwitchInterfaces* switches) { switches_ = switches; }
  // Told of every reply filed into a Monitor List entry (nullptr: nobody).
  void SetTrafficObserver(ITrafficObserver* observer) { traffic_ = observer; }

  // Set when the firmware-upgrade target answers a discovery; the reboot watch clears it.
  bool RebootSeen() const { return reboot_seen_.load(); }
  void ClearRebootSeen() { reboot_seen_ = false; }

 private:
  void HandleDeviceReply(DeviceRecord& reply, std::span<const std::uint8_t> payload);
  void HandleHeaderOnlyReply(DeviceRecord& reply, bool unconfigurable);
  void HandleDhcpRefreshFailure(DeviceRecord& reply, std::span<const std::uint8_t> payload,
                                std::uint16_t command);
  // Files a decoded reply into the Monitor List (by address, then by MAC) or the Discovery List.
  // `merge` merges into the entry, otherwise the record replaces it. False when the Discovery
  // List was full (after `full_message`).
  bool FileReply(DeviceRecord& reply, bool merge, std::string_view full_message);
  // The Monitor List entry of the reply's source address; never for 0.0.0.0.
  FindResult FindMonitoredByAddress(const DeviceRecord& reply) const;
  // Ends a pending set when this reply comes from the awaited device; true when it did.
  bool EndAwaitedSet(const DeviceRecord& reply);

  DeviceLists& lists_;
  IMessages& messages_;
  TrapSink trap_sink_;
  SwitchInterfaces* switches_ = nullptr;
  ITrafficObserver* traffic_ = nullptr;
  std::atomic<bool> reboot_seen_{false};
};

}  // namespace sd
