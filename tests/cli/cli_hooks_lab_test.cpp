// SPDX-License-Identifier: GPL-3.0-or-later
// switchdesk-cli watch --exec end to end in the lab: the real program against the switch
// simulator, with hooks that are shell scripts. A hook sees a not-alive verdict, a recovery and a
// trap in its environment; a hook past its time limit is ended and the next event runs; a storm
// of traps fills the hooks' queue without delaying the verdict of a switch that falls silent, and
// the watch stops cleanly afterwards.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <regex>
#include <sstream>
#include <thread>

#include "settings/settings_file.h"
#include "support/child_process.h"
#include "support/json.h"
#include "support/lab.h"
#include "support/lab_settings.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kLabSettings = test::kLabDefineEcfText;

const std::vector<std::string> kSwitches = {
    "ip=198.18.0.10,mac=02:00:00:00:00:10,name=edge-1",
    "ip=198.18.0.11,mac=02:00:00:00:00:11,name=edge-2",
    "ip=198.18.0.12,mac=02:00:00:00:00:12,name=core",
    "ip=198.18.0.13,mac=02:00:00:00:00:13,name=spare",
};

// The first poll goes out when the watch starts (an entry of monitor.cfg counts as answered, so
// missing it counts nothing) and the second one a refresh time (15 s) later; a switch silent
// since the start misses that one, then two resends of the liveness timer, and the third tick
// after it declares it not alive: at most 15 s + 3 ticks of 5 s after the start.
constexpr auto kVerdictAfterStart = 30s;
// What a watch that is not busy may be late by: its start-up and the timers' rounding.
constexpr auto kVerdictSlack = 3s;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class CliHooksLabTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(test::RequireLab());
    if (IsSkipped()) return;
    dir.Write("define.ecf", MakeSealedSettings(kLabSettings));
    ASSERT_TRUE(test::StartLabSimulator(sim, kSwitches));
  }
  void TearDown() override { sim.Stop(); }

  void Monitor(std::initializer_list<const char*> ips) {
    for (const char* ip : ips) {
      const test::ProgramResult add = test::RunProgram({SWITCHDESK_CLI_PATH, "monitor", "add", ip});
      ASSERT_EQ(add.status, 0) << add.err;
    }
  }
  // An executable /bin/sh script in the settings folder; "$D" in it is that folder.
  std::string Hook(const std::string& name, const std::string& body) {
    const std::string path = dir.File(name);
    std::ofstream(path) << "#!/bin/sh\nD='" << dir.Path() << "'\n" << body << "\n";
    ::chmod(path.c_str(), 0755);
    return path;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir.File(name));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // The watch with `args`, its standard error going to the file "err" of the folder.
  bool StartWatch(test::ChildProcess& watch, std::vector<std::string> args) {
    std::vector<std::string> argv = {"/bin/sh", "-c", "f=$1; shift; exec \"$@\" 2>>\"$f\"", "sh", dir.File("err"),
                                     SWITCHDESK_CLI_PATH, "watch"};
    argv.insert(argv.end(), args.begin(), args.end());
    return watch.Start(argv);
  }
  // Until each of `ips` has had its first poll, and a moment for the answers to be taken in.
  bool FirstPollsAnswered(const std::vector<std::string>& ips) {
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
      const std::vector<std::string> answer = sim.Command("polls");
      std::size_t polled = 0;
      for (const auto& ip : ips) {
        for (const auto& line : answer) polled += line.rfind("polls " + ip + " ", 0) == 0 && !line.ends_with(" 0");
      }
      if (polled == ips.size()) {
        std::this_thread::sleep_for(500ms);
        return true;
      }
      std::this_thread::sleep_for(100ms);
    }
    return false;
  }
  // The watch's next output line that matches `pattern`; the others are collected in `skipped`.
  // `meanwhile` runs between reads.
  std::optional<std::string> NextLine(test::ChildProcess& watch, const std::regex& pattern, std::chrono::seconds limit,
                                      std::vector<std::string>& skipped, const std::function<void()>& meanwhile = {}) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      if (meanwhile) meanwhile();
      const auto line = watch.ReadLine(100ms);
      if (!line) continue;
      if (std::regex_match(*line, pattern)) return line;
      skipped.push_back(*line);
    }
    return std::nullopt;
  }
  // The file `name` once it holds a whole line.
  std::string WaitForFile(const std::string& name) {
    const auto deadline = Clock::now() + 10s;
    while (!Read(name).ends_with('\n') && Clock::now() < deadline) std::this_thread::sleep_for(20ms);
    return Read(name);
  }

  test::TempConfigDir dir;
  test::ChildProcess sim;
};

