// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Numbered window timers over QTimer: each runs on the user-interface thread, repeats at its
// interval until stopped, and ends with its owner.

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>

#include "operations/timer_host.h"

namespace sd::gui {

class QtTimerHost : public ITimerHost {
 public:
  // `on_tick` receives the id of every timer that fires. The timers are children of `owner`.
  QtTimerHost(QObject& owner, std::function<void(int id)> on_tick);
  ~QtTimerHost() override;
  QtTimerHost(const QtTimerHost&) = delete;
  QtTimerHost& operator=(const QtTimerHost&) = delete;

  void StartTimer(int id, std::chrono::milliseconds interval) override;
  void StopTimer(int id) override;
  void StopAll();
  bool Running(int id) const;

 private:
  QObject& owner_;
  std::function<void(int)> on_tick_;
  std::map<int, QPointer<QTimer>> timers_;
};

}  // namespace sd::gui
