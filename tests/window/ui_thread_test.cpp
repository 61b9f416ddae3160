// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/qt_ui_thread.h"
#include "window/qt_timer_host.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <algorithm>
#include <QTest>
#include <QThread>
#include <memory>
#include <thread>
#include <vector>

namespace sd::gui {
namespace {

TEST(QtUiThreadTest, TasksPostedFromAnyThreadRunOnTheEventLoopInOrderAfterTheirDelay) {
  QtUiThread ui;
  std::vector<int> order;
  std::vector<bool> on_ui_thread;
  auto record = [&](int n) {
    return [&, n] {
      order.push_back(n);
      on_ui_thread.push_back(QThread::currentThread() == qApp->thread());
    };
  };
  QElapsedTimer clock;
  clock.start();
  qint64 delayed_at = -1;
  ui.Post([&] { delayed_at = clock.elapsed(); record(3)(); }, std::chrono::milliseconds(150));
  std::thread worker([&] { ui.Post(record(2)); });
  worker.join();
  ui.Post(record(1));
  EXPECT_TRUE(order.empty());  // nothing runs inside Post
  ASSERT_TRUE(QTest::qWaitFor([&] { return order.size() == 3; }, 2000));
  EXPECT_EQ(order, (std::vector<int>{2, 1, 3}));
  EXPECT_EQ(on_ui_thread, (std::vector<bool>{true, true, true}));
  EXPECT_GE(delayed_at, 150);
}

TEST(QtUiThreadTest, TasksStillPendingWhenItGoesAreDropped) {
  int ran = 0;
  {
    QtUiThread ui;
    ui.Post([&] { ++ran; });
    ui.Post([&] { ++ran; }, std::chrono::milliseconds(10));
  }
  QTest::qWait(50);
  EXPECT_EQ(ran, 0);
}

TEST(QtTimerHostTest, TimersRepeatUntilStoppedAndARestartBeginsTheIntervalAgain) {
  QObject owner;
  QElapsedTimer clock;
  std::vector<std::pair<int, qint64>> ticks;
  QtTimerHost* host_ptr = nullptr;
  QtTimerHost host(owner, [&](int id) {
    ticks.emplace_back(id, clock.elapsed());
    // Timer 1 stops itself at its third tick; timer 2 after its first.
    const auto count = std::count_if(ticks.begin(), ticks.end(), [id](const auto& t) { return t.first == id; });
    if ((id == 1 && count == 3) || id == 2) host_ptr->StopTimer(id);
  });
  host_ptr = &host;
  clock.start();
  host.StartTimer(1, std::chrono::milliseconds(30));
  host.StartTimer(2, std::chrono::milliseconds(100));
  QTest::qWait(60);
  host.StartTimer(2, std::chrono::milliseconds(100));  // restarted at 60 ms: due at 160, not 100
  host.StartTimer(3, std::chrono::milliseconds(20));
  host.StopTimer(3);  // stopped before its first tick
  QTest::qWait(300);
  std::vector<int> ids;
  for (const auto& [id, at] : ticks) ids.push_back(id);
  EXPECT_EQ(ids, (std::vector<int>{1, 1, 1, 2}));
  ASSERT_EQ(ticks.size(), 4u);
  EXPECT_GE(ticks[3].second, 155);
  EXPECT_FALSE(host.Running(1) || host.Running(2) || host.Running(3));
}

}  // namespace
}  // namespace sd::gui
