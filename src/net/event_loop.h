// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small event loop for front ends without a toolkit (the terminal program and the end-to-end
// tests): it watches descriptors for readability with poll() and runs posted and timed tasks,
// all on the thread that runs it. Other threads hand it work through Post.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "common/ui_thread.h"

namespace sd {

class EventLoop : public IUiThread {
 public:
  using Clock = std::chrono::steady_clock;

  EventLoop();
  ~EventLoop() override;
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Thread-safe.
  void Post(std::function<void()> task, std::chrono::milliseconds delay = std::chrono::milliseconds(0)) override;
  // Runs `task` every `period`, the first time one period from now, until the loop is destroyed.
  void Every(std::chrono::milliseconds period, std::function<void()> task);
  // Calls `on_readable` whenever `fd` has data. The descriptor must stay open while watched.
  void WatchReadable(int fd, std::function<void()> on_readable);
  // Stops watching `fd` (before it is closed: a closed descriptor must not stay in the watch).
  void Unwatch(int fd);
  void UnwatchAll();

  // Runs until `done` returns true (checked after every event) or `timeout` has passed; true
  // when `done` became true.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  void RunFor(std::chrono::milliseconds duration) { RunUntil([] { return false; }, duration); }
  // Ends the current RunUntil early; thread-safe.
  void Quit();

 private:
  struct Repeating {
    std::chrono::milliseconds period;
    std::function<void()> task;
  };
  void Wake();
  void RunDueTasks();
  void ScheduleRepeating(Repeating* r);

  int wake_fd_ = -1;
  std::mutex mutex_;
  std::multimap<Clock::time_point, std::function<void()>> tasks_;
  bool quit_ = false;
  struct Watch {
    int fd;
    std::function<void()> on_readable;
  };
  std::vector<Watch> watches_;
  std::vector<std::unique_ptr<Repeating>> repeating_;  // loop thread only
};

}  // namespace sd
