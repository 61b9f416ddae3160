// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The reboot watch after a firmware transfer: after 12 s it repeats a discovery once a second,
// up to 110 times, until the upgraded switch answers one, and then tells the user whether the
// upgrade succeeded. It belongs to the main window and runs on its thread, driven by timer
// ticks, so the Discovery List is emptied before each probe on the same thread on which the
// reply dispatcher refills it: the two never interleave.

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

#include "common/messages.h"
#include "operations/timer_host.h"
#include "operations/upgrade_network.h"

namespace sd {

inline constexpr std::string_view kFirmwareUpgradeSuccessful = "Firmware upgrade successful.";
inline constexpr std::string_view kFirmwareUpgradeFailedVerdict = "Firmware upgrade failed.";
inline constexpr std::string_view kSetSocketOptionError = "Set socketopt error";
inline constexpr std::string_view kNoComputerAddress = "Please make sure your computer has an IP address.";

// The watch's timer on its owner's timer host.
inline constexpr int kRebootWatchTimer = 1;

// The flag the reply dispatcher sets when the upgrade target answers a discovery with
// CMD_DISCOVER_REPLY (an unconfigurable reply or another protocol generation does not count).
class IRebootSeen {
 public:
  virtual ~IRebootSeen() = default;
  virtual bool RebootSeen() const = 0;
  virtual void ClearRebootSeen() = 0;
};

// Adapts any object with RebootSeen() and ClearRebootSeen(), such as the reply dispatcher.
template <typename Source>
class RebootSeenOf : public IRebootSeen {
 public:
  explicit RebootSeenOf(Source& source) : source_(source) {}
  bool RebootSeen() const override { return source_.RebootSeen(); }
  void ClearRebootSeen() override { source_.ClearRebootSeen(); }

 private:
  Source& source_;
};

struct RebootWatchSettings {
  std::chrono::milliseconds initial_wait{12000};
  std::chrono::milliseconds probe_interval{1000};
  int max_probes = 110;
};

enum class RebootVerdict { kBack, kNotBack };

class RebootWatch {
 public:
  // `clear_discovery_list` deletes the Discovery List's rows and zeroes its table (the main
  // dialog's ClearDiscoveryList). `messages` are owned by the main window. `timers` delivers
  // kRebootWatchTimer's ticks to OnTimer on the main window's thread.
  RebootWatch(IUpgradeNetwork& network, IRebootSeen& reboot_seen, std::function<void()> clear_discovery_list,
              IMessages& messages, ITimerHost& timers, RebootWatchSettings settings = {});

  // Starts a watch; a watch still running starts over.
  void WatchReboot();
  void OnTimer(int id);

  bool Running() const { return phase_ != Phase::kIdle; }
  int ProbeCount() const { return probes_; }
  // The verdict of the last watch; nothing while one runs or when it ended without a verdict.
  std::optional<RebootVerdict> Verdict() const { return verdict_; }
  // Called when a watch ends: with its verdict, or nothing after a failed send.
  void SetOnEnd(std::function<void(std::optional<RebootVerdict>)> on_end) { on_end_ = std::move(on_end); }

 private:
  enum class Phase { kIdle, kWaiting, kProbing };
  void Probe();
  // Shows the verdict, or `error` for a watch that ends without one.
  void End(std::optional<RebootVerdict> verdict, std::string_view error = {});

  IUpgradeNetwork& network_;
  IRebootSeen& reboot_seen_;
  std::function<void()> clear_discovery_list_;
  IMessages& messages_;
  ITimerHost& timers_;
  RebootWatchSettings settings_;
  std::function<void(std::optional<RebootVerdict>)> on_end_;
  Phase phase_ = Phase::kIdle;
  int probes_ = 0;
  std::optional<RebootVerdict> verdict_;
};

}  // namespace sd
