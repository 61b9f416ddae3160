// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/watch_observer.h"

#include <algorithm>

namespace sd {

WatchObserver::WatchObserver(const DeviceTable& monitor, const TrapStore& traps)
    : monitor_(monitor), traps_(traps), seen_(Snapshot()), trap_count_(traps.trap_count()) {}

std::vector<WatchObserver::Seen> WatchObserver::Snapshot() const {
  std::vector<Seen> seen;
  for (const DeviceRecord& e : monitor_.Entries(monitor_.Count())) {
    seen.push_back({std::string(GetText(e.ip_text)), e.row_state == kRowShownNotAlive,
                    e.status_image == kStatusImageNotAlive});
  }
  return seen;
}

std::vector<WatchEvent> WatchObserver::Look(std::string_view timestamp) {
  std::vector<WatchEvent> events;

  // The store keeps the newest traps at its end; the count goes on past the slots.
  const int count = traps_.trap_count();
  if (count < trap_count_) trap_count_ = 0;  // the store was cleared
  const std::size_t stored = traps_.StoredCount();
  const std::size_t fresh = std::min(static_cast<std::size_t>(count - trap_count_), stored);
  for (std::size_t i = stored - fresh; i < stored; ++i) {
    const TrapRecord& t = traps_.Slot(i);
    WatchEvent event;
    event.kind = WatchEvent::Kind::Trap;
    event.time = GetText(t.time_text);
    event.ip = GetText(t.address_text);
    event.text = GetText(t.event_text);
    events.push_back(std::move(event));
  }
  trap_count_ = count;

  // Entries are keyed by address: removals and sorts move them, never their address.
  const std::vector<DeviceRecord> entries = monitor_.Entries(monitor_.Count());
  std::vector<Seen> now;
  for (const DeviceRecord& e : entries) {
    Seen s{std::string(GetText(e.ip_text)), e.row_state == kRowShownNotAlive,
           e.status_image == kStatusImageNotAlive};
    // The list's order seldom changes: the entry is looked for in its old place first.
    const std::size_t place = now.size();
    const auto before = place < seen_.size() && seen_[place].ip == s.ip
                            ? seen_.begin() + static_cast<std::ptrdiff_t>(place)
                            : std::find_if(seen_.begin(), seen_.end(), [&](const Seen& b) { return b.ip == s.ip; });
    const bool known = before != seen_.end();
    std::optional<WatchEvent::Kind> kind;
    if (s.declared_not_alive && !(known && before->declared_not_alive)) {
      kind = WatchEvent::Kind::NotAlive;
    } else if (known && before->not_alive_image && !s.not_alive_image) {
      kind = WatchEvent::Kind::Recovered;
    }
    if (kind) {
      WatchEvent event;
      event.kind = *kind;
      event.time = timestamp;
      event.ip = s.ip;
      event.mac = GetText(e.mac_text);
      event.name = GetText(e.system_name);
      events.push_back(std::move(event));
    }
    now.push_back(std::move(s));
  }
  seen_ = std::move(now);
  return events;
}

}  // namespace sd
