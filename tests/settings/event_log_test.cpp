// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/event_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/file_size_limit.h"
#include "support/recording_messages.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

// Installs a fixed clock for one test.
class FixedLogClock {
 public:
  explicit FixedLogClock(std::tm t) { SetLogClock([t] { return t; }); }
  ~FixedLogClock() { SetLogClock({}); }
};

TEST(LogTimestampTest, IsMonthDayYearAndTheTimeOfDay) {
  struct Case {
    std::tm time;
    const char* expected;
  };
  const Case cases[] = {
      {LocalTime(2007, 6, 1, 14, 3, 9), "06/01/2007 14:03:09"},
      {LocalTime(1999, 12, 31, 23, 59, 59), "12/31/1999 23:59:59"},
      {LocalTime(2026, 1, 2, 0, 0, 0), "01/02/2026 00:00:00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatLogTimestamp(c.time), c.expected);
    FixedLogClock clock(c.time);
    char buffer[kLogTimestampLength + 1];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_EQ(FormatLogTimestamp(buffer), 0);
    EXPECT_STREQ(buffer, c.expected);
  }
}

TEST(LogTimestampTest, UsesTheLocalClockByDefault) {
  char buffer[kLogTimestampLength + 1];
  FormatLogTimestamp(buffer);
  const std::tm now = SystemLocalTime();
  EXPECT_EQ(std::string(buffer).substr(6, 4), std::to_string(now.tm_year + 1900));
  EXPECT_EQ(std::string(buffer).size(), kLogTimestampLength);
}

TEST(EventLogLineTest, TrapAndNotAliveLinesAreByteExact) {
  EXPECT_EQ(TrapLogLine("06/01/2007 14:03:09", "192.168.0.10", "T"),
            "06/01/2007 14:03:09 192.168.0.10 Trap :T\r\n");
  EXPECT_EQ(TrapLogLine("06/01/2007 14:03:09", "192.168.0.10", ""),
            "06/01/2007 14:03:09 192.168.0.10 Trap :\r\n");
  const std::string long_text(1400, 'q');  // the log keeps a long text whole
  EXPECT_EQ(TrapLogLine("t", "a", long_text), "t a Trap :" + long_text + "\r\n");
  EXPECT_EQ(NotAliveLogLine("06/01/2007 14:03:09", "192.168.0.10"),
            "06/01/2007 14:03:09 192.168.0.10 Not alive \r\n");
}

class EventLogTest : public ::testing::Test {
 protected:
  std::string Contents() {
    const auto bytes = dir.Read("syslog.log");
    return {bytes.begin(), bytes.end()};
  }
  test::TempConfigDir dir;
  test::RecordingMessages messages;
};

TEST_F(EventLogTest, CreatesTheFileAndAppendsExactlyTheBytes) {
  EXPECT_EQ(EventLogPath(), dir.File("syslog.log"));
  EXPECT_EQ(AppendToEventLog("06/01/2007 14:03:09", messages), 0);
  EXPECT_EQ(Contents(), "06/01/2007 14:03:09");
  const std::uint8_t with_zero[] = {' ', 0, 'x', '\r', '\n'};
  EXPECT_EQ(AppendToEventLog(with_zero, messages), 0);
  EXPECT_EQ(Contents(), std::string("06/01/2007 14:03:09 \0x\r\n", 24));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(EventLogTest, AFileThatCannotBeOpenedIsReportedAndTheCallerGoesOn) {
  ::setenv("SWITCHDESK_CONFIG_DIR", (dir.Path() + "/missing-folder").c_str(), 1);
  EXPECT_EQ(AppendToEventLog("line\r\n", messages), -1);
  EXPECT_EQ(messages.shown, (std::vector<test::ShownMessage>{
                                {"Syslog.log does not exist.", "Error", MessageIcon::Error}}));
}

TEST_F(EventLogTest, AFullDiskTakesBackTheCutLineAndIsReportedOncePerRunOfFailures) {
  const std::string first = "06/01/2007 14:03:09 10.0.0.5 Not alive \r\n";
  const std::string second = "06/01/2007 14:03:10 10.0.0.6 Trap :Port 1 link up\r\n";
  ASSERT_EQ(AppendToEventLog(first, messages), 0);
  const test::ShownMessage full{"Syslog.log could not be written (File too large).\n"
                                "Events are not logged until it can be written again.",
                                "Error", MessageIcon::Error};
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    {
      // Room for 10 more bytes: each append writes part of its line before the disk is full.
      const test::FileSizeLimit disk(Contents().size() + 10);
      EXPECT_EQ(AppendToEventLog(second, messages), -1);
      EXPECT_EQ(AppendToEventLog(second, messages), -1);
    }
    EXPECT_EQ(Contents(), run == 0 ? first : first + second);
    EXPECT_EQ(messages.shown, std::vector<test::ShownMessage>{full});
    messages.shown.clear();
    EXPECT_EQ(AppendToEventLog(second, messages), 0);  // space again: the next append succeeds
    EXPECT_EQ(Contents(), run == 0 ? first + second : first + second + second);
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(EventLogTest, ClearLeavesAnEmptyFileThatLaterAppendsStartAgain) {
  for (bool existed : {true, false}) {
    SCOPED_TRACE(existed);
    std::filesystem::remove(dir.File("syslog.log"));
    if (existed) {
      ASSERT_EQ(AppendToEventLog("06/01/2007 14:03:09 10.0.0.5 Not alive \r\n", messages), 0);
    }
    ClearEventLog();
    ASSERT_TRUE(std::filesystem::exists(dir.File("syslog.log")));
    EXPECT_EQ(Contents(), "");
    EXPECT_EQ(AppendToEventLog("next\r\n", messages), 0);
    EXPECT_EQ(Contents(), "next\r\n");
  }
  EXPECT_TRUE(messages.shown.empty());
}

// On a limit of 100 bytes instead of 16 MiB: a line that would take syslog.log past it moves the
// whole file to syslog.log.1, which replaces the generation before, and starts a new file. No
// line is split or lost between the two, and "Clear log" empties both.
TEST_F(EventLogTest, ALogThatWouldPassTheLimitIsKeptAsTheOneOlderGeneration) {
  struct Limit {
    Limit() { SetEventLogRotationLimit(100); }
    ~Limit() { SetEventLogRotationLimit(0); }
  } limit;
  const auto old_log = [&] {
    const auto bytes = dir.Read("syslog.log.1");
    return std::string(bytes.begin(), bytes.end());
  };
  std::vector<std::string> lines;
  for (int i = 0; i < 7; ++i) lines.push_back("06/01/2007 14:03:0" + std::to_string(i) + " 10.0.0.5 Not alive \r\n");
  ASSERT_EQ(lines[0].size(), 41u);  // two lines fit in 100 bytes, a third does not
  for (const std::string& line : lines) ASSERT_EQ(AppendToEventLog(line, messages), 0);
  EXPECT_EQ(Contents(), lines[6]);
  EXPECT_EQ(old_log(), lines[4] + lines[5]) << "one older generation only";
  EXPECT_EQ(OldEventLogPath(), dir.File("syslog.log.1"));

  ClearEventLog();
  EXPECT_EQ(Contents(), "");
  EXPECT_FALSE(std::filesystem::exists(dir.File("syslog.log.1")));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(kEventLogRotationBytes, 16u * 1024 * 1024);
}

TEST_F(EventLogTest, ClearInAFolderThatCannotHoldTheFileChangesNothingAndSaysNothing) {
  ::setenv("SWITCHDESK_CONFIG_DIR", (dir.Path() + "/missing-folder").c_str(), 1);
  ClearEventLog();
  EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/missing-folder"));
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(EventLogTest, AppendsFromManyThreadsNeverCollide) {
  constexpr int kThreads = 4;
  constexpr int kLines = 400;
  std::vector<std::thread> writers;
  std::vector<test::RecordingMessages> thread_messages(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([t, &thread_messages] {
      for (int i = 0; i < kLines; ++i) {
        // Lines of different lengths, so a torn or interleaved write would show.
        const std::string line = "thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                                 std::string(static_cast<std::size_t>(i % 97), 'a' + static_cast<char>(t)) + "\r\n";
        AppendToEventLog(line, thread_messages[static_cast<std::size_t>(t)]);
      }
    });
  }
  for (auto& w : writers) w.join();
  for (const auto& m : thread_messages) EXPECT_TRUE(m.shown.empty());

  std::istringstream in(Contents());
  std::set<std::string> seen;
  std::string line;
  while (std::getline(in, line)) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(line.back(), '\r') << line;
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d", &t, &i), 2) << line;
    const std::string expected = "thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                                 std::string(static_cast<std::size_t>(i % 97), 'a' + static_cast<char>(t)) + "\r";
    ASSERT_EQ(line, expected);
    seen.insert(line);
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

}  // namespace
}  // namespace sd
