// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/event_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

namespace sd {

EventLoop::EventLoop() : wake_fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

EventLoop::~EventLoop() {
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

void EventLoop::Wake() {
  const std::uint64_t one = 1;
  if (wake_fd_ >= 0) [[maybe_unused]] auto n = ::write(wake_fd_, &one, sizeof one);
}

void EventLoop::Post(std::function<void()> task, std::chrono::milliseconds delay) {
  {
    std::lock_guard lock(mutex_);
    tasks_.emplace(Clock::now() + delay, std::move(task));
  }
  Wake();
}

void EventLoop::Every(std::chrono::milliseconds period, std::function<void()> task) {
  repeating_.push_back(std::make_unique<Repeating>(Repeating{period, std::move(task)}));
  ScheduleRepeating(repeating_.back().get());
}

void EventLoop::ScheduleRepeating(Repeating* r) {
  Post([this, r] {
    r->task();
    ScheduleRepeating(r);
  }, r->period);
}

void EventLoop::WatchReadable(int fd, std::function<void()> on_readable) {
  watches_.push_back({fd, std::move(on_readable)});
}

void EventLoop::Unwatch(int fd) {
  std::erase_if(watches_, [fd](const Watch& w) { return w.fd == fd; });
}

void EventLoop::UnwatchAll() { watches_.clear(); }

void EventLoop::Quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  Wake();
}

void EventLoop::RunDueTasks() {
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty() || tasks_.begin()->first > Clock::now()) return;
      task = std::move(tasks_.begin()->second);
      tasks_.erase(tasks_.begin());
    }
    task();
  }
}

bool EventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  {
    std::lock_guard lock(mutex_);
    quit_ = false;
  }
  for (;;) {
    RunDueTasks();
    if (done()) return true;
    auto wait_until = deadline;
    {
      std::lock_guard lock(mutex_);
      if (quit_) return done();
      if (!tasks_.empty()) wait_until = std::min(wait_until, tasks_.begin()->first);
    }
    const auto now = Clock::now();
    if (now >= deadline) return done();
    const auto wait_ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(wait_until - now, Clock::duration::zero()));

    std::vector<pollfd> fds;
    fds.push_back({wake_fd_, POLLIN, 0});
    // Watches may be added while handlers run; poll the ones present now.
    const std::size_t watched = watches_.size();
    for (std::size_t i = 0; i < watched; ++i) fds.push_back({watches_[i].fd, POLLIN, 0});
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(wait_ms.count()));
    if (ready <= 0) continue;
    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] auto n = ::read(wake_fd_, &count, sizeof count);
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLERR))) continue;
      // A handler may change the watch list: find the descriptor's current watch, if any.
      const auto w = std::find_if(watches_.begin(), watches_.end(), [&](const Watch& x) { return x.fd == fds[i].fd; });
      if (w == watches_.end()) continue;
      auto handler = w->on_readable;
      handler();
      if (done()) return true;
    }
  }
}

}  // namespace sd