TEST_F(CliHooksLabTest, AHookSeesAVerdictARecoveryAndATrapInItsEnvironment) {
  ASSERT_NO_FATAL_FAILURE(Monitor({"198.18.0.10", "198.18.0.11", "198.18.0.12"}));
  // Each event's variables in a file of its own, named by the event and the address; a line on
  // the hook's standard output, which must not mix with the watch's.
  const std::string hook = Hook("record.sh",
      "f=\"$D/$SWITCHDESK_EVENT.$SWITCHDESK_IP\"\n"
      "env | grep -E '^SWITCHDESK_(EVENT|IP|MAC|NAME|TEXT|TIME)=' | sort > \"$f.part\"\n"
      "mv \"$f.part\" \"$f\"\n"
      "echo \"hook saw $SWITCHDESK_EVENT\"");
  test::ChildProcess watch;
  ASSERT_TRUE(StartWatch(watch, {"--json", "--exec", hook}));
  ASSERT_TRUE(FirstPollsAnswered({"198.18.0.10", "198.18.0.11", "198.18.0.12"}));
  ASSERT_EQ(sim.Command("silence 198.18.0.12"), (std::vector<std::string>{"ok"}));
  ASSERT_EQ(sim.Command("trap 198.18.0.11 Port 2 link down"), (std::vector<std::string>{"ok"}));

  std::vector<std::string> other;
  const auto trap = NextLine(watch, std::regex(R"(\{"event": "trap".*)"), 10s, other);
  ASSERT_TRUE(trap) << "no trap";
  const auto verdict = NextLine(watch, std::regex(R"(\{"event": "not alive".*)"), 60s, other);
  ASSERT_TRUE(verdict) << "no verdict";
  ASSERT_EQ(sim.Command("resume 198.18.0.12"), (std::vector<std::string>{"ok"}));
  const auto recovered = NextLine(watch, std::regex(R"(\{"event": "recovered".*)"), 30s, other);
  ASSERT_TRUE(recovered) << "no recovery";
  EXPECT_TRUE(other.empty()) << other.front();

  const auto time_of = [](const std::string& line) { return test::ParseJson(line)->Text("time"); };
  EXPECT_EQ(Lines(WaitForFile("trap.198.18.0.11")),
            (std::vector<std::string>{"SWITCHDESK_EVENT=trap", "SWITCHDESK_IP=198.18.0.11", "SWITCHDESK_MAC=020000000011",
                                      "SWITCHDESK_NAME=edge-2", "SWITCHDESK_TEXT=Port 2 link down",
                                      "SWITCHDESK_TIME=" + time_of(*trap)}));
  EXPECT_EQ(Lines(WaitForFile("not-alive.198.18.0.12")),
            (std::vector<std::string>{"SWITCHDESK_EVENT=not-alive", "SWITCHDESK_IP=198.18.0.12",
                                      "SWITCHDESK_MAC=020000000012", "SWITCHDESK_NAME=core", "SWITCHDESK_TEXT=",
                                      "SWITCHDESK_TIME=" + time_of(*verdict)}));
  EXPECT_EQ(Lines(WaitForFile("recovered.198.18.0.12")),
            (std::vector<std::string>{"SWITCHDESK_EVENT=recovered", "SWITCHDESK_IP=198.18.0.12",
                                      "SWITCHDESK_MAC=020000000012", "SWITCHDESK_NAME=core", "SWITCHDESK_TEXT=",
                                      "SWITCHDESK_TIME=" + time_of(*recovered)}));

  ASSERT_TRUE(watch.Signal(SIGTERM));
  EXPECT_EQ(watch.ReadLine(10s), std::nullopt) << "the hook's output reached the watch's";
  EXPECT_EQ(watch.Stop(10s), 0);
  const std::string err = Read("err");
  for (const char* event : {"trap", "not-alive", "recovered"}) {
    EXPECT_NE(err.find(std::string("hook saw ") + event + "\n"), std::string::npos) << err;
  }
  EXPECT_TRUE(err.ends_with("Stopped by SIGTERM.\n")) << err;
}

