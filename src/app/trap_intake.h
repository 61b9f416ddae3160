// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Traps from monitored switches: a sign of life for the switch, a red trap indicator, a line in
// the event log and an unread entry in the trap store. Traps from any other address leave no
// trace. Runs on the user-interface thread.

#include <cstdint>
#include <span>

#include "common/messages.h"
#include "common/trap_indicator.h"
#include "settings/trap_store.h"

namespace sd {

class DeviceLists;

class TrapIntake {
 public:
  TrapIntake(DeviceLists& lists, TrapStore& store, ITrapIndicator& indicator, IMessages& messages);

  // `payload` is the trap datagram from byte 40 on: the sender's address, then its text.
  void OnTrapReceived(std::span<const std::uint8_t> payload);

 private:
  DeviceLists& lists_;
  TrapStore& store_;
  ITrapIndicator& indicator_;
  IMessages& messages_;
};

}  // namespace sd
