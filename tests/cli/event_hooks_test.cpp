// SPDX-License-Identifier: GPL-3.0-or-later
// watch --exec's hooks with real child processes: small shell scripts in a folder of the test's
// own record what they were given. The event loop runs while they run.
#include "cli/event_hooks.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "devices/list_control.h"
#include "support/devices.h"

namespace sd::cli {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

HookEvent Trap(std::string text, std::string ip = "192.0.2.1") {
  return {"trap", std::move(ip), "", "", std::move(text), "06/01/2007 14:03:31"};
}

class EventHooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "switchdesk-hooks-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // An executable /bin/sh script with `body`; "$D" in it is this test's folder.
  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = File(name);
    std::ofstream(path) << "#!/bin/sh\nD='" << dir_ << "'\n" << body << "\n";
    ::chmod(path.c_str(), 0755);
    return path;
  }
  std::string File(const std::string& name) const { return dir_ + "/" + name; }
  std::string Read(const std::string& name) const {
    std::ifstream in(File(name));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // The pid a script wrote to `name`, once it is there.
  pid_t PidIn(const std::string& name) {
    loop.RunUntil([&] { return !Read(name).empty() && Read(name).back() == '\n'; }, 10s);
    return static_cast<pid_t>(std::atoi(Read(name).c_str()));
  }
  // Whether process `pid` (not a child of this one) is gone: no longer there, or a zombie
  // waiting for its new parent.
  static bool GoneSoon(pid_t pid) {
    for (int i = 0; i < 500; ++i) {
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string line;
      if (!std::getline(stat, line)) return true;
      const auto paren = line.rfind(')');
      if (paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'Z') return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
  bool RunUntilIdle(EventHooks& hooks, std::uint64_t runs, std::chrono::milliseconds limit = 20s) {
    return loop.RunUntil([&] { return hooks.Runs() >= runs && !hooks.Running(); }, limit);
  }

  std::string dir_;
  EventLoop loop;
  std::ostringstream err;
};

// The event in six variables, replacing any the watch inherited, with the rest of the environment
// kept; no shell between (a text that looks like a command stays text); standard input from
// /dev/null, standard output to the watch's standard error, no other descriptor, no blocked or
// ignored signal even when the watch blocks and ignores some.
TEST_F(EventHooksTest, EachRunGetsTheEventInItsEnvironmentAndCleanSurroundings) {
  MemoryListControl list;
  list.InsertRow(0, -1, 0);
  DeviceTable monitor(TableKind::Monitor, list);
  DeviceRecord core = test::Switch("020000000012", "198.18.0.12");
  SetText(core.system_name, "core");
  ASSERT_TRUE(monitor.Store(0, core));
  ASSERT_EQ(monitor.Count(), 1);

  WatchEvent not_alive{WatchEvent::Kind::NotAlive, "06/01/2007 14:03:09", "198.18.0.12", "020000000012", "core", ""};
  WatchEvent recovered = not_alive;
  recovered.kind = WatchEvent::Kind::Recovered;
  recovered.time = "06/01/2007 14:03:31";
  const WatchEvent trap{WatchEvent::Kind::Trap, "06/01/2007 14:03:40", "198.18.0.12", "", "", "Port 2 \"$(touch x)\" down"};
  const WatchEvent stranger{WatchEvent::Kind::Trap, "06/01/2007 14:03:41", "198.18.0.99", "", "", "from elsewhere"};
  const std::vector<std::vector<std::string>> expected = {
      {"SWITCHDESK_EVENT=not-alive", "SWITCHDESK_HOOK_TEST=kept", "SWITCHDESK_IP=198.18.0.12",
       "SWITCHDESK_MAC=020000000012", "SWITCHDESK_NAME=core", "SWITCHDESK_TEXT=", "SWITCHDESK_TIME=06/01/2007 14:03:09"},
      {"SWITCHDESK_EVENT=recovered", "SWITCHDESK_HOOK_TEST=kept", "SWITCHDESK_IP=198.18.0.12",
       "SWITCHDESK_MAC=020000000012", "SWITCHDESK_NAME=core", "SWITCHDESK_TEXT=", "SWITCHDESK_TIME=06/01/2007 14:03:31"},
      // A trap takes the MAC address and the name of its switch's Monitor List entry.
      {"SWITCHDESK_EVENT=trap", "SWITCHDESK_HOOK_TEST=kept", "SWITCHDESK_IP=198.18.0.12",
       "SWITCHDESK_MAC=020000000012", "SWITCHDESK_NAME=core", "SWITCHDESK_TEXT=Port 2 \"$(touch x)\" down",
       "SWITCHDESK_TIME=06/01/2007 14:03:40"},
      {"SWITCHDESK_EVENT=trap", "SWITCHDESK_HOOK_TEST=kept", "SWITCHDESK_IP=198.18.0.99", "SWITCHDESK_MAC=",
       "SWITCHDESK_NAME=", "SWITCHDESK_TEXT=from elsewhere", "SWITCHDESK_TIME=06/01/2007 14:03:41"},
  };

  // The watch's own surroundings: stale values of two of the variables, a descriptor that is
  // not close-on-exec, the stop signals blocked and SIGPIPE ignored.
  ::setenv("SWITCHDESK_IP", "stale", 1);
  ::setenv("SWITCHDESK_TEXT", "stale", 1);
  ::setenv("SWITCHDESK_HOOK_TEST", "kept", 1);
  const int leaked = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 0);
  ASSERT_EQ(::dup2(leaked, 57), 57);
  sigset_t stop, previous;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &stop, &previous), 0);
  const auto old_pipe = ::signal(SIGPIPE, SIG_IGN);

  {
    const std::string hook = Script("record.sh",
        "n=$(cat \"$D/count\" 2>/dev/null || echo 0); n=$((n + 1)); echo $n > \"$D/count\"\n"
        "env | grep -E '^SWITCHDESK_(EVENT|IP|MAC|NAME|TEXT|TIME|HOOK_TEST)=' | sort > \"$D/env.$n\"\n"
        "i=$(readlink /proc/$$/fd/0); o=$(readlink /proc/$$/fd/1)\n"
        "{ echo \"$i\"; echo \"$o\"; [ -e /proc/$$/fd/57 ] && echo 57 open || echo 57 closed; } > \"$D/fds.$n\"\n"
        "exec grep -E '^Sig(Blk|Ign):' /proc/self/status > \"$D/signals.$n\"");
    EventHooks hooks(loop, hook, err);
    for (const WatchEvent& e : {not_alive, recovered, trap, stranger}) hooks.Add(MakeHookEvent(e, monitor));
    ASSERT_TRUE(RunUntilIdle(hooks, 4));
    EXPECT_EQ(hooks.Failures(), 0u) << err.str();
  }
  ::signal(SIGPIPE, old_pipe);
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ::close(57);
  ::close(leaked);
  ::unsetenv("SWITCHDESK_IP");
  ::unsetenv("SWITCHDESK_TEXT");
  ::unsetenv("SWITCHDESK_HOOK_TEST");

  char own_stderr[256] = {};
  ASSERT_GT(::readlink("/proc/self/fd/2", own_stderr, sizeof own_stderr - 1), 0);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    EXPECT_EQ(Lines(Read("env." + n)), expected[i]) << "run " << n;
    EXPECT_EQ(Lines(Read("fds." + n)), (std::vector<std::string>{"/dev/null", own_stderr, "57 closed"})) << "run " << n;
    // Of the ignored signals, glibc's posix_spawn leaves its two internal ones (32, 33) ignored;
    // a glibc program sets its own handlers for them at start. No standard signal stays ignored.
    const std::vector<std::string> signals = Lines(Read("signals." + n));
    ASSERT_EQ(signals.size(), 2u) << "run " << n;
    EXPECT_EQ(signals[0], "SigBlk:\t0000000000000000") << "run " << n;
    ASSERT_TRUE(signals[1].starts_with("SigIgn:\t")) << signals[1];
    EXPECT_EQ(std::stoull(signals[1].substr(8), nullptr, 16) & 0x7FFFFFFFull, 0u) << signals[1];
  }
  EXPECT_FALSE(std::filesystem::exists(File("x"))) << "a shell ran the trap's text";
  EXPECT_EQ(err.str(), "");
}

