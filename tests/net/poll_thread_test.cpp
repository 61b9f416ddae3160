// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/poll_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "net/event_loop.h"
#include "support/main_dialog.h"

namespace sd {
namespace {

TEST(PollThreadTest, EachPassPollsTheListInOrderUpToTheFirstEmptyEntry) {
  test::MainDialogFixture f;
  for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.3"}) f.AddMonitored(test::Switch("", ip));
  std::vector<std::uint32_t> sent;
  std::vector<int> intervals_slept;
  std::stop_source stop;
  PollThreadHooks hooks;
  hooks.next_target = [&](int i) { return f.dlg.NotePollSentAndGetIp(i); };
  hooks.interval_seconds = [&] { return f.dlg.RefreshIntervalSeconds(); };
  hooks.send_poll = [&](std::uint32_t ip) {
    sent.push_back(ip);
    return ip != 0x0A000002;
  };
  int failures = 0;
  hooks.report_failure = [&](std::stop_token) { ++failures; };
  hooks.sleep = [&](std::stop_token, std::chrono::milliseconds d) {
    intervals_slept.push_back(static_cast<int>(d.count()));
    f.dlg.SetRefreshInterval(300);  // takes effect from the next sleep
    if (intervals_slept.size() == 2) stop.request_stop();
  };
  PollThreadProc(stop.get_token(), hooks);
  EXPECT_EQ(sent, (std::vector<std::uint32_t>{0x0A000001, 0x0A000002, 0x0A000003, 0x0A000001, 0x0A000002,
                                               0x0A000003}));
  EXPECT_EQ(failures, 2) << "each failed send is reported and the pass goes on";
  EXPECT_EQ(intervals_slept, (std::vector<int>{15000, 300000}));
  // Polled twice since it was loaded answered: the first poll cleared `answered`, the second counted.
  EXPECT_EQ(f.dlg.MonitorTable().Entry(0).missed_polls, 1u);
  EXPECT_EQ(f.dlg.MonitorTable().Entry(0).answered, 0u);
}

TEST(PollThreadTest, StopsPromptlyWhileSleeping) {
  std::atomic<int> passes = 0;
  PollThreadHooks hooks;
  hooks.next_target = [&](int) -> std::optional<std::uint32_t> {
    ++passes;
    return std::nullopt;
  };
  hooks.interval_seconds = [] { return 300; };
  hooks.send_poll = [](std::uint32_t) { return true; };
  const auto start = std::chrono::steady_clock::now();
  {
    PollThread thread(hooks);
    while (passes == 0) std::this_thread::yield();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(passes, 1) << "an empty list sends nothing and sleeps one interval per pass";
}

TEST(EventLoopTest, RunsPostedTasksInTimeOrderAndFromOtherThreads) {
  EventLoop loop;
  std::vector<int> order;
  loop.Post([&] { order.push_back(3); }, std::chrono::milliseconds(30));
  loop.Post([&] { order.push_back(1); });
  loop.Post([&] { order.push_back(2); }, std::chrono::milliseconds(10));
  std::thread other([&] { loop.Post([&] { order.push_back(4); }, std::chrono::milliseconds(50)); });
  other.join();
  int ticks = 0;
  loop.Every(std::chrono::milliseconds(5), [&] { ++ticks; });
  EXPECT_TRUE(loop.RunUntil([&] { return order.size() == 4; }, std::chrono::seconds(5)));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_GE(ticks, 2);
}

TEST(EventLoopTest, CallsTheHandlerOfAReadableDescriptor) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  EventLoop loop;
  std::string got;
  loop.WatchReadable(fds[0], [&] {
    char c;
    if (::read(fds[0], &c, 1) == 1) got.push_back(c);
  });
  loop.Post([&] { [[maybe_unused]] auto n = ::write(fds[1], "x", 1); }, std::chrono::milliseconds(5));
  EXPECT_TRUE(loop.RunUntil([&] { return !got.empty(); }, std::chrono::seconds(5)));
  EXPECT_EQ(got, "x");
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
}  // namespace sd
