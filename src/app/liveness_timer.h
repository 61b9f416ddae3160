// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The 5-second liveness timer: a monitored switch that missed a poll is asked again at once, and
// one that has missed three requests is declared not alive, logged and marked, at every tick
// until it shows a sign of life again. Runs on the user-interface thread.

#include <cstdint>
#include <functional>

#include "common/messages.h"

namespace sd {

class DeviceLists;

class LivenessTimer {
 public:
  // Sends a poll to a switch's address; false when the send failed.
  using SendPoll = std::function<bool(std::uint32_t ip)>;

  LivenessTimer(DeviceLists& lists, SendPoll send_poll, IMessages& messages);

  void OnLivenessTimer();

 private:
  DeviceLists& lists_;
  SendPoll send_poll_;
  IMessages& messages_;
  // While the network is down every tick fails again; one "Resend failed." box at a time.
  bool resend_failure_shown_ = false;
};

}  // namespace sd
