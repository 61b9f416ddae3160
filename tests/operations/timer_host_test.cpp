// SPDX-License-Identifier: GPL-3.0-or-later
// Timers made of posted tasks: each tick posts the next one; stopped, restarted or abandoned
// timers leave only posts that do nothing.
#include "operations/timer_host.h"

#include <gtest/gtest.h>

#include <deque>

namespace sd {
namespace {

using Ms = std::chrono::milliseconds;

// Keeps what is posted; the test runs it.
class QueueUiThread : public IUiThread {
 public:
  void Post(std::function<void()> task, Ms delay) override { posted.push_back({delay, std::move(task)}); }
  // Runs the oldest post; its delay.
  Ms RunOne() {
    auto [delay, task] = std::move(posted.front());
    posted.pop_front();
    task();
    return delay;
  }
  std::deque<std::pair<Ms, std::function<void()>>> posted;
};

TEST(UiThreadTimersTest, RepeatsUntilStoppedAndDropsStaleTicks) {
  QueueUiThread ui;
  std::vector<int> ticks;
  auto timers = std::make_unique<UiThreadTimers>(ui, [&](int id) { ticks.push_back(id); });

  timers->StartTimer(1, Ms(1500));
  ASSERT_EQ(ui.posted.size(), 1u);
  EXPECT_EQ(ui.RunOne(), Ms(1500));
  EXPECT_EQ(ui.RunOne(), Ms(1500));
  EXPECT_EQ(ticks, (std::vector<int>{1, 1}));

  timers->StopTimer(1);
  ui.RunOne();
  EXPECT_EQ(ticks.size(), 2u) << "no tick after a stop";
  EXPECT_TRUE(ui.posted.empty());

  timers->StartTimer(2, Ms(100));
  timers->StartTimer(2, Ms(300));  // a restart: only the new interval ticks
  ui.RunOne();
  EXPECT_EQ(ticks.size(), 2u);
  EXPECT_EQ(ui.RunOne(), Ms(300));
  EXPECT_EQ(ticks.back(), 2);

  timers.reset();
  while (!ui.posted.empty()) ui.RunOne();
  EXPECT_EQ(ticks.size(), 3u) << "nothing reaches a host that is gone";
}

TEST(UiThreadTimersTest, AHandlerMayStopItsOwnTimer) {
  QueueUiThread ui;
  int ticks = 0;
  UiThreadTimers* self = nullptr;
  UiThreadTimers timers(ui, [&](int id) {
    ++ticks;
    self->StopTimer(id);
  });
  self = &timers;
  timers.StartTimer(3, Ms(5000));
  while (!ui.posted.empty()) ui.RunOne();
  EXPECT_EQ(ticks, 1);
}

}  // namespace
}  // namespace sd
