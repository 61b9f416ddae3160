// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The watch's figures for Prometheus: for each switch of the Monitor List whether it is alive,
// when it last answered, and how many polls, replies and traps there were since the watch
// started, written in the Prometheus text exposition format. The poll thread counts polls, the
// event loop's thread counts replies and traps and brings the list up to date after every event,
// and the metrics server's thread writes the exposition: one mutex guards the figures, held only
// to count or to copy them. The Monitor List holds at most 256 switches, and so do the figures.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/traffic_observer.h"
#include "protocol/device_record.h"

namespace sd::cli {

// What the event hooks have done, when they run.
struct HookFigures {
  std::uint64_t runs = 0;
  std::uint64_t failures = 0;
  std::uint64_t timeouts = 0;
  std::uint64_t dropped = 0;
  std::uint64_t queued = 0;
};

class WatchMetrics : public ITrafficObserver {
 public:
  // Seconds since the epoch, for the last reply's time (tests set their own).
  using WallClock = double (*)();
  explicit WatchMetrics(WallClock clock = nullptr);

  void OnPollSent(std::uint32_t ip) override;
  void OnMonitorReply(std::uint32_t ip) override;
  // A trap from the switch at `ip_text` was taken in.
  void NoteTrap(std::string_view ip_text);
  // The switches as the Monitor List has them now, in its order: their MAC address, system name
  // and state. A switch that stays keeps its figures; one that left loses them.
  void Update(const std::vector<DeviceRecord>& entries);
  // Where the event hooks' figures are read, from the server's thread (nothing: no hooks run).
  void SetHookFigures(std::function<HookFigures()> source);

  // The exposition, as /metrics serves it.
  std::string Render() const;

 private:
  struct Switch {
    std::uint32_t ip = 0;
    std::string ip_text;
    std::string mac;
    std::string name;
    bool up = true;
    std::optional<double> last_reply;
    std::uint64_t polls = 0;
    std::uint64_t replies = 0;
    std::uint64_t traps = 0;
  };
  Switch* Find(std::uint32_t ip);

  WallClock clock_;
  mutable std::mutex mutex_;
  std::vector<Switch> switches_;
  std::function<HookFigures()> hooks_;
};

// A label value in the exposition: backslash, double quote and line feed escaped, and bytes that
// are not UTF-8 replaced by U+FFFD, so that a switch's name cannot break the format.
std::string MetricsLabelValue(std::string_view text);

}  // namespace sd::cli
