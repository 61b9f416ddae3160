// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/igmp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "protocol/ipv4.h"

namespace sd {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(InternetChecksumTest, MatchesTheWorkedExamples) {
  // The example of RFC 1071 section 3: the sum is ddf2, its complement 220d.
  EXPECT_EQ(InternetChecksum(Bytes{0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7}), 0x220d);
  // An odd last byte counts as the high byte of a word.
  EXPECT_EQ(InternetChecksum(Bytes{0x12}), static_cast<std::uint16_t>(~0x1200));
  EXPECT_EQ(InternetChecksum(Bytes{}), 0xFFFF);
  // Carries fold back in: ffff + 0001 = 0001 after the fold.
  EXPECT_EQ(InternetChecksum(Bytes{0xff, 0xff, 0x00, 0x01}), 0xFFFE);
}

TEST(IgmpReportTest, IsTheEightByteVersionOneReport) {
  struct Case {
    const char* group;
    Bytes expected;
  };
  const Case cases[] = {
      {"224.1.2.3", {0x12, 0x00, 0x0b, 0xfb, 0xe0, 0x01, 0x02, 0x03}},
      {"239.255.100.100", {0x12, 0x00, 0x99, 0x9b, 0xef, 0xff, 0x64, 0x64}},
      {"224.0.0.1", {0x12, 0x00, 0x0d, 0xfe, 0xe0, 0x00, 0x00, 0x01}},
  };
  for (const auto& c : cases) {
    const auto report = BuildIgmpReport(*TextToIpv4(c.group));
    EXPECT_EQ(Bytes(report.begin(), report.end()), c.expected) << c.group;
    EXPECT_EQ(InternetChecksum(report), 0) << c.group;  // a valid checksum sums to zero
  }
}

// An IPv4 packet carrying `message`, with `option_words` words of IP options.
Bytes IpPacket(const Bytes& message, std::uint8_t protocol = 2, int option_words = 0) {
  const std::size_t header = 20 + 4 * static_cast<std::size_t>(option_words);
  Bytes p(header, 0);
  p[0] = static_cast<std::uint8_t>(0x40 | (header / 4));
  p[9] = protocol;
  p[12] = 198; p[13] = 18; p[14] = 0; p[15] = 1;     // source
  p[16] = 239; p[17] = 255; p[18] = 100; p[19] = 100;  // destination
  p.insert(p.end(), message.begin(), message.end());
  return p;
}

TEST(IgmpPacketTest, FindsTheReportBehindTheIpHeader) {
  const auto report = BuildIgmpReport(0xEFFF6464);
  const Bytes message(report.begin(), report.end());
  for (int options : {0, 1}) {  // routers' alert option makes the header 24 bytes
    const auto parsed = ParseIgmpPacket(IpPacket(message, 2, options));
    ASSERT_TRUE(parsed) << options;
    EXPECT_EQ(parsed->type, IGMP_V1_REPORT);
    EXPECT_EQ(parsed->group, 0xEFFF6464u);
    EXPECT_EQ(parsed->source, 0xC6120001u);
    EXPECT_TRUE(parsed->checksum_ok);
  }
  Bytes damaged = message;
  damaged[7] ^= 1;
  EXPECT_FALSE(ParseIgmpPacket(IpPacket(damaged))->checksum_ok);
}

TEST(IgmpPacketTest, RefusesWhatIsNotAnIgmpPacket) {
  const auto report = BuildIgmpReport(0xE0010203);
  const Bytes message(report.begin(), report.end());
  Bytes v6 = IpPacket(message);
  v6[0] = 0x65;
  Bytes short_ihl = IpPacket(message);
  short_ihl[0] = 0x44;
  Bytes long_ihl = IpPacket(message);  // says 60 header bytes; the packet has 28
  long_ihl[0] = 0x4F;
  const Bytes whole = IpPacket(message);
  const Bytes cases[] = {
      {},
      IpPacket(message, 17),                                   // UDP
      v6,                                                      // not version 4
      short_ihl,                                               // header length below 20
      IpPacket(Bytes(message.begin(), message.begin() + 7)),   // message cut short
      Bytes(whole.begin(), whole.begin() + 12),                // IP header cut short
      long_ihl,                                                // options beyond the packet
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_FALSE(ParseIgmpPacket(cases[i])) << i;
}

// The passes at which the schedule sends, for a run of (flag, interval) readings.
struct Pass {
  int flag;
  int interval;
};
std::vector<int> SendingPasses(const std::vector<Pass>& passes) {
  IgmpReportSchedule schedule;
  std::vector<int> sent;
  for (std::size_t i = 0; i < passes.size(); ++i) {
    if (schedule.Tick(passes[i].flag, passes[i].interval)) sent.push_back(static_cast<int>(i) + 1);
  }
  return sent;
}
std::vector<Pass> Repeat(int count, Pass p) { return std::vector<Pass>(static_cast<std::size_t>(count), p); }
std::vector<Pass> Then(std::vector<Pass> a, const std::vector<Pass>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(IgmpReportScheduleTest, SendsEveryIntervalWhileTheFlagIsOn) {
  struct Case {
    const char* name;
    std::vector<Pass> passes;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {"every 125 s", Repeat(400, {1, 125}), {125, 250, 375}},
      {"flag off sends nothing", Repeat(400, {0, 125}), {}},
      {"interval 0 never sends", Repeat(400, {1, 0}), {}},
      {"negative interval never sends", Repeat(50, {1, -5}), {}},
      {"the count starts when the flag is first seen on", Then(Repeat(10, {0, 3}), Repeat(7, {1, 3})),
       {13, 16}},
      // The change is seen at pass 101: the count restarts and the report leaves 130 s later.
      {"a new interval restarts the count", Then(Repeat(100, {1, 125}), Repeat(300, {1, 130})),
       {230, 360}},
      // Switching the flag off pauses the count; it is not reset while the interval stays.
      {"the flag pauses the count", Then(Then(Repeat(3, {1, 5}), Repeat(10, {0, 5})), Repeat(6, {1, 5})),
       {15}},
      // Off with another interval, then on again: the change restarts the count.
      {"a change while off is seen when on",
       Then(Then(Repeat(3, {1, 5}), Repeat(2, {0, 9})), Repeat(10, {1, 9})), {14}},
  };
  for (const auto& c : cases) EXPECT_EQ(SendingPasses(c.passes), c.expected) << c.name;
}

TEST(IgmpReportScheduleTest, ComparesWithTheIntervalReadAfterTheWait) {
  IgmpReportSchedule schedule;
  EXPECT_FALSE(schedule.Tick(1, 3));
  EXPECT_FALSE(schedule.Tick(1, 3));
  // The interval becomes 4 during the third wait: count 3 is not 4, so nothing is sent...
  ASSERT_TRUE(schedule.BeginPass(1, 3));
  EXPECT_FALSE(schedule.EndPass(4));
  // ...and the next pass sees the change and restarts the count.
  EXPECT_FALSE(schedule.Tick(1, 4));
  EXPECT_EQ(schedule.Counter(), 1);
  // A shorter interval read after the wait is met at once.
  ASSERT_TRUE(schedule.BeginPass(1, 4));
  EXPECT_TRUE(schedule.EndPass(2));
}

class RecordingSend {
 public:
  IgmpReportSend Function() {
    return [this](std::span<const std::uint8_t, kIgmpReportSize> report) {
      std::lock_guard lock(mutex_);
      reports_.emplace_back(report.begin(), report.end());
    };
  }
  std::vector<Bytes> Reports() {
    std::lock_guard lock(mutex_);
    return reports_;
  }

 private:
  std::mutex mutex_;
  std::vector<Bytes> reports_;
};

TEST(IgmpReportThreadTest, SendsTheGroupsReportAndFollowsTheFlag) {
  std::atomic<int> flag{1};
  std::atomic<int> interval{2};
  RecordingSend sent;
  {
    IgmpReportThread thread(0xE0010203, flag, interval, sent.Function(), std::chrono::milliseconds(1));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (sent.Reports().size() < 3 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    flag = 0;
  }
  const auto reports = sent.Reports();
  ASSERT_GE(reports.size(), 3u);
  for (const auto& r : reports) EXPECT_EQ(r, (Bytes{0x12, 0x00, 0x0b, 0xfb, 0xe0, 0x01, 0x02, 0x03}));
}

TEST(IgmpReportThreadTest, AStopEndsAWaitAtOnce) {
  std::atomic<int> flag{1};
  std::atomic<int> interval{1};
  RecordingSend sent;
  const auto start = std::chrono::steady_clock::now();
  {
    IgmpReportThread thread(0xE0010203, flag, interval, sent.Function(), std::chrono::hours(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }  // stopped and joined here
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(sent.Reports().empty());
}

}  // namespace
}  // namespace sd
