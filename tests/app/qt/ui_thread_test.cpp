#include "app/qt/qt_ui_thread.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
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

}  // namespace
}  // namespace sd::gui