// One run at a time, in the events' order, while the loop goes on with its other work: a tick of
// the loop comes between the start and the end of the first run.
TEST_F(EventHooksTest, RunsOneAtATimeInOrderWithoutHoldingTheLoop) {
  const std::string hook = Script("order.sh",
      "echo \"start $SWITCHDESK_TEXT\" >> \"$D/log\"; sleep 0.3; echo \"end $SWITCHDESK_TEXT\" >> \"$D/log\"");
  EventHooks hooks(loop, hook, err);
  loop.Every(20ms, [&] { std::ofstream(File("log"), std::ios::app) << "tick\n"; });
  for (const char* text : {"1", "2", "3", "4"}) hooks.Add(Trap(text));
  EXPECT_TRUE(hooks.Running());
  EXPECT_EQ(hooks.Queued(), 3u);
  ASSERT_TRUE(RunUntilIdle(hooks, 4));

  const std::vector<std::string> log = Lines(Read("log"));
  std::vector<std::string> runs;
  std::copy_if(log.begin(), log.end(), std::back_inserter(runs), [](const std::string& l) { return l != "tick"; });
  EXPECT_EQ(runs, (std::vector<std::string>{"start 1", "end 1", "start 2", "end 2", "start 3", "end 3", "start 4",
                                            "end 4"}));
  const auto start = std::find(log.begin(), log.end(), "start 1");
  const auto end = std::find(log.begin(), log.end(), "end 1");
  EXPECT_NE(std::find(start, end, "tick"), end) << "the loop waited for the run";
  EXPECT_EQ(hooks.Queued(), 0u);
  EXPECT_EQ(hooks.Runs(), 4u);
  EXPECT_EQ(hooks.Failures() + hooks.TimedOut() + hooks.Dropped(), 0u);
}

