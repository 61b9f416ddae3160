// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/trap_intake.h"

#include "devices/device_lists.h"
#include "devices/liveness.h"
#include "protocol/ipv4.h"
#include "protocol/printable_text.h"
#include "protocol/trap_payload.h"
#include "settings/event_log.h"

namespace sd {

TrapIntake::TrapIntake(DeviceLists& lists, TrapStore& store, ITrapIndicator& indicator,
                       IMessages& messages)
    : lists_(lists), store_(store), indicator_(indicator), messages_(messages) {}

void TrapIntake::OnTrapReceived(std::span<const std::uint8_t> payload) {
  TrapPayload trap = ParseTrapPayload(payload);
  // A switch without a lease may be monitored at 0.0.0.0, but that address names no one switch.
  if (trap.address == 0) return;
  const std::string address_text = Ipv4ToText(trap.address);
  const auto entry = lists_.MonitorTable().FindByIp(address_text);
  if (!entry.found) return;

  // The text goes into one log line and the trap window: a line break in it must not start a
  // line of its own.
  trap.text = PrintableText(trap.text);
  indicator_.ShowTrapArrived(true);
  lists_.UpdateMonitorEntry(entry.index, [](DeviceRecord& e) { ApplySignOfLife(e); });

  char timestamp[kLogTimestampLength + 1];
  FormatLogTimestamp(timestamp);
  AppendToEventLog(TrapLogLine(timestamp, address_text, trap.text), messages_);
  store_.Add(timestamp, address_text, trap.text);
}

}  // namespace sd
