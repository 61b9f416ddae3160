// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/qt_timer_host.h"

namespace sd::gui {

QtTimerHost::QtTimerHost(QObject& owner, std::function<void(int id)> on_tick)
    : owner_(owner), on_tick_(std::move(on_tick)) {}

QtTimerHost::~QtTimerHost() {
  for (auto& [id, timer] : timers_) delete timer;
}

void QtTimerHost::StartTimer(int id, std::chrono::milliseconds interval) {
  QPointer<QTimer>& timer = timers_[id];
  if (timer.isNull()) {
    timer = new QTimer(&owner_);
    timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer, &QTimer::timeout, timer, [this, id] { on_tick_(id); });
  }
  // Starting a running timer again restarts its interval.
  timer->start(interval);
}

void QtTimerHost::StopTimer(int id) {
  // A stopped QTimer delivers no tick that was still due.
  if (auto it = timers_.find(id); it != timers_.end() && it->second) it->second->stop();
}

void QtTimerHost::StopAll() {
  for (auto& [id, timer] : timers_) {
    if (timer) timer->stop();
  }
}

bool QtTimerHost::Running(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second && it->second->isActive();
}

}  // namespace sd::gui
