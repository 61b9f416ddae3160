// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/set_requests.h"

#include <cstring>

#include "operations/secret.h"
#include "protocol/ipv4.h"
#include "protocol/operation_context.h"
#include "protocol/payload_builders.h"
#include "settings/settings_file.h"

namespace sd {

namespace {

// The DHCP refresh is the one request that carries the manager's whole version, 2.001.003.
constexpr std::uint16_t kDhcpRefreshVersionMinor = 1;
constexpr std::uint16_t kDhcpRefreshInterfaceVersion = 3;

TargetedHeader HeaderFor(const DeviceRecord& record, int in_monitor_list) {
  TargetedHeader h;
  h.command = SetCommandFor(in_monitor_list);
  HexTextToBytes(GetText(record.mac_text), h.mac);
  return h;
}

template <typename Encode>
RequestDatagram Build(const TargetedHeader& header, Encode encode) {
  RequestDatagram datagram;
  const auto buffer = datagram.Buffer();
  BuildTargetedHeader(buffer.data(), header);
  const std::size_t payload = encode(buffer.subspan(kHeaderSize));
  datagram.SetSize(kHeaderSize + payload);
  return datagram;
}

// From here on the reply of this switch is the awaited one; an earlier wait ends.
void AwaitReplyFrom(const DeviceRecord& record) {
  auto& context = OperationContext::Instance();
  context.ClearAwaited();
  context.SetAwaitedMac(GetText(record.mac_text));
}

// Counts the request for liveness and sends it by the target's route.
int Deliver(const RequestContext& context, const RequestDatagram& datagram, const TargetDevice& target,
            std::string_view unicast_error) {
  const std::uint16_t port = Settings.agent_port;
  if (target.in_monitor_list) {
    const std::uint32_t ip = TargetEntry(context.lists, target).ip;
    context.lists.NotePollSent(target.index);
    if (!context.sender.Send(SendRoute::Unicast, datagram.Bytes(), {ip, port})) {
      context.messages.Error(unicast_error);
      return -1;
    }
    return 0;
  }
  context.lists.NotePollSentToAll();
  // Out of the card the switch answered on.
  const std::string mac(GetText(TargetEntry(context.lists, target).mac_text));
  if (!context.sender.SendToSwitch(SendRoute::Broadcast, datagram.Bytes(), {kLimitedBroadcast, port}, mac)) {
    context.messages.Error(kUdpSetSendError);
    return -1;
  }
  const auto group = TextToIpv4(Settings.multicast_group);
  if (!group || !context.sender.SendToSwitch(SendRoute::Multicast, datagram.Bytes(), {*group, port}, mac)) {
    context.messages.Error(kUdpSetSendError);
    return -1;
  }
  return 0;
}

}  // namespace

std::optional<TargetDevice> FindChosenTarget(const RequestContext& context, const ChosenTarget& chosen) {
  const std::optional<TargetDevice> target = chosen.Find(context.lists);
  if (!target) context.messages.Error(chosen.NoLongerListedMessage());
  return target;
}

RequestDatagram::~RequestDatagram() { WipeBytes(buffer_.data(), buffer_.size()); }

RequestDatagram::RequestDatagram(RequestDatagram&& other) noexcept : buffer_(other.buffer_), size_(other.size_) {
  WipeBytes(other.buffer_.data(), other.buffer_.size());
  other.size_ = 0;
}

std::uint16_t DhcpChangeMode(std::uint16_t chosen, std::uint16_t stored) {
  if (chosen == DHCP_OFF && stored != DHCP_OFF) return DHCP_MODE_OFF;
  if (chosen == DHCP_ON && stored != DHCP_ON) return DHCP_MODE_ON;
  return DHCP_MODE_UNCHANGED;
}

std::uint16_t SetCommandFor(int in_monitor_list) { return in_monitor_list ? CMD_SET_UNICAST : CMD_SET; }

RequestDatagram BuildConfigurationRequest(const DeviceRecord& config_record, std::uint16_t mode,
                                          int in_monitor_list) {
  return Build(HeaderFor(config_record, in_monitor_list),
               [&](std::span<std::uint8_t> out) { return EncodeSettingsTlvs(out, config_record, mode); });
}

RequestDatagram BuildPasswordChangeRequest(const DeviceRecord& working, int in_monitor_list) {
  return Build(HeaderFor(working, in_monitor_list),
               [&](std::span<std::uint8_t> out) { return EncodePasswordTlvs(out, working); });
}

RequestDatagram BuildDhcpRefreshRequest(const DeviceRecord& working, int in_monitor_list) {
  TargetedHeader h = HeaderFor(working, in_monitor_list);
  h.version_minor = kDhcpRefreshVersionMinor;
  h.interface_version = kDhcpRefreshInterfaceVersion;
  return Build(h, [&](std::span<std::uint8_t> out) { return EncodeSettingsTlvs(out, working, DHCP_MODE_ON); });
}

int SendConfiguration(const RequestContext& context, const DeviceRecord& config_record,
                      const TargetDevice& target) {
  AwaitReplyFrom(config_record);
  const std::uint16_t mode = DhcpChangeMode(config_record.dhcp, TargetEntry(context.lists, target).dhcp);
  const RequestDatagram datagram = BuildConfigurationRequest(config_record, mode, target.in_monitor_list);
  return Deliver(context, datagram, target, kUnicastSetSendError);
}

int SendPasswordChange(const RequestContext& context, const DeviceRecord& working,
                       const TargetDevice& target) {
  AwaitReplyFrom(working);
  const RequestDatagram datagram = BuildPasswordChangeRequest(working, target.in_monitor_list);
  return Deliver(context, datagram, target, kUnicastSetSendError);
}

int SendDhcpRefresh(const RequestContext& context, const DeviceRecord& working, const TargetDevice& target) {
  AwaitReplyFrom(working);
  const RequestDatagram datagram = BuildDhcpRefreshRequest(working, target.in_monitor_list);
  return Deliver(context, datagram, target, kUnicastDhcpRefreshSendError);
}

}  // namespace sd
