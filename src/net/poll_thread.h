// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The poll thread: once per refresh interval it sends CMD_POLL to every Monitor List device, in
// entry order, counting each poll against the device just before it goes out. It touches no
// window: it takes its targets from a function that counts under the table's lock, and a send
// failure is reported through a function that shows the message on the user-interface thread
// and returns when the user has closed it (or the thread is asked to stop).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace sd {

struct PollThreadHooks {
  // Counts the poll of Monitor List entry `index` and gives its address; nothing at the end of
  // the list.
  std::function<std::optional<std::uint32_t>(int index)> next_target;
  // Seconds to sleep after a pass, read anew before each sleep.
  std::function<int()> interval_seconds;
  // Sends one poll; false when the send failed.
  std::function<bool(std::uint32_t ip)> send_poll;
  // Shows "Unable to poll device in Monitor List" and waits until it is closed or `stop` is
  // requested.
  std::function<void(std::stop_token stop)> report_failure;
  // How a pass waits; the default waits on the clock and wakes early on a stop request.
  std::function<void(std::stop_token stop, std::chrono::milliseconds)> sleep;
};

// The thread's body: passes over the Monitor List until a stop is requested.
void PollThreadProc(std::stop_token stop, const PollThreadHooks& hooks);

// Waits for `duration` or until `stop` is requested, whichever comes first.
void StoppableSleep(std::stop_token stop, std::chrono::milliseconds duration);

class PollThread {
 public:
  explicit PollThread(PollThreadHooks hooks);
  // Stops the thread and waits for it.
  ~PollThread();
  PollThread(const PollThread&) = delete;
  PollThread& operator=(const PollThread&) = delete;

 private:
  PollThreadHooks hooks_;
  std::jthread thread_;
};

}  // namespace sd
