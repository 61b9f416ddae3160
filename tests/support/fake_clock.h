// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A clock that moves only when a test says so, and window-style timers on it: Advance fires
// every tick that falls due, in time order (timers due at the same moment in the order they were
// started), so a test walks a whole timeline of retries and pauses in no time.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "operations/timer_host.h"

namespace sd::test {

using Ms = std::chrono::milliseconds;

class FakeTimers;

class FakeClock {
 public:
  Ms Now() const { return now_; }
  // Moves the clock forward by `d`, running every tick due up to then.
  void Advance(Ms d);
  // Moves the clock to the next due tick, if any within `limit`, and runs it. False when none.
  bool RunNextTick(Ms limit = Ms(3600 * 1000));

 private:
  friend class FakeTimers;
  void Attach(FakeTimers* t) { hosts_.push_back(t); }
  void Detach(FakeTimers* t) { std::erase(hosts_, t); }
  // The host and timer due first up to `until`.
  bool NextDue(Ms until, FakeTimers*& host, int& id);
  std::uint64_t NextSequence() { return ++sequence_; }

  Ms now_{0};
  std::uint64_t sequence_ = 0;
  std::vector<FakeTimers*> hosts_;
};

class FakeTimers : public ITimerHost {
 public:
  explicit FakeTimers(FakeClock& clock, std::function<void(int)> on_tick = {})
      : clock_(clock), on_tick_(std::move(on_tick)) {
    clock_.Attach(this);
  }
  ~FakeTimers() override { clock_.Detach(this); }
  FakeTimers(const FakeTimers&) = delete;
  FakeTimers& operator=(const FakeTimers&) = delete;

  void SetHandler(std::function<void(int)> on_tick) { on_tick_ = std::move(on_tick); }
  void StartTimer(int id, Ms interval) override {
    timers_[id] = {interval, clock_.Now() + interval, clock_.NextSequence()};
  }
  void StopTimer(int id) override { timers_.erase(id); }

  bool Running(int id) const { return timers_.count(id) != 0; }
  Ms Interval(int id) const { return Running(id) ? timers_.at(id).interval : Ms(0); }
  // Every tick delivered: when and which timer.
  std::vector<std::pair<Ms, int>> ticks;

 private:
  friend class FakeClock;
  struct Timer {
    Ms interval;
    Ms due;
    std::uint64_t sequence;
  };
  void Fire(int id) {
    auto& t = timers_.at(id);
    t.due += t.interval;
    t.sequence = clock_.NextSequence();
    ticks.emplace_back(clock_.Now(), id);
    if (on_tick_) on_tick_(id);
  }

  FakeClock& clock_;
  std::function<void(int)> on_tick_;
  std::map<int, Timer> timers_;
};

inline bool FakeClock::NextDue(Ms until, FakeTimers*& host, int& id) {
  bool found = false;
  Ms best_due{};
  std::uint64_t best_sequence = 0;
  for (FakeTimers* h : hosts_) {
    for (const auto& [timer_id, t] : h->timers_) {
      if (t.due > until) continue;
      if (!found || t.due < best_due || (t.due == best_due && t.sequence < best_sequence)) {
        found = true;
        best_due = t.due;
        best_sequence = t.sequence;
        host = h;
        id = timer_id;
      }
    }
  }
  return found;
}

inline void FakeClock::Advance(Ms d) {
  const Ms target = now_ + d;
  FakeTimers* host = nullptr;
  int id = 0;
  while (NextDue(target, host, id)) {
    now_ = host->timers_.at(id).due;
    host->Fire(id);
  }
  now_ = target;
}

inline bool FakeClock::RunNextTick(Ms limit) {
  FakeTimers* host = nullptr;
  int id = 0;
  if (!NextDue(now_ + limit, host, id)) return false;
  now_ = host->timers_.at(id).due;
  host->Fire(id);
  return true;
}

}  // namespace sd::test
