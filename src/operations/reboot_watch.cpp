// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/reboot_watch.h"

#include <array>

#include "protocol/packet_header.h"

namespace sd {

RebootWatch::RebootWatch(IUpgradeNetwork& network, IRebootSeen& reboot_seen,
                         std::function<void()> clear_discovery_list, IMessages& messages, ITimerHost& timers,
                         RebootWatchSettings settings)
    : network_(network),
      reboot_seen_(reboot_seen),
      clear_discovery_list_(std::move(clear_discovery_list)),
      messages_(messages),
      timers_(timers),
      settings_(settings) {}

void RebootWatch::WatchReboot() {
  // Each watch counts its own probes from 0, whatever became of the one before.
  probes_ = 0;
  verdict_.reset();
  phase_ = Phase::kWaiting;
  timers_.StartTimer(kRebootWatchTimer, settings_.initial_wait);
}

void RebootWatch::OnTimer(int id) {
  if (id != kRebootWatchTimer) return;
  switch (phase_) {
    case Phase::kIdle:
      timers_.StopTimer(kRebootWatchTimer);
      return;
    case Phase::kWaiting:
      if (!network_.EnableBroadcast()) {
        End(std::nullopt, kSetSocketOptionError);
        return;
      }
      phase_ = Phase::kProbing;
      timers_.StartTimer(kRebootWatchTimer, settings_.probe_interval);
      Probe();
      return;
    case Phase::kProbing:
      if (reboot_seen_.RebootSeen()) {
        End(RebootVerdict::kBack);
      } else if (probes_ >= settings_.max_probes) {
        End(RebootVerdict::kNotBack);
      } else {
        Probe();
      }
      return;
  }
}

void RebootWatch::Probe() {
  ++probes_;
  clear_discovery_list_();
  reboot_seen_.ClearRebootSeen();
  std::array<std::uint8_t, kHeaderSize> request{};
  BuildRequestHeader(request.data(), CMD_DISCOVER);
  if (!network_.SendBroadcast(request) || !network_.SendMulticast(request)) {
    End(std::nullopt, kNoComputerAddress);
  }
}

void RebootWatch::End(std::optional<RebootVerdict> verdict, std::string_view error) {
  timers_.StopTimer(kRebootWatchTimer);
  phase_ = Phase::kIdle;
  verdict_ = verdict;
  if (!error.empty()) {
    messages_.Error(error);
  } else if (verdict == RebootVerdict::kBack) {
    messages_.ShowMessage(kFirmwareUpgradeSuccessful, kTitleInformation, MessageIcon::Information);
  } else if (verdict == RebootVerdict::kNotBack) {
    messages_.ShowMessage(kFirmwareUpgradeFailedVerdict, kTitleInformation, MessageIcon::Warning);
  }
  if (on_end_) on_end_(verdict);
}

}  // namespace sd
