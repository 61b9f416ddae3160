// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// watch --exec PROGRAM: PROGRAM runs once for each watch event (a not-alive verdict, a recovery,
// a trap), with the event in SWITCHDESK_* environment variables added to the inherited
// environment. Runs go one at a time in the events' order; the events waiting for their turn are
// a bounded queue, and what does not fit is dropped and counted. A run has a time limit, after
// which its process group is ended.
//
// Everything happens on the event loop's thread and nothing there waits for a run: PROGRAM is
// started with posix_spawn (no shell), its end is a pidfd the loop watches, and the time limit is
// a task posted on the loop. So a hook that hangs or fails never delays polling or the liveness
// timer. The child gets an empty signal mask and default signal dispositions (the watch blocks
// the stop signals for its signalfd and ignores SIGPIPE), /dev/null as standard input, the
// watch's standard error as its standard output and standard error (so the events printed on
// standard output stay clean), no other descriptor, and a process group of its own. What it
// leaves running in that group ends with it.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/watch_observer.h"
#include "devices/device_table.h"
#include "net/event_loop.h"

namespace sd::cli {

inline constexpr std::size_t kHookQueueLimit = 256;
inline constexpr std::chrono::milliseconds kDefaultHookTimeout{10000};
inline constexpr std::chrono::milliseconds kShortestHookTimeout{1000};
inline constexpr std::chrono::milliseconds kLongestHookTimeout{600000};

// One event as a run's environment shows it.
struct HookEvent {
  std::string event;  // SWITCHDESK_EVENT: "not-alive", "recovered" or "trap"
  std::string ip;     // SWITCHDESK_IP
  std::string mac;    // SWITCHDESK_MAC
  std::string name;   // SWITCHDESK_NAME: the system name
  std::string text;   // SWITCHDESK_TEXT: the trap's text, empty for the others
  std::string time;   // SWITCHDESK_TIME: the event log's timestamp
  bool operator==(const HookEvent&) const = default;
};

// The hook's view of `event`. A trap carries no MAC address or system name of its own: they come
// from the Monitor List entry of the trap's address, when there is one.
HookEvent MakeHookEvent(const WatchEvent& event, const DeviceTable& monitor);

// `inherited` (a NULL-terminated environment such as environ) without its SWITCHDESK_EVENT, _IP,
// _MAC, _NAME, _TEXT and _TIME entries, followed by those six for `event`.
std::vector<std::string> HookEnvironment(const char* const* inherited, const HookEvent& event);

// Why `program` cannot run as a hook ("... does not exist", "... is not an executable file"), or
// nothing when it can.
std::optional<std::string> RefuseHookProgram(const std::string& program);

class EventHooks {
 public:
  struct Options {
    std::chrono::milliseconds timeout = kDefaultHookTimeout;
    std::size_t queue_limit = kHookQueueLimit;
    // Trouble (a failed run, a run past its limit, dropped events) is told on `err` at once when
    // nothing was told for this long, else summed up in one line when the interval is over.
    std::chrono::milliseconds report_interval{10000};
    // A run past its limit gets SIGTERM, and SIGKILL this much later if it is still there.
    std::chrono::milliseconds kill_grace{1000};
  };

  // `program` is run as given (a path; no PATH search). `err` takes the one-line reports.
  EventHooks(EventLoop& loop, std::string program, std::ostream& err, Options options);
  EventHooks(EventLoop& loop, std::string program, std::ostream& err)
      : EventHooks(loop, std::move(program), err, Options{}) {}
  // Stop().
  ~EventHooks();
  EventHooks(const EventHooks&) = delete;
  EventHooks& operator=(const EventHooks&) = delete;

  // Runs PROGRAM for `event` now when no run is going, else queues it; drops it when the queue
  // is full. Never waits.
  void Add(HookEvent event);

  // The end of the watch: the running hook's process group is killed and the hook reaped (within
  // a short bound), and the queued events are dropped (told on `err`, not counted as Dropped).
  // Later Adds are ignored.
  void Stop();

  // Whether a run is going.
  bool Running() const { return run_.has_value(); }

  // Counters; thread-safe reads (a metrics server may read them from its own thread).
  std::uint64_t Queued() const { return queued_.load(std::memory_order_relaxed); }  // waiting now
  std::uint64_t Runs() const { return runs_.load(std::memory_order_relaxed); }      // started
  // Runs that exited with a status other than 0, were ended by a signal not sent for their time
  // limit, or could not be started.
  std::uint64_t Failures() const { return failures_.load(std::memory_order_relaxed); }
  std::uint64_t TimedOut() const { return timed_out_.load(std::memory_order_relaxed); }  // ended at the limit
  std::uint64_t Dropped() const { return dropped_.load(std::memory_order_relaxed); }     // queue full

 private:
  struct Run {
    pid_t pid = -1;  // also its process group's id
    int pidfd = -1;  // -1 when pidfd_open failed: then the end is looked for on a short timer
    std::uint64_t serial = 0;
    HookEvent event;
    // When the limit task acts next: the time limit, then the end of the grace after SIGTERM.
    EventLoop::Clock::time_point deadline;
    bool past_limit = false;  // SIGTERM sent
    bool killed = false;      // SIGKILL sent
  };
  enum class Trouble { Failed, TimedOut, Dropped };

  void StartNext();
  bool Start(HookEvent event);
  void WatchEnd();
  void CheckEnd();
  // One task at a time on the loop for the limits: it acts on the running hook's deadline, or
  // waits again when that lies ahead (the run it was set for has ended since).
  void ArmLimit();
  void OnLimit();
  void Tell(Trouble trouble, const std::string& line);
  void TellSummary();
  std::string Describe(const HookEvent& event) const;
  // Runs `task` on the loop after `delay`, unless this object is gone by then.
  template <typename Task>
  void Later(std::chrono::milliseconds delay, Task task);

  EventLoop& loop_;
  const std::string program_;
  std::ostream& err_;
  const Options options_;
  std::deque<HookEvent> queue_;
  std::optional<Run> run_;
  std::uint64_t serial_ = 0;
  bool limit_armed_ = false;
  bool stopped_ = false;
  // The reports: when the last line was told, and what happened since that is not told yet.
  std::optional<EventLoop::Clock::time_point> last_told_;
  bool summary_due_ = false;
  std::uint64_t untold_failed_ = 0;
  std::uint64_t untold_timed_out_ = 0;
  std::uint64_t untold_dropped_ = 0;
  std::atomic<std::uint64_t> queued_{0};
  std::atomic<std::uint64_t> runs_{0};
  std::atomic<std::uint64_t> failures_{0};
  std::atomic<std::uint64_t> timed_out_{0};
  std::atomic<std::uint64_t> dropped_{0};
  // Tasks posted on the loop hold a weak reference: they do nothing once this object is gone.
  std::shared_ptr<EventHooks*> self_ = std::make_shared<EventHooks*>(this);
};

}  // namespace sd::cli
