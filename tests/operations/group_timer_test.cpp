// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/group_timer_form.h"

#include <gtest/gtest.h>

#include "net/igmp.h"
#include "settings/settings_file.h"
#include "support/operations.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

using test::ShownMessage;

constexpr const char* kPlainSettings =
    "manager_id=01945AE0\r\nbase_port=C350\r\nmulticast_group=239.255.100.100\r\n"
    "multicast_interface_on_off=2\r\nmulticast_timer_flag=1\r\nstrlen_multi_timer=3\r\nmulticast_timer=125\r\n";

class GroupTimerTest : public ::testing::Test, protected test::OperationsFixture {
 protected:
  void SetUp() override {
    dir.Write("define.ecf", MakeSealedSettings(kPlainSettings));
    Settings.multicast_interface_on_off = 2;
    Settings.multicast_timer_flag = 1;
    Settings.multicast_timer = 125;
  }
  // The settings text as stored now (checked and unscrambled).
  std::string StoredText() const {
    const auto file = dir.Read("define.ecf");
    EXPECT_EQ(SettingsChecksum(file), 0xFF);
    std::string text;
    for (std::size_t i = 0; i + 2 < file.size(); ++i) text.push_back(static_cast<char>(UnscrambleByte(file[i])));
    return text;
  }
  static std::string Expected(const char* flag, const std::string& timer) {
    return "manager_id=01945AE0\r\nbase_port=C350\r\nmulticast_group=239.255.100.100\r\n"
           "multicast_interface_on_off=2\r\nmulticast_timer_flag=" +
           std::string(flag) + "\r\nstrlen_multi_timer=" + std::to_string(timer.size()) +
           "\r\nmulticast_timer=" + timer + "\r\n";
  }

  test::TempConfigDir dir;
};

TEST_F(GroupTimerTest, AnAcceptedIntervalIsWrittenAsTypedAndTakesEffectInMemory) {
  // {typed, written, flag, value}
  struct Case {
    const char* typed;
    const char* written;
    const char* flag;
    int value;
  };
  const Case cases[] = {
      {"300", "300", "1", 300}, {"120", "120", "1", 120},   {"1225", "1225", "1", 1225},
      {"0", "0", "0", 0},       {"", "", "0", 0},           {"0120", "0120", "1", 120},
      {"0000", "0000", "0", 0}, {"130\r\nxyz", "130", "1", 130},
  };
  for (const Case& c : cases) {
    GroupTimerForm form(sender, messages);
    Settings.multicast_interface_on_off = 2;
    EXPECT_TRUE(form.OnOk(c.typed)) << c.typed;
    EXPECT_TRUE(messages.shown.empty()) << c.typed << ": " << messages.shown[0].text;
    EXPECT_EQ(StoredText(), Expected(c.flag, c.written)) << c.typed;
    EXPECT_EQ(Settings.multicast_timer.load(), c.value);
    EXPECT_EQ(Settings.multicast_timer_flag.load(), c.value == 0 ? 0 : 1);
    EXPECT_EQ(Settings.multicast_interface_on_off, 1);  // in memory only: the file keeps its 2
  }
}

TEST_F(GroupTimerTest, RefusalsKeepTheDialogOpenAndChangeNothing) {
  const ShownMessage digits{"Group Interval only includes 0-9", "Error", MessageIcon::Error};
  const ShownMessage range{"Value of Group Interval must between 120~1225\n ", "Error", MessageIcon::Error};
  const std::pair<const char*, ShownMessage> cases[] = {
      {"12a", digits}, {"-1", digits}, {" 120", digits}, {"1 0", digits},
      {"119", range},  {"1", range},   {"1226", range},  {"9999", range},
      {"00120", range},  // longer than the field's four characters
  };
  const std::string before = StoredText();
  for (const auto& [typed, message] : cases) {
    messages.shown.clear();
    const int refreshes = sender.refreshes;
    GroupTimerForm form(sender, messages);
    EXPECT_FALSE(form.OnOk(typed)) << typed;
    EXPECT_EQ(messages.shown, std::vector{message}) << typed;
    // The membership refresh comes first, also for a refused value.
    EXPECT_EQ(sender.refreshes, refreshes + 1);
  }
  EXPECT_EQ(StoredText(), before);
  EXPECT_EQ(Settings.multicast_timer.load(), 125);
  EXPECT_EQ(Settings.multicast_timer_flag.load(), 1);
  EXPECT_EQ(Settings.multicast_interface_on_off, 2);
}

TEST_F(GroupTimerTest, TheDialogOpensOnTheCurrentInterval) {
  group_dialog.script = [](GroupTimerForm& form) {
    EXPECT_EQ(form.InitialText(), "125");
    EXPECT_TRUE(form.OnOk("0120"));
  };
  ops.OnGroupInterval();
  group_dialog.script = [](GroupTimerForm& form) { EXPECT_EQ(form.InitialText(), "120"); };
  ops.OnGroupInterval();
  EXPECT_EQ(group_dialog.runs, 2);
}

TEST_F(GroupTimerTest, AFileThatCannotBeRewrittenIsReportedAndTheIntervalStillChanges) {
  std::filesystem::remove(dir.File("define.ecf"));
  GroupTimerForm form(sender, messages);
  EXPECT_TRUE(form.OnOk("300"));
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"open file fail", "Switchdesk", MessageIcon::None}}));
  EXPECT_EQ(Settings.multicast_timer.load(), 300);
  EXPECT_EQ(Settings.multicast_timer_flag.load(), 1);
}

TEST_F(GroupTimerTest, TheReportThreadFollowsTheNewInterval) {
  IgmpReportSchedule schedule;
  auto tick = [&] { return schedule.Tick(Settings.multicast_timer_flag, Settings.multicast_timer); };
  for (int i = 0; i < 100; ++i) ASSERT_FALSE(tick());

  GroupTimerForm form(sender, messages);
  ASSERT_TRUE(form.OnOk("300"));
  std::vector<int> sent_at;
  for (int second = 1; second <= 900; ++second) {
    if (tick()) sent_at.push_back(second);
  }
  EXPECT_EQ(sent_at, (std::vector<int>{300, 600, 900}));

  ASSERT_TRUE(form.OnOk("0"));
  for (int second = 1; second <= 2000; ++second) ASSERT_FALSE(tick());
}

}  // namespace
}  // namespace sd
