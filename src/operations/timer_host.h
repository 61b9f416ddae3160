// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Window-style timers for the firmware upgrade: each owner numbers its timers and receives their
// ticks in its OnTimer(id). A timer repeats at its interval until it is stopped; starting a
// running timer again restarts its interval. The Qt window backs this with QTimer, the terminal
// program and the end-to-end tests with the posted tasks of the user-interface thread, and unit
// tests with a fake clock, so every wait of the upgrade is a tick and never a sleep.

#include <chrono>
#include <functional>
#include <map>
#include <memory>

#include "common/ui_thread.h"

namespace sd {

class ITimerHost {
 public:
  virtual ~ITimerHost() = default;
  virtual void StartTimer(int id, std::chrono::milliseconds interval) = 0;
  // Stopping a timer that does not run does nothing. No tick of a stopped timer arrives later.
  virtual void StopTimer(int id) = 0;
};

// Timers made of delayed tasks posted to the user-interface thread; the ticks run there. Ticks
// that were already posted when a timer stopped, restarted or the host went away are dropped.
class UiThreadTimers : public ITimerHost {
 public:
  // `on_tick` receives every tick on the user-interface thread.
  UiThreadTimers(IUiThread& ui_thread, std::function<void(int id)> on_tick);
  ~UiThreadTimers() override;
  UiThreadTimers(const UiThreadTimers&) = delete;
  UiThreadTimers& operator=(const UiThreadTimers&) = delete;

  void StartTimer(int id, std::chrono::milliseconds interval) override;
  void StopTimer(int id) override;

 private:
  struct Shared {
    std::function<void(int)> on_tick;
    std::map<int, unsigned> generation;  // a posted tick counts only for its own generation
    bool alive = true;
  };
  static void Schedule(const std::shared_ptr<Shared>& shared, IUiThread& ui_thread, int id,
                       unsigned generation, std::chrono::milliseconds interval);

  IUiThread& ui_thread_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace sd
