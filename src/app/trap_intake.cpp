#include "app/trap_intake.h"

#include "devices/device_lists.h"
#include "devices/liveness.h"
#include "protocol/ipv4.h"
#include "protocol/trap_payload.h"
#include "settings/event_log.h"

namespace sd {

TrapIntake::TrapIntake(DeviceLists& lists, TrapStore& store, ITrapIndicator& indicator,
                       IMessages& messages)
    : lists_(lists), store_(store), indicator_(indicator), messages_(messages) {}

void TrapIntake::OnTrapReceived(std::span<const std::uint8_t> payload) {
  const TrapPayload trap = ParseTrapPayload(payload);
  const std::string address_text = Ipv4ToText(trap.address);
  const auto entry = lists_.MonitorTable().FindByIp(address_text);
  if (!entry.found) return;

  indicator_.ShowTrapArrived(true);
  lists_.UpdateMonitorEntry(entry.index, [](DeviceRecord& e) { ApplySignOfLife(e); });

  char timestamp[kLogTimestampLength + 1];
  FormatLogTimestamp(timestamp);
  AppendToEventLog(TrapLogLine(timestamp, address_text, trap.text), messages_);
  store_.Add(timestamp, address_text, trap.text);
}

}  // namespace sd
