// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a front end may count of the engine's traffic with the Monitor List's switches: each poll
// sent and each reply filed into a Monitor List entry. The calls come from the poll thread
// (polls) and the user-interface thread (resent polls, replies), so an observer guards what it
// keeps; each call must return at once.

#include <cstdint>

namespace sd {

class ITrafficObserver {
 public:
  virtual ~ITrafficObserver() = default;
  // A CMD_POLL went to `ip` (host order).
  virtual void OnPollSent(std::uint32_t ip) = 0;
  // A reply was filed into the Monitor List entry whose address is now `ip` (host order).
  virtual void OnMonitorReply(std::uint32_t ip) = 0;
};

}  // namespace sd