// A run past its limit is ended with what it started, whether it heeds SIGTERM or not; the next
// event then runs.
TEST_F(EventHooksTest, ARunPastItsLimitIsEndedWithItsGroupAndTheNextOneRuns) {
  const std::pair<std::string, std::string> cases[] = {
      {"sleeps", ""},
      {"ignores SIGTERM", "trap '' TERM; "},
  };
  for (const auto& [name, prelude] : cases) {
    std::filesystem::remove(File("background"));
    std::filesystem::remove(File("log"));
    const std::string hook = Script("slow.sh",
        "if [ \"$SWITCHDESK_TEXT\" = slow ]; then " + prelude +
        "sleep 30 & echo $! > \"$D/background\"; wait; wait; fi\necho \"ran $SWITCHDESK_TEXT\" >> \"$D/log\"");
    std::ostringstream told;
    EventHooks hooks(loop, hook, told, EventHooks::Options{.timeout = 300ms, .kill_grace = 300ms});
    hooks.Add(Trap("slow"));
    hooks.Add(Trap("next"));
    const pid_t background = PidIn("background");
    ASSERT_TRUE(RunUntilIdle(hooks, 2)) << name;
    EXPECT_EQ(hooks.TimedOut(), 1u) << name;
    EXPECT_EQ(hooks.Failures(), 0u) << name;
    EXPECT_EQ(Read("log"), "ran next\n") << name;
    EXPECT_TRUE(GoneSoon(background)) << name << ": what the run started is still there";
    EXPECT_EQ(told.str(), "switchdesk-cli: --exec " + hook + " (trap 192.0.2.1): still running after 0.3 s, ended\n")
        << name;
  }
}

// A full queue drops what comes; the drops are counted and told in one line, then summed up.
TEST_F(EventHooksTest, EventsBeyondTheQueueAreDroppedAndCounted) {
  const std::string hook = Script("queue.sh", "sleep 0.1; echo \"$SWITCHDESK_TEXT\" >> \"$D/log\"");
  EventHooks hooks(loop, hook, err, EventHooks::Options{.queue_limit = 3, .report_interval = std::chrono::hours(1)});
  for (int i = 1; i <= 10; ++i) hooks.Add(Trap(std::to_string(i)));
  EXPECT_EQ(hooks.Queued(), 3u);
  EXPECT_EQ(hooks.Dropped(), 6u);
  EXPECT_EQ(Lines(err.str()),
            (std::vector<std::string>{"switchdesk-cli: --exec " + hook + ": 3 events wait already; events are dropped (trap "
                                      "192.0.2.1)"}));
  ASSERT_TRUE(RunUntilIdle(hooks, 4));
  EXPECT_EQ(Read("log"), "1\n2\n3\n4\n");
  hooks.Stop();
  EXPECT_EQ(Lines(err.str()).back(),
            "switchdesk-cli: --exec " + hook + ": since the last report, 5 events dropped (queue full)");
  EXPECT_EQ(hooks.Runs(), 4u);
  EXPECT_EQ(hooks.Dropped(), 6u);
}

// In a storm of traps, a verdict or a recovery takes the place of the oldest trap that waits;
// when only verdicts wait, the newest is dropped.
TEST_F(EventHooksTest, AVerdictInAFullQueueTakesThePlaceOfTheOldestTrap) {
  const std::string hook = Script("order.sh", "sleep 0.1; echo \"$SWITCHDESK_EVENT $SWITCHDESK_TEXT\" >> \"$D/log\"");
  EventHooks hooks(loop, hook, err, EventHooks::Options{.queue_limit = 3, .report_interval = std::chrono::hours(1)});
  HookEvent verdict = Trap("");
  verdict.event = "not-alive";
  HookEvent recovery = Trap("");
  recovery.event = "recovered";
  for (int i = 1; i <= 4; ++i) hooks.Add(Trap(std::to_string(i)));  // 1 runs, 2 to 4 wait
  hooks.Add(verdict);    // in place of 2
  hooks.Add(recovery);   // in place of 3
  hooks.Add(Trap("5"));  // dropped
  hooks.Add(verdict);    // in place of 4
  hooks.Add(verdict);    // nothing left to give way: dropped
  EXPECT_EQ(hooks.Dropped(), 5u);
  ASSERT_TRUE(RunUntilIdle(hooks, 4));
  EXPECT_EQ(Read("log"), "trap 1\nnot-alive \nrecovered \nnot-alive \n");
}

