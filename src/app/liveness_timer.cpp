// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/liveness_timer.h"

#include "devices/device_lists.h"
#include "settings/event_log.h"

namespace sd {

LivenessTimer::LivenessTimer(DeviceLists& lists, SendPoll send_poll, IMessages& messages)
    : lists_(lists), send_poll_(std::move(send_poll)), messages_(messages) {}

void LivenessTimer::OnLivenessTimer() {
  char timestamp[kLogTimestampLength + 1];
  FormatLogTimestamp(timestamp);
  auto& monitor = lists_.MonitorTable();
  for (int i = 0; i < kDeviceTableCapacity; ++i) {
    const DeviceRecord e = monitor.Entry(i);
    if (GetText(e.ip_text).empty()) break;
    if (e.answered == 1 || e.missed_polls == 0) continue;
    if (e.missed_polls >= 3) {
      AppendToEventLog(NotAliveLogLine(timestamp, GetText(e.ip_text)), messages_);
      lists_.UpdateMonitorEntry(i, [](DeviceRecord& entry) {
        entry.row_state = kRowShownNotAlive;
        entry.status_image = kStatusImageNotAlive;
      });
    } else if (e.status_image != kStatusImageNotAlive) {
      lists_.NotePollSent(i);
      if (!send_poll_(e.ip) && !resend_failure_shown_) {
        resend_failure_shown_ = true;
        messages_.Warning("Resend failed.");
        resend_failure_shown_ = false;
      }
    }
  }
}

}  // namespace sd
