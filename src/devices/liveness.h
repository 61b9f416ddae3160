// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Liveness bookkeeping of a monitored switch: every request sent to it is counted, every sign of
// life resets the count, and the liveness timer judges the count. Also the refresh interval, the
// time between two passes of the poll thread.

#include <array>
#include <atomic>

#include "protocol/device_record.h"

namespace sd {

// A request is about to be sent to the device. The first request after a sign of life only
// clears `answered`; each further one adds to `missed_polls`.
void CountRequestSent(DeviceRecord& entry);

// A reply or a trap arrived from the device: `answered` 1, `missed_polls` 0, `row_state` 1
// (row shown), and the status image cleared unless `keep_not_alive_image` and it is the
// not-alive image (a reply matched by MAC address while its address changed keeps it).
void ApplySignOfLife(DeviceRecord& entry, bool keep_not_alive_image = false);

inline constexpr std::array<int, 5> kRefreshIntervalChoices = {15, 30, 60, 120, 300};
inline constexpr int kDefaultRefreshInterval = 15;

// Seconds between two poll passes. Set on the user-interface thread, read by the poll thread.
class RefreshInterval {
 public:
  int Seconds() const { return seconds_.load(std::memory_order_relaxed); }
  // Takes one of kRefreshIntervalChoices; any other value is refused (false) and changes nothing.
  bool SetSeconds(int seconds);

 private:
  std::atomic<int> seconds_{kDefaultRefreshInterval};
};

}  // namespace sd
