// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/event_hooks.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
// glibc 2.36's header lacks the C linkage block of the others.
extern "C" {
#include <sys/pidfd.h>
}
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>

#include "cli/output.h"

namespace sd::cli {

namespace {

constexpr std::array<std::string_view, 6> kHookVariables = {
    "SWITCHDESK_EVENT=", "SWITCHDESK_IP=", "SWITCHDESK_MAC=", "SWITCHDESK_NAME=", "SWITCHDESK_TEXT=",
    "SWITCHDESK_TIME="};
// Without a pidfd, how often a run's end is looked for.
constexpr std::chrono::milliseconds kEndCheckPeriod(50);
// At the watch's end, how long a killed hook may take to be reaped.
constexpr std::chrono::milliseconds kReapLimit(2000);

std::string Seconds(std::chrono::milliseconds ms) {
  std::string text = std::to_string(ms.count() / 1000);
  if (const auto rest = ms.count() % 1000; rest != 0) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(rest));
    std::string f = fraction;
    f.erase(f.find_last_not_of('0') + 1);
    text += f;
  }
  return text + " s";
}

std::string Count(std::uint64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// The outcome of a run that ended by itself, from waitid's report; empty for a success.
std::string Outcome(const siginfo_t& info) {
  if (info.si_code == CLD_EXITED) return info.si_status == 0 ? "" : "exit status " + std::to_string(info.si_status);
  const char* name = ::strsignal(info.si_status);
  return "ended by signal " + std::to_string(info.si_status) + (name ? std::string(" (") + name + ")" : "");
}

}  // namespace

HookEvent MakeHookEvent(const WatchEvent& event, const DeviceTable& monitor) {
  HookEvent h;
  switch (event.kind) {
    case WatchEvent::Kind::NotAlive: h.event = "not-alive"; break;
    case WatchEvent::Kind::Recovered: h.event = "recovered"; break;
    case WatchEvent::Kind::Trap: h.event = "trap"; break;
  }
  h.ip = event.ip;
  h.mac = event.mac;
  h.name = event.name;
  h.text = event.text;
  h.time = event.time;
  if (event.kind == WatchEvent::Kind::Trap) {
    if (const FindResult found = monitor.FindByIp(event.ip); found.found) {
      const DeviceRecord entry = monitor.Entry(found.index);
      h.mac = GetText(entry.mac_text);
      h.name = GetText(entry.system_name);
    }
  }
  return h;
}

std::vector<std::string> HookEnvironment(const char* const* inherited, const HookEvent& event) {
  std::vector<std::string> env;
  for (const char* const* e = inherited; e && *e; ++e) {
    const std::string_view entry(*e);
    bool ours = false;
    for (std::string_view v : kHookVariables) ours = ours || entry.starts_with(v);
    if (!ours) env.emplace_back(entry);
  }
  const std::array<const std::string*, 6> values = {&event.event, &event.ip,   &event.mac,
                                                    &event.name,  &event.text, &event.time};
  for (std::size_t i = 0; i < kHookVariables.size(); ++i) env.push_back(std::string(kHookVariables[i]) + *values[i]);
  return env;
}

std::optional<std::string> RefuseHookProgram(const std::string& program) {
  const std::string shown = TerminalText(program);
  struct stat st{};
  if (program.empty() || ::stat(program.c_str(), &st) != 0) {
    return "--exec " + shown + ": " + (program.empty() ? "no program given" : std::strerror(errno)) + ".";
  }
  if (!S_ISREG(st.st_mode)) return "--exec " + shown + ": not a file.";
  if (::access(program.c_str(), X_OK) != 0) return "--exec " + shown + ": not executable (" + std::strerror(errno) + ").";
  return std::nullopt;
}

EventHooks::EventHooks(EventLoop& loop, std::string program, std::ostream& err, Options options)
    : loop_(loop), program_(std::move(program)), err_(err), options_(options) {}

EventHooks::~EventHooks() { Stop(); }

template <typename Task>
void EventHooks::Later(std::chrono::milliseconds delay, Task task) {
  loop_.Post([weak = std::weak_ptr<EventHooks*>(self_), task = std::move(task)]() mutable {
    if (weak.lock()) task();
  }, delay);
}

std::string EventHooks::Describe(const HookEvent& event) const {
  return "--exec " + TerminalText(program_) + " (" + event.event + " " + event.ip + ")";
}

