// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the terminal's watch and the window's notifications report: an observer looks at the
// Monitor List and the trap store after every event the loop handles (a datagram, a liveness
// tick) and turns the differences into events. A switch is reported not alive when the liveness
// timer's verdict first marks its entry, and recovered when its entry loses the not-alive image
// again; a trap when the trap store has grown.

#include <string>
#include <string_view>
#include <vector>

#include "devices/device_table.h"
#include "settings/trap_store.h"

namespace sd {

struct WatchEvent {
  enum class Kind { NotAlive, Recovered, Trap };
  Kind kind = Kind::NotAlive;
  std::string time;  // the event log's timestamp format
  std::string ip;
  std::string mac;   // NotAlive, Recovered
  std::string name;  // NotAlive, Recovered: the system name
  std::string text;  // Trap
  bool operator==(const WatchEvent&) const = default;
};

class WatchObserver {
 public:
  // Takes the first look: what is already so at start is not reported.
  WatchObserver(const DeviceTable& monitor, const TrapStore& traps);

  // The events since the last look, traps first (in the order they came), then verdicts and
  // recoveries in Monitor List order; `timestamp` stamps the verdicts and recoveries.
  std::vector<WatchEvent> Look(std::string_view timestamp);

 private:
  struct Seen {
    std::string ip;
    bool declared_not_alive;  // row_state 2: the timer's verdict
    bool not_alive_image;     // status_image 1
  };
  std::vector<Seen> Snapshot() const;

  const DeviceTable& monitor_;
  const TrapStore& traps_;
  std::vector<Seen> seen_;
  int trap_count_ = 0;
};

}  // namespace sd
