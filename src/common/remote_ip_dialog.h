// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Remote IP" dialog that asks for the address of a switch added to the Monitor List by
// hand. The view only collects the address; whether it is acceptable, and what the user is told
// when it is not, is decided by the caller's apply function.

#include <cstdint>
#include <functional>

namespace sd {

class IRemoteIpDialog {
 public:
  virtual ~IRemoteIpDialog() = default;
  // Runs the dialog modally. Each "Apply" hands the typed address to `apply` as a host-order
  // number (first octet in the top byte, blank fields read as 0). The dialog closes when `apply`
  // returns true and stays open with the address as typed when it returns false. Returns true
  // when it closed through an accepted "Apply", false when the user cancelled.
  virtual bool Run(const std::function<bool(std::uint32_t address)>& apply) = 0;
};

}  // namespace sd