void EventHooks::Add(HookEvent event) {
  if (stopped_) return;
  if (!run_) {
    queue_.push_back(std::move(event));
    StartNext();
    return;
  }
  if (queue_.size() >= options_.queue_limit) {
    // A verdict or a recovery matters more than a trap: in a storm of traps it takes the place
    // of the oldest trap that waits, so the hook still hears that a switch died.
    const auto trap = event.event == "trap" ? queue_.end()
                                            : std::find_if(queue_.begin(), queue_.end(),
                                                           [](const HookEvent& e) { return e.event == "trap"; });
    const HookEvent& lost = trap == queue_.end() ? event : *trap;
    dropped_.fetch_add(1, std::memory_order_relaxed);
    Tell(Trouble::Dropped, "switchdesk-cli: --exec " + TerminalText(program_) + ": " +
                               Count(options_.queue_limit, "event waits", "events wait") +
                               " already; events are dropped (" + lost.event + " " + lost.ip + ")");
    if (trap == queue_.end()) return;
    queue_.erase(trap);
  }
  queue_.push_back(std::move(event));
  queued_.store(queue_.size(), std::memory_order_relaxed);
}

void EventHooks::StartNext() {
  while (!run_ && !queue_.empty()) {
    HookEvent next = std::move(queue_.front());
    queue_.pop_front();
    queued_.store(queue_.size(), std::memory_order_relaxed);
    Start(std::move(next));
  }
}

bool EventHooks::Start(HookEvent event) {
  std::vector<std::string> env = HookEnvironment(environ, event);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string path = program_;
  char* argv[] = {path.data(), nullptr};

  // The child: a process group of its own (so that the limit and the watch's end reach whatever
  // it starts), no blocked signal and every disposition at its default (the watch blocks the stop
  // signals for its signalfd and ignores SIGPIPE, and both would be inherited).
  posix_spawnattr_t attr;
  posix_spawn_file_actions_t actions;
  ::posix_spawnattr_init(&attr);
  ::posix_spawn_file_actions_init(&actions);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  ::posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  ::posix_spawnattr_setpgroup(&attr, 0);
  ::posix_spawnattr_setsigmask(&attr, &none);
  ::posix_spawnattr_setsigdefault(&attr, &all);
  // Standard input from /dev/null, standard output to the watch's standard error, and no other
  // descriptor (the program's own are close-on-exec already; this holds for any that is not).
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
  ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, path.c_str(), &actions, &attr, argv, envp.data());
  ::posix_spawn_file_actions_destroy(&actions);
  ::posix_spawnattr_destroy(&attr);
  if (error != 0) {
    failures_.fetch_add(1, std::memory_order_relaxed);
    Tell(Trouble::Failed, "switchdesk-cli: " + Describe(event) + ": could not start (" + std::strerror(error) + ")");
    return false;
  }
  runs_.fetch_add(1, std::memory_order_relaxed);
  run_.emplace();
  run_->pid = pid;
  run_->pidfd = ::pidfd_open(pid, 0);  // close-on-exec by itself
  run_->serial = ++serial_;
  run_->event = std::move(event);
  run_->deadline = EventLoop::Clock::now() + options_.timeout;
  WatchEnd();
  ArmLimit();
  return true;
}

void EventHooks::WatchEnd() {
  if (run_->pidfd >= 0) {
    loop_.WatchReadable(run_->pidfd, [this] { CheckEnd(); });
  } else {
    const std::uint64_t serial = run_->serial;
    Later(kEndCheckPeriod, [this, serial] {
      if (run_ && run_->serial == serial) CheckEnd();
    });
  }
}

void EventHooks::CheckEnd() {
  if (!run_) return;
  // A look without reaping: while the hook is a zombie its pid still holds its group's id, so
  // what it left running in the group can be killed without reaching a stranger's group.
  siginfo_t info{};
  int rc;
  do {
    rc = ::waitid(P_PID, static_cast<id_t>(run_->pid), &info, WEXITED | WNOHANG | WNOWAIT);
  } while (rc != 0 && errno == EINTR);
  const int look_error = rc != 0 ? errno : 0;
  if (rc == 0 && info.si_pid == 0) {
    if (run_->pidfd < 0) WatchEnd();  // still running: look again later
    return;
  }
  siginfo_t reaped{};
  if (rc == 0) {
    ::kill(-run_->pid, SIGKILL);
    do {
      rc = ::waitid(P_PID, static_cast<id_t>(run_->pid), &reaped, WEXITED | WNOHANG);
    } while (rc != 0 && errno == EINTR);
  }
  Run run = std::move(*run_);
  run_.reset();
  if (run.pidfd >= 0) {
    loop_.Unwatch(run.pidfd);
    ::close(run.pidfd);
  }
  if (run.past_limit) {
    timed_out_.fetch_add(1, std::memory_order_relaxed);
    Tell(Trouble::TimedOut, "switchdesk-cli: " + Describe(run.event) + ": still running after " +
                                Seconds(options_.timeout) + ", ended");
  } else if (look_error != 0 || reaped.si_pid == 0) {
    // Reaped by someone else (nothing in this program waits for children): its end is unknown.
    failures_.fetch_add(1, std::memory_order_relaxed);
    Tell(Trouble::Failed, "switchdesk-cli: " + Describe(run.event) + ": its end could not be read (" +
                              std::strerror(look_error != 0 ? look_error : ECHILD) + ")");
  } else if (const std::string outcome = Outcome(reaped); !outcome.empty()) {
    failures_.fetch_add(1, std::memory_order_relaxed);
    Tell(Trouble::Failed, "switchdesk-cli: " + Describe(run.event) + ": " + outcome);
  }
  StartNext();
}