// A run that fails (a status, a signal) or cannot start is counted and told; a run of failures
// is told once, then summed up, not line by line.
TEST_F(EventHooksTest, FailedRunsAreCountedAndToldWithoutFlooding) {
  const std::string hook = Script("fail.sh",
      "case \"$SWITCHDESK_TEXT\" in status) exit 3 ;; signal) kill -KILL $$ ;; esac; exit 0");
  {
    EventHooks hooks(loop, hook, err, EventHooks::Options{.report_interval = 0ms});
    for (const char* text : {"status", "fine", "signal"}) hooks.Add(Trap(text));
    ASSERT_TRUE(RunUntilIdle(hooks, 3));
    EXPECT_EQ(hooks.Failures(), 2u);
    EXPECT_EQ(Lines(err.str()), (std::vector<std::string>{
                                    "switchdesk-cli: --exec " + hook + " (trap 192.0.2.1): exit status 3",
                                    "switchdesk-cli: --exec " + hook + " (trap 192.0.2.1): ended by signal 9 (Killed)",
                                }));
  }
  {
    std::ostringstream told;
    EventHooks hooks(loop, hook, told, EventHooks::Options{.report_interval = std::chrono::hours(1)});
    for (int i = 0; i < 5; ++i) hooks.Add(Trap("status"));
    ASSERT_TRUE(RunUntilIdle(hooks, 5));
    EXPECT_EQ(hooks.Failures(), 5u);
    hooks.Stop();
    EXPECT_EQ(Lines(told.str()), (std::vector<std::string>{
                                     "switchdesk-cli: --exec " + hook + " (trap 192.0.2.1): exit status 3",
                                     "switchdesk-cli: --exec " + hook + ": since the last report, 4 runs failed",
                                 }));
  }
  {
    std::ostringstream told;
    EventHooks hooks(loop, File("gone"), told);
    hooks.Add(Trap("any"));
    hooks.Add(Trap("other"));
    EXPECT_FALSE(hooks.Running());
    EXPECT_EQ(hooks.Runs(), 0u);
    EXPECT_EQ(hooks.Failures(), 2u);
    EXPECT_EQ(Lines(told.str()).front(),
              "switchdesk-cli: --exec " + File("gone") + " (trap 192.0.2.1): could not start (No such file or directory)");
  }
}

// A hook that leaves a child in the background, holding its output, ends when it exits: the next
// event runs, and the child is ended with it.
TEST_F(EventHooksTest, AChildLeftInTheBackgroundDoesNotHoldTheHooks) {
  const std::string hook = Script("background.sh",
      "sleep 30 & echo $! >> \"$D/background\"; echo \"left a child behind\"; exit 0");
  EventHooks hooks(loop, hook, err);
  hooks.Add(Trap("1"));
  hooks.Add(Trap("2"));
  ASSERT_TRUE(RunUntilIdle(hooks, 2, 10s));
  const std::vector<std::string> children = Lines(Read("background"));
  ASSERT_EQ(children.size(), 2u);
  for (const auto& child : children) EXPECT_TRUE(GoneSoon(std::atoi(child.c_str()))) << child;
  EXPECT_EQ(hooks.Failures() + hooks.TimedOut(), 0u);
}

// The watch's end: the running hook and what it started are ended and reaped at once, and the
// queued events are dropped.
TEST_F(EventHooksTest, StopEndsTheRunningHookAndDropsTheQueue) {
  const std::string hook = Script("stop.sh", "echo $$ > \"$D/leader\"; sleep 30 & echo $! > \"$D/background\"; wait");
  EventHooks hooks(loop, hook, err);
  for (const char* text : {"1", "2", "3"}) hooks.Add(Trap(text));
  const pid_t leader = PidIn("leader");
  const pid_t background = PidIn("background");
  hooks.Stop();
  EXPECT_FALSE(hooks.Running());
  EXPECT_EQ(hooks.Queued(), 0u);
  int status = 0;
  EXPECT_EQ(::waitpid(leader, &status, WNOHANG), -1) << "the hook was not reaped";
  EXPECT_EQ(errno, ECHILD);
  EXPECT_TRUE(GoneSoon(background));
  EXPECT_EQ(err.str(), "switchdesk-cli: --exec " + hook + ": 2 queued events not run (the watch stops)\n");
  hooks.Add(Trap("4"));
  EXPECT_EQ(hooks.Runs(), 1u);
}

}  // namespace
}  // namespace sd::cli
