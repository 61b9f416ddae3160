// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The picture beside "View trap": a green dot normally, a red dot once a trap has arrived from
// a monitored switch and until the user opens the trap window.

namespace sd {

class ITrapIndicator {
 public:
  virtual ~ITrapIndicator() = default;
  virtual void ShowTrapArrived(bool arrived) = 0;
};

}  // namespace sd