void EventHooks::ArmLimit() {
  if (limit_armed_ || !run_ || run_->killed) return;
  limit_armed_ = true;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(run_->deadline - EventLoop::Clock::now());
  Later(std::max(wait, std::chrono::milliseconds(0)), [this] { OnLimit(); });
}

void EventHooks::OnLimit() {
  limit_armed_ = false;
  if (!run_ || run_->killed) return;
  const auto now = EventLoop::Clock::now();
  if (now < run_->deadline) {
    ArmLimit();
    return;
  }
  // SIGTERM first, so that a hook may still tidy up (a half-written file, a connection); the
  // whole group, so that what it started ends too; SIGKILL after a short grace for whatever
  // ignores it. The next run waits for the end: one at a time holds even for a hook that hangs.
  if (!run_->past_limit) {
    run_->past_limit = true;
    ::kill(-run_->pid, SIGTERM);
    run_->deadline = now + options_.kill_grace;
    ArmLimit();
  } else {
    run_->killed = true;
    ::kill(-run_->pid, SIGKILL);
  }
}

void EventHooks::Stop() {
  if (stopped_) return;
  stopped_ = true;
  const std::size_t waiting = queue_.size();
  queue_.clear();
  queued_.store(0, std::memory_order_relaxed);
  if (run_) {
    ::kill(-run_->pid, SIGKILL);
    // A killed process ends at once unless it is stuck in the kernel; the wait is bounded so that
    // such a one cannot hold the watch's end (it stays a zombie until the program exits).
    if (run_->pidfd >= 0) {
      pollfd p{run_->pidfd, POLLIN, 0};
      while (::poll(&p, 1, static_cast<int>(kReapLimit.count())) < 0 && errno == EINTR) {
      }
      loop_.Unwatch(run_->pidfd);
      ::close(run_->pidfd);
    } else {
      const auto deadline = EventLoop::Clock::now() + kReapLimit;
      siginfo_t info{};
      while (::waitid(P_PID, static_cast<id_t>(run_->pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
             info.si_pid == 0 && EventLoop::Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    siginfo_t info{};
    ::waitid(P_PID, static_cast<id_t>(run_->pid), &info, WEXITED | WNOHANG);
    run_.reset();
  }
  TellSummary();
  if (waiting > 0) {
    err_ << "switchdesk-cli: --exec " << TerminalText(program_) << ": " << Count(waiting, "queued event", "queued events")
         << " not run (the watch stops)\n";
    err_.flush();
  }
}

void EventHooks::Tell(Trouble trouble, const std::string& line) {
  const auto now = EventLoop::Clock::now();
  if (!last_told_ || now - *last_told_ >= options_.report_interval) {
    err_ << line << '\n';
    err_.flush();
    last_told_ = now;
    return;
  }
  ++(trouble == Trouble::Failed ? untold_failed_ : trouble == Trouble::TimedOut ? untold_timed_out_ : untold_dropped_);
  if (!summary_due_ && !stopped_) {
    summary_due_ = true;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*last_told_ + options_.report_interval - now);
    Later(wait, [this] { TellSummary(); });
  }
}

void EventHooks::TellSummary() {
  summary_due_ = false;
  std::string parts;
  const auto add = [&parts](std::uint64_t n, std::string_view one, std::string_view many) {
    if (n == 0) return;
    parts += (parts.empty() ? "" : ", ") + Count(n, one, many);
  };
  add(untold_failed_, "run failed", "runs failed");
  add(untold_timed_out_, "run ended at the time limit", "runs ended at the time limit");
  add(untold_dropped_, "event dropped (queue full)", "events dropped (queue full)");
  if (parts.empty()) return;
  err_ << "switchdesk-cli: --exec " << TerminalText(program_) << ": since the last report, " << parts << '\n';
  err_.flush();
  last_told_ = EventLoop::Clock::now();
  untold_failed_ = untold_timed_out_ = untold_dropped_ = 0;
}

}  // namespace sd::cli
