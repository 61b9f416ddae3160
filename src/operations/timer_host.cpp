// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/timer_host.h"

namespace sd {

UiThreadTimers::UiThreadTimers(IUiThread& ui_thread, std::function<void(int id)> on_tick)
    : ui_thread_(ui_thread), shared_(std::make_shared<Shared>()) {
  shared_->on_tick = std::move(on_tick);
}

UiThreadTimers::~UiThreadTimers() { shared_->alive = false; }

void UiThreadTimers::StartTimer(int id, std::chrono::milliseconds interval) {
  Schedule(shared_, ui_thread_, id, ++shared_->generation[id], interval);
}

void UiThreadTimers::StopTimer(int id) { ++shared_->generation[id]; }

// Everything here runs on the user-interface thread, as do the posted ticks, so the shared state
// needs no lock; the weak pointer only lets ticks posted before the host's end find it gone.
void UiThreadTimers::Schedule(const std::shared_ptr<Shared>& shared, IUiThread& ui_thread, int id,
                              unsigned generation, std::chrono::milliseconds interval) {
  std::weak_ptr<Shared> weak = shared;
  IUiThread* ui = &ui_thread;
  ui_thread.Post([weak, ui, id, generation, interval] {
    const auto s = weak.lock();
    if (!s || !s->alive || s->generation[id] != generation) return;
    // The next tick is due one interval after this one; the handler may stop or restart it.
    Schedule(s, *ui, id, generation, interval);
    const auto on_tick = s->on_tick;  // the handler may end the host
    on_tick(id);
  }, interval);
}

}  // namespace sd
