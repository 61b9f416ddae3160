// SPDX-License-Identifier: GPL-3.0-or-later
#include "devices/liveness.h"

#include <algorithm>

#include "devices/device_table.h"

namespace sd {

void CountRequestSent(DeviceRecord& entry) {
  if (entry.answered == 1) {
    entry.answered = 0;
    entry.missed_polls = 0;
  } else {
    entry.answered = 0;
    ++entry.missed_polls;
  }
}

void ApplySignOfLife(DeviceRecord& entry, bool keep_not_alive_image) {
  entry.answered = 1;
  entry.missed_polls = 0;
  entry.row_state = kRowShown;
  if (!(keep_not_alive_image && entry.status_image == kStatusImageNotAlive)) {
    entry.status_image = kStatusImageNone;
  }
}

bool RefreshInterval::SetSeconds(int seconds) {
  if (std::find(kRefreshIntervalChoices.begin(), kRefreshIntervalChoices.end(), seconds) ==
      kRefreshIntervalChoices.end()) {
    return false;
  }
  seconds_.store(seconds, std::memory_order_relaxed);
  return true;
}

}  // namespace sd
