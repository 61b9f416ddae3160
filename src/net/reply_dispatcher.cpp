// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/reply_dispatcher.h"

#include <array>
#include <cstring>

#include "devices/device_lists.h"
#include "net/udp_socket.h"
#include "protocol/operation_context.h"
#include "protocol/payload_builders.h"
#include "settings/settings_file.h"

namespace sd {

namespace {

constexpr std::string_view kDiscoveryFull = "Cannot add device.\nMaximum of 256 devices reached.";
constexpr std::string_view kDhcpFailureFull = "Add fail, out of 256 devices";

// Every filing path stamps the entry as current and answered.
void MarkFiled(DeviceRecord& r) {
  r.manager_id = Settings.manager_id;
  r.missed_polls = 0;
  r.answered = 1;
}

}  // namespace

void MergeReplyIntoRecord(DeviceRecord& entry, const DeviceRecord& reply) {
  const std::uint16_t previous_dhcp = entry.dhcp;
  entry = reply;
  if (reply.dhcp == DHCP_NOT_REPORTED && reply.interface_version >= 2) entry.dhcp = previous_dhcp;
}

ReplyDispatcher::ReplyDispatcher(DeviceLists& lists, IMessages& messages, TrapSink trap_sink)
    : lists_(lists), messages_(messages), trap_sink_(std::move(trap_sink)) {}

bool ReplyDispatcher::ReceiveDatagram(UdpSocket& socket) {
  std::array<std::uint8_t, kMaxDatagram> buffer{};
  const auto received = socket.Receive(buffer);
  if (!received) return false;
  // No agent sends more than 1500 bytes. The first 1500 bytes of a longer datagram could pass
  // every check and be filed as if they were all of it: such a datagram is dropped whole.
  if (received->truncated) return true;
  Dispatch(std::span<const std::uint8_t>(buffer.data(), received->size), received->source.address,
           received->interface_index);
  return true;
}

void ReplyDispatcher::Dispatch(std::span<const std::uint8_t> datagram, std::uint32_t source,
                               unsigned interface_index) {
  // A datagram too short for a header cannot carry the manager's identifier and version.
  const auto header = ParseHeader(datagram);
  if (!header) return;
  const auto payload = datagram.subspan(kHeaderSize);

  DeviceRecord reply = ZeroRecord();
  reply.dhcp = DHCP_NOT_REPORTED;
  reply.group_interval = GROUP_INTERVAL_NOT_REPORTED;
  MacBytesToText(header->mac.data(), reply.mac_text);
  if (header->manager_id != Settings.manager_id) return;
  reply.version_major = header->version_major;
  reply.interface_version = header->interface_version;
  const auto mask = DefaultFieldMask(header->interface_version);
  std::memcpy(reply.field_mask, mask.data(), sizeof reply.field_mask);
  reply.version_minor = header->version_minor;
  if (header->version_minor != VERSION_MINOR_REPLY) return;
  SetIp(reply, source);
  if (switches_ != nullptr) switches_->Note(GetText(reply.mac_text), interface_index);

  if (header->version_major != VERSION_MAJOR) {
    HandleHeaderOnlyReply(reply, false);
    return;
  }
  if (header->command == CMD_UNCONFIGURABLE_REPLY) {
    HandleHeaderOnlyReply(reply, true);
    return;
  }
  auto& context = OperationContext::Instance();
  const bool from_upgrade_target = GetText(reply.mac_text) == context.UpgradeTargetMac();
  if (header->command == CMD_DISCOVER_REPLY && from_upgrade_target) reboot_seen_ = true;

  if (header->command == CMD_SET_REPLY || header->command == CMD_UPGRADE_TRIGGER_REPLY) {
    // Only the reply to the current request counts, and it moves the sequence on whatever its
    // result; a stale or repeated reply is dropped.
    std::uint16_t expected = header->sequence;
    if (!set_sequence.compare_exchange_strong(expected, static_cast<std::uint16_t>(expected + 1))) return;
  }

  const std::uint16_t result = header->ResultCode();
  if (result != RESULT_OK) {
    messages_.Error(ResultMessage(result));
    if (result == RESULT_DHCP_REFRESH_FAIL) HandleDhcpRefreshFailure(reply, payload, header->command);
    return;
  }
  if (header->command == CMD_UPGRADE_TRIGGER_REPLY && from_upgrade_target) {
    context.SetUpgradeAcknowledged(1);
    return;
  }
  reply.last_command = header->command;
  if (header->command == CMD_TRAP) {
    if (trap_sink_) trap_sink_(payload);
    return;
  }
  HandleDeviceReply(reply, payload);
}

FindResult ReplyDispatcher::FindMonitoredByAddress(const DeviceRecord& reply) const {
  // 0.0.0.0 is where every switch without a lease answers from: it names no one device.
  if (reply.ip == 0) return {lists_.MonitorTable().Count(), false};
  return lists_.MonitorTable().FindByIp(GetText(reply.ip_text));
}

bool ReplyDispatcher::FileReply(DeviceRecord& reply, bool merge, std::string_view full_message) {
  MarkFiled(reply);
  const std::string mac_text(GetText(reply.mac_text));

  if (const auto m = FindMonitoredByAddress(reply); m.found) {
    reply.row_state = 1;
    reply.status_image = -1;
    lists_.UpdateMonitorEntry(m.index, [&](DeviceRecord& e) {
      if (merge) MergeReplyIntoRecord(e, reply); else e = reply;
    });
    if (traffic_) traffic_->OnMonitorReply(reply.ip);
    return true;
  }
  if (const auto m = lists_.MonitorTable().FindByMac(mac_text); m.found) {
    // The device answers from a new address: its entry follows it and keeps a not-alive mark
    // until the row is drawn from a reply found by address. A reply from 0.0.0.0 (a switch
    // that lost its lease, or a host forging one) keeps the entry's address: the address is the
    // Monitor List's key, and two entries at 0.0.0.0 would share one row.
    reply.row_state = 1;
    std::uint32_t filed_ip = 0;
    lists_.UpdateMonitorEntry(m.index, [&](DeviceRecord& e) {
      const bool not_alive = e.status_image == 1;
      const auto kept_ip = e.ip;
      char kept_ip_text[sizeof e.ip_text];
      std::memcpy(kept_ip_text, e.ip_text, sizeof kept_ip_text);
      if (merge) MergeReplyIntoRecord(e, reply); else e = reply;
      if (reply.ip == 0) {
        e.ip = kept_ip;
        std::memcpy(e.ip_text, kept_ip_text, sizeof kept_ip_text);
      }
      e.status_image = not_alive ? 1 : -1;
      filed_ip = e.ip;
    });
    if (traffic_) traffic_->OnMonitorReply(filed_ip);
    return true;
  }
  const auto d = lists_.DiscoveryTable().FindByMac(mac_text);
  if (d.index >= kDeviceTableCapacity) {
    messages_.Error(full_message);
    return false;
  }
  reply.status_image = -1;
  reply.row_state = d.found ? 1 : 0;
  lists_.UpdateDiscoveryEntry(d.index, [&](DeviceRecord& e) {
    if (merge) MergeReplyIntoRecord(e, reply); else e = reply;
  });
  return true;
}

bool ReplyDispatcher::EndAwaitedSet(const DeviceRecord& reply) {
  auto& context = OperationContext::Instance();
  const std::string awaited_mac = context.AwaitedMac();
  const std::uint32_t awaited_ip = context.AwaitedIp();
  // Only a pending set can end; an empty MAC or a zero address awaits nothing.
  const bool mac_matches = !awaited_mac.empty() && awaited_mac == GetText(reply.mac_text);
  const bool ip_matches = awaited_ip != 0 && awaited_ip == reply.ip;
  if (!mac_matches && !ip_matches) return false;
  context.ClearAwaited();
  return true;
}

void ReplyDispatcher::HandleDeviceReply(DeviceRecord& reply, std::span<const std::uint8_t> payload) {
  SelectionNote selection(lists_);
  DecodeDeviceTlvs(payload, reply);
  if (!FileReply(reply, true, kDiscoveryFull)) return;
  if ((reply.last_command == CMD_SET_REPLY || reply.last_command == CMD_SET_UNICAST_REPLY) &&
      EndAwaitedSet(reply)) {
    messages_.Information(kSetSuccessful);
  }
  selection.Restore();
}

void ReplyDispatcher::HandleHeaderOnlyReply(DeviceRecord& reply, bool unconfigurable) {
  if (unconfigurable) reply.firmware_state = FIRMWARE_STATE_UNCONFIGURABLE;
  MarkFiled(reply);
  reply.status_image = -1;
  if (const auto m = FindMonitoredByAddress(reply); m.found) {
    reply.row_state = 1;
    lists_.StoreMonitorEntry(m.index, reply);
    if (traffic_) traffic_->OnMonitorReply(reply.ip);
    return;
  }
  const auto d = lists_.DiscoveryTable().FindByMac(GetText(reply.mac_text));
  if (d.index >= kDeviceTableCapacity) {
    messages_.Error(kDiscoveryFull);
    return;
  }
  reply.row_state = d.found ? 1 : 0;
  lists_.StoreDiscoveryEntry(d.index, reply);
}

void ReplyDispatcher::HandleDhcpRefreshFailure(DeviceRecord& reply,
                                               std::span<const std::uint8_t> payload,
                                               std::uint16_t command) {
  SelectionNote selection(lists_);
  DecodeDeviceTlvs(payload, reply);
  if (!FileReply(reply, false, kDhcpFailureFull)) return;
  if (command == CMD_SET_REPLY || command == CMD_SET_UNICAST_REPLY) EndAwaitedSet(reply);
  selection.Restore();
}

}  // namespace sd
