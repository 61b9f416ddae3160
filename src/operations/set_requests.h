// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The set-type requests aimed at one switch: the configuration, the password change and the DHCP
// refresh. Each is a 40-byte targeted header followed by its TLVs, sent once by unicast to a
// switch chosen in the Monitor List (CMD_SET_UNICAST), or by broadcast and then to the multicast
// group for a switch chosen in the Discovery List (CMD_SET, the switch named by the MAC address
// in the header). Every sender counts the request for liveness right before it goes out and
// marks the switch whose reply is awaited.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/messages.h"
#include "devices/device_lists.h"
#include "operations/operation_gate.h"
#include "operations/request_sender.h"
#include "protocol/device_record.h"
#include "protocol/packet_header.h"
#include "protocol/payload_builders.h"

namespace sd {

inline constexpr std::string_view kUnicastSetSendError = "Unicast set send error.";
// The DHCP refresh's own text has no final period.
inline constexpr std::string_view kUnicastDhcpRefreshSendError = "Unicast set send error";
inline constexpr std::string_view kUdpSetSendError = "UDP set send error";

// One request datagram. It may carry passwords, so its bytes are overwritten with zeros when it
// goes away (and when it is moved from).
class RequestDatagram {
 public:
  RequestDatagram() = default;
  ~RequestDatagram();
  RequestDatagram(RequestDatagram&& other) noexcept;
  RequestDatagram(const RequestDatagram&) = delete;
  RequestDatagram& operator=(const RequestDatagram&) = delete;
  RequestDatagram& operator=(RequestDatagram&&) = delete;

  std::span<const std::uint8_t> Bytes() const { return {buffer_.data(), size_}; }
  std::size_t Size() const { return size_; }

  // For the builders: the whole 1500-byte buffer, and the length of the datagram in it.
  std::span<std::uint8_t, kMaxDatagram> Buffer() { return buffer_; }
  void SetSize(std::size_t size) { size_ = size < kMaxDatagram ? size : kMaxDatagram; }

 private:
  std::array<std::uint8_t, kMaxDatagram> buffer_{};
  std::size_t size_ = 0;
};

// The DHCP change mode of a configuration: DHCP_MODE_OFF when "Disable" is chosen and the stored
// state is not off, DHCP_MODE_ON when "Enable" is chosen and the stored state is not on,
// otherwise DHCP_MODE_UNCHANGED (also when no state is chosen, DHCP_NOT_REPORTED).
std::uint16_t DhcpChangeMode(std::uint16_t chosen, std::uint16_t stored);

// The command of a request to a switch from that list: CMD_SET_UNICAST or CMD_SET.
std::uint16_t SetCommandFor(int in_monitor_list);

// The datagrams. Header: version 2.000.000 (the DHCP refresh 2.001.003), the command for the
// list, manager_id, set_sequence and the MAC address spelled by the record's mac_text. The
// settings encoder also records the awaited address when it writes TLV_IP_ADDRESS.
RequestDatagram BuildConfigurationRequest(const DeviceRecord& config_record, std::uint16_t mode,
                                          int in_monitor_list);
RequestDatagram BuildPasswordChangeRequest(const DeviceRecord& working, int in_monitor_list);
// The settings payload of the working record in DHCP change mode 2 (addresses as 0.0.0.0).
RequestDatagram BuildDhcpRefreshRequest(const DeviceRecord& working, int in_monitor_list);

// What the senders need: the lists (the target's entry and the liveness counters), the network
// and the user.
struct RequestContext {
  DeviceLists& lists;
  IRequestSender& sender;
  IMessages& messages;
};

// The chosen switch's entry as the lists hold it now (see ChosenTarget); nothing, after telling
// the user, when it is no longer listed.
std::optional<TargetDevice> FindChosenTarget(const RequestContext& context, const ChosenTarget& chosen);

// Each returns 0 when every datagram was handed to the network, -1 after a send failure that it
// has already reported ("Error"). After a failed broadcast no multicast datagram is sent. A
// Monitor List target's address is the one its entry holds now (not a new one being set).
int SendConfiguration(const RequestContext& context, const DeviceRecord& config_record,
                      const TargetDevice& target);
int SendPasswordChange(const RequestContext& context, const DeviceRecord& working,
                       const TargetDevice& target);
int SendDhcpRefresh(const RequestContext& context, const DeviceRecord& working, const TargetDevice& target);

}  // namespace sd
