// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/poll_thread.h"

#include "devices/device_table.h"

namespace sd {

void StoppableSleep(std::stop_token stop, std::chrono::milliseconds duration) {
  std::mutex mutex;
  std::condition_variable_any woken;
  std::unique_lock lock(mutex);
  woken.wait_for(lock, stop, duration, [] { return false; });
}

void PollThreadProc(std::stop_token stop, const PollThreadHooks& hooks) {
  const auto sleep = hooks.sleep ? hooks.sleep : StoppableSleep;
  while (!stop.stop_requested()) {
    for (int i = 0; i < kDeviceTableCapacity && !stop.stop_requested(); ++i) {
      const auto ip = hooks.next_target(i);
      if (!ip) break;
      if (!hooks.send_poll(*ip) && hooks.report_failure) hooks.report_failure(stop);
    }
    sleep(stop, std::chrono::seconds(hooks.interval_seconds()));
  }
}

PollThread::PollThread(PollThreadHooks hooks)
    : hooks_(std::move(hooks)), thread_([this](std::stop_token stop) { PollThreadProc(stop, hooks_); }) {}

PollThread::~PollThread() {
  thread_.request_stop();
  if (thread_.joinable()) thread_.join();
}

}  // namespace sd
