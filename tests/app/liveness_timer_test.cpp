// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/liveness_timer.h"

#include <gtest/gtest.h>

#include "settings/event_log.h"
#include "support/main_dialog.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

std::tm Noon() {
  std::tm t{};
  t.tm_year = 126;
  t.tm_mon = 11;
  t.tm_mday = 10;
  t.tm_hour = 12;
  return t;
}

class LivenessTimerTest : public ::testing::Test, protected test::MainDialogFixture {
 protected:
  void SetUp() override { SetLogClock(Noon); }
  void TearDown() override { SetLogClock({}); }

  // What the poll thread does for every monitored device once per refresh interval.
  void PollPass() {
    for (int i = 0; dlg.NotePollSentAndGetIp(i); ++i) {
    }
  }
  std::string Log() {
    const auto bytes = dir.Read("syslog.log");
    return {bytes.begin(), bytes.end()};
  }

  test::TempConfigDir dir;
  std::vector<std::uint32_t> resent;
  bool send_ok = true;
  LivenessTimer timer{dlg.Lists(), [this](std::uint32_t ip) { resent.push_back(ip); return send_ok; }, messages};
};

TEST_F(LivenessTimerTest, SilentDeviceIsResentTwiceThenDeclaredNotAlive) {
  AddMonitored(test::Switch("020000000010", "192.168.0.10"));  // answered 1, as loaded
  PollPass();  // the first unanswered poll only clears `answered`
  timer.OnLivenessTimer();
  EXPECT_TRUE(resent.empty());
  PollPass();  // second unanswered poll: missed 1
  timer.OnLivenessTimer();
  timer.OnLivenessTimer();
  EXPECT_EQ(resent, (std::vector<std::uint32_t>{0xC0A8000A, 0xC0A8000A}));
  EXPECT_EQ(Log(), "");
  timer.OnLivenessTimer();
  EXPECT_EQ(Log(), "12/10/2026 12:00:00 192.168.0.10 Not alive \r\n");
  const DeviceRecord e = dlg.MonitorTable().Entry(0);
  EXPECT_EQ(e.row_state, 2u);
  EXPECT_EQ(e.status_image, 1);
  EXPECT_EQ(monitor_list.Image(0), 1);
  timer.OnLivenessTimer();
  EXPECT_EQ(resent.size(), 2u) << "no resend to a device shown not alive";
  EXPECT_EQ(Log(), "12/10/2026 12:00:00 192.168.0.10 Not alive \r\n"
                   "12/10/2026 12:00:00 192.168.0.10 Not alive \r\n") << "logged at every tick";
}

TEST_F(LivenessTimerTest, TwoSilentDevicesGetTwoLinesAndANewDeviceWaitsForItsFirstPoll) {
  for (const char* ip : {"10.0.0.1", "10.0.0.2"}) {
    DeviceRecord r = test::Switch("", ip);
    r.answered = 0;
    r.missed_polls = 3;
    AddMonitored(r);
  }
  DeviceRecord added = test::Switch("", "10.0.0.3");
  added.answered = 0;  // added by address: never answered, never polled
  AddMonitored(added);
  timer.OnLivenessTimer();
  EXPECT_EQ(Log(), "12/10/2026 12:00:00 10.0.0.1 Not alive \r\n12/10/2026 12:00:00 10.0.0.2 Not alive \r\n");
  EXPECT_TRUE(resent.empty());
  EXPECT_EQ(dlg.MonitorTable().Entry(2).missed_polls, 0u);
}

TEST_F(LivenessTimerTest, FailedResendWarnsAndStillCounts) {
  DeviceRecord r = test::Switch("", "10.0.0.1");
  r.answered = 0;
  r.missed_polls = 1;
  AddMonitored(r);
  send_ok = false;
  timer.OnLivenessTimer();
  EXPECT_EQ(messages.shown, (std::vector<test::ShownMessage>{{"Resend failed.", "Warning", MessageIcon::Warning}}));
  EXPECT_EQ(dlg.MonitorTable().Entry(0).missed_polls, 2u);
}

// While the first "Resend failed." box is open, ticks that run inside its message loop fail
// again; they must not stack further boxes.
TEST_F(LivenessTimerTest, OneResendFailureBoxAtATime) {
  struct NestingMessages : IMessages {
    void ShowMessage(std::string_view text, std::string_view, MessageIcon) override {
      texts.emplace_back(text);
      if (nested_tick && texts.size() < 5) nested_tick();
    }
    std::function<void()> nested_tick;
    std::vector<std::string> texts;
  } nesting;
  for (const char* ip : {"10.0.0.1", "10.0.0.2"}) {
    DeviceRecord r = test::Switch("", ip);
    r.answered = 0;
    r.missed_polls = 1;
    AddMonitored(r);
  }
  LivenessTimer failing{dlg.Lists(), [](std::uint32_t) { return false; }, nesting};
  nesting.nested_tick = [&] { failing.OnLivenessTimer(); };
  failing.OnLivenessTimer();
  EXPECT_EQ(nesting.texts.size(), 2u) << "one box per outer failure, none nested";
}

}  // namespace
}  // namespace sd
