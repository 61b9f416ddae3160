// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The management sends of the firmware upgrade (the trigger and the reboot watch's discoveries)
// and the multicast membership renewal, behind an interface so that tests record them.

#include <cstdint>
#include <span>

#include "net/socket_set.h"

namespace sd {

class IUpgradeNetwork {
 public:
  virtual ~IUpgradeNetwork() = default;
  // The two steps of the membership renewal; the caller waits between them. Results are not
  // checked, as with every renewal.
  virtual void LeaveGroup() = 0;
  virtual void JoinGroup() = 0;
  // Allows sends to the broadcast address; false when the system refuses.
  virtual bool EnableBroadcast() = 0;
  // Each sends one datagram to the agents' port: through the unicast socket to `ip`, through
  // the broadcast socket to 255.255.255.255, through the multicast socket to the group.
  virtual bool SendUnicast(std::span<const std::uint8_t> datagram, std::uint32_t ip) = 0;
  virtual bool SendBroadcast(std::span<const std::uint8_t> datagram) = 0;
  virtual bool SendMulticast(std::span<const std::uint8_t> datagram) = 0;
};

// Over the program's three protocol sockets, with the group and the agents' port of Settings.
class SocketSetUpgradeNetwork : public IUpgradeNetwork {
 public:
  explicit SocketSetUpgradeNetwork(SocketSet& sockets) : sockets_(sockets) {}
  void LeaveGroup() override;
  void JoinGroup() override;
  bool EnableBroadcast() override;
  bool SendUnicast(std::span<const std::uint8_t> datagram, std::uint32_t ip) override;
  bool SendBroadcast(std::span<const std::uint8_t> datagram) override;
  bool SendMulticast(std::span<const std::uint8_t> datagram) override;

 private:
  SocketSet& sockets_;
};

}  // namespace sd