TEST_F(CliHooksLabTest, AHookPastItsLimitIsEndedAndTheNextEventStillRuns) {
  ASSERT_NO_FATAL_FAILURE(Monitor({"198.18.0.13"}));
  const std::string hook = Hook("slow.sh",
      "if [ \"$SWITCHDESK_TEXT\" = hang ]; then echo $$ > \"$D/hung\"; sleep 60; fi\n"
      "echo \"$SWITCHDESK_TEXT\" >> \"$D/ran\"");
  test::ChildProcess watch;
  ASSERT_TRUE(StartWatch(watch, {"--refresh", "5m", "--exec", hook, "--exec-timeout", "1"}));
  ASSERT_TRUE(FirstPollsAnswered({"198.18.0.13"}));
  ASSERT_EQ(sim.Command("trap 198.18.0.13 hang"), (std::vector<std::string>{"ok"}));
  ASSERT_EQ(sim.Command("trap 198.18.0.13 after"), (std::vector<std::string>{"ok"}));
  EXPECT_EQ(WaitForFile("ran"), "after\n");
  const pid_t hung = std::atoi(Read("hung").c_str());
  ASSERT_GT(hung, 0);
  EXPECT_NE(::kill(hung, 0), 0) << "the hook past its limit is still there";
  EXPECT_NE(Read("err").find("switchdesk-cli: --exec " + hook + " (trap 198.18.0.13): still running after 1 s, ended\n"),
            std::string::npos)
      << Read("err");

  ASSERT_TRUE(watch.Signal(SIGTERM));
  EXPECT_EQ(watch.Stop(10s), 0);
}

// 2 000 traps while another switch falls silent: the hooks' queue overflows (the drops are told),
// the verdict comes when the liveness timer gives it without a storm, and SIGTERM still stops the
// watch at once, hook running or not.
TEST_F(CliHooksLabTest, ATrapStormFillsTheQueueWithoutDelayingAVerdict) {
  ASSERT_NO_FATAL_FAILURE(Monitor({"198.18.0.10", "198.18.0.11"}));
  const std::string hook = Hook("busy.sh", "sleep 0.05");
  // Silent from the start, so that the verdict comes when kVerdictAfterStart says.
  ASSERT_EQ(sim.Command("silence 198.18.0.11"), (std::vector<std::string>{"ok"}));
  test::ChildProcess watch;
  const auto started = Clock::now();
  ASSERT_TRUE(StartWatch(watch, {"--exec", hook}));
  ASSERT_TRUE(FirstPollsAnswered({"198.18.0.10"}));

  // Four bursts of 500 traps while the liveness timer works towards the verdict: around the
  // second poll, the resends and the verdict's tick.
  const std::vector<std::chrono::seconds> bursts = {14s, 18s, 22s, 26s};
  std::size_t sent = 0;
  const auto storm = [&] {
    while (sent < bursts.size() && Clock::now() - started >= bursts[sent]) {
      ASSERT_TRUE(sim.WriteLine("traps 500 198.18.0.10 storm %n"));
      ++sent;
    }
  };
  std::vector<std::string> other;
  const auto verdict = NextLine(watch, std::regex(R"(.* 198\.18\.0\.11 Not alive)"), 45s, other, storm);
  const auto latency = Clock::now() - started;
  ASSERT_TRUE(verdict) << "no verdict";
  std::cout << "verdict after " << std::chrono::duration_cast<std::chrono::milliseconds>(latency).count()
            << " ms, " << other.size() << " trap lines before it, " << sent << " bursts sent\n";
  EXPECT_LE(latency, kVerdictAfterStart + kVerdictSlack);
  EXPECT_GE(sent, 3u) << "the verdict came before the storm";
  EXPECT_GT(other.size(), 300u) << "too few traps came to fill the queue";
  for (const auto& line : other) ASSERT_NE(line.find(" 198.18.0.10 Trap :storm "), std::string::npos) << line;
  // The rest of the storm, still printed.
  while (sent < bursts.size()) {
    storm();
    std::this_thread::sleep_for(100ms);
  }
  while (watch.ReadLine(1s)) {
  }
  EXPECT_NE(Read("err").find("256 events wait already; events are dropped"), std::string::npos) << Read("err");

  ASSERT_TRUE(watch.Signal(SIGTERM));
  const auto stopping = Clock::now();
  EXPECT_EQ(watch.Stop(10s), 0);
  EXPECT_LT(Clock::now() - stopping, 5s);
  EXPECT_TRUE(Read("err").ends_with("Stopped by SIGTERM.\n")) << Read("err");
}

}  // namespace
}  // namespace sd
