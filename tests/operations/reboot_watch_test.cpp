// SPDX-License-Identifier: GPL-3.0-or-later
// The reboot watch on a fake clock: its probes, the Discovery List emptied before each one, the
// flag the dispatcher raises, and the verdicts.
#include "operations/reboot_watch.h"

#include <gtest/gtest.h>

#include "protocol/packet_header.h"
#include "support/fake_clock.h"
#include "support/firmware_fakes.h"
#include "support/main_dialog.h"

namespace sd {
namespace {

using test::Ms;
using test::ShownMessage;
using test::Switch;

const ShownMessage kSuccess{"Firmware upgrade successful.", "Information", MessageIcon::Information};
const ShownMessage kFailure{"Firmware upgrade failed.", "Information", MessageIcon::Warning};

class RebootWatchTest : public ::testing::Test, protected test::MainDialogFixture {
 protected:
  RebootWatchTest() {
    timers.SetHandler([this](int id) { watch.OnTimer(id); });
    watch.SetOnEnd([this](std::optional<RebootVerdict> v) { ends.push_back(v); });
  }

  // The discovery requests sent so far, each as "<how>@<ms>".
  std::vector<Ms> ProbeTimes() const {
    std::vector<Ms> out;
    for (const auto& s : network.sends) {
      if (s.how == "broadcast") out.push_back(s.at);
    }
    return out;
  }

  test::FakeClock clock;
  test::FakeTimers timers{clock};
  test::FakeUpgradeNetwork network{clock};
  test::FakeRebootSeen seen;
  int clears = 0;
  RebootWatch watch{network, seen, [this] {
                      ++clears;
                      dlg.ClearDiscoveryList();
                    },
                    messages, timers};
  std::vector<std::optional<RebootVerdict>> ends;
};

TEST_F(RebootWatchTest, ASwitchThatNeverAnswersGets110ProbesThenFailed) {
  watch.WatchReboot();
  clock.Advance(Ms(11999));
  EXPECT_TRUE(network.calls.empty());
  clock.Advance(Ms(200000));
  const auto probes = ProbeTimes();
  ASSERT_EQ(probes.size(), 110u);
  for (std::size_t k = 0; k < probes.size(); ++k) EXPECT_EQ(probes[k], Ms(12000 + 1000 * static_cast<long>(k)));
  EXPECT_EQ(network.calls.front().first, "enable");
  for (const auto& s : network.sends) {
    EXPECT_EQ(s.bytes.size(), kHeaderSize);
    EXPECT_EQ(ParseHeader(s.bytes)->command, CMD_DISCOVER);
  }
  EXPECT_EQ(network.sends.size(), 220u) << "each probe by broadcast and then to the group";
  EXPECT_EQ(clears, 110);
  EXPECT_EQ(seen.clears, 110);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{kFailure}));
  EXPECT_EQ(ends, (std::vector<std::optional<RebootVerdict>>{RebootVerdict::kNotBack}));
  EXPECT_EQ(timers.ticks.back().first, Ms(12000 + 110 * 1000)) << "the verdict a second after the last probe";
  EXPECT_FALSE(watch.Running());
}

TEST_F(RebootWatchTest, TheSwitchAnsweringAProbeEndsTheWatchWithSuccess) {
  // In the dispatcher's stead: the third probe is answered; the Discovery List fills again.
  network.on_send = [this](const test::FakeUpgradeNetwork::Send& s) {
    if (s.how != "multicast") return;
    AddDiscovered(Switch("0000000000aa", "192.168.0.20"));
    if (ProbeTimes().size() == 3) {
      AddDiscovered(Switch("001a2b3c4d5e", "192.168.0.10"));
      seen.seen = true;
    }
  };
  watch.WatchReboot();
  clock.Advance(Ms(60000));
  EXPECT_EQ(ProbeTimes(), (std::vector<Ms>{Ms(12000), Ms(13000), Ms(14000)}));
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{kSuccess}));
  EXPECT_EQ(watch.Verdict(), RebootVerdict::kBack);
  EXPECT_EQ(watch.ProbeCount(), 3);
  // The list holds what answered the last probe only.
  ASSERT_EQ(dlg.DiscoveryTable().Count(), 2);
  EXPECT_EQ(discovery_list.RowCount(), 2);
}

TEST_F(RebootWatchTest, AnAnswerFromBeforeAProbeDoesNotCount) {
  watch.WatchReboot();
  clock.Advance(Ms(11000));
  seen.seen = true;  // the switch answered a discovery before it rebooted
  clock.Advance(Ms(1500));
  EXPECT_FALSE(seen.seen);
  clock.Advance(Ms(10000));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(watch.Running());
}

TEST_F(RebootWatchTest, BroadcastThatCannotBeEnabledEndsWithoutAVerdict) {
  network.enable_ok = false;
  watch.WatchReboot();
  clock.Advance(Ms(200000));
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Set socketopt error", "Error", MessageIcon::Error}}));
  EXPECT_TRUE(network.sends.empty());
  EXPECT_EQ(clears, 0);
  EXPECT_EQ(ends, (std::vector<std::optional<RebootVerdict>>{std::nullopt}));
}

TEST_F(RebootWatchTest, AFailedProbeEndsWithoutAVerdictAndTheNextWatchCountsAfresh) {
  int multicasts = 0;
  network.on_send = [&](const test::FakeUpgradeNetwork::Send& s) {
    if (s.how == "multicast" && ++multicasts == 5) network.multicast_ok = false;
  };
  watch.WatchReboot();
  clock.Advance(Ms(200000));
  EXPECT_EQ(messages.shown,
            (std::vector<ShownMessage>{{"Please make sure your computer has an IP address.", "Error", MessageIcon::Error}}));
  EXPECT_EQ(watch.ProbeCount(), 6);
  EXPECT_EQ(watch.Verdict(), std::nullopt);

  network.multicast_ok = true;
  network.on_send = nullptr;
  network.sends.clear();
  messages.shown.clear();
  watch.WatchReboot();
  clock.Advance(Ms(200000));
  EXPECT_EQ(ProbeTimes().size(), 110u);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{kFailure}));
}

TEST_F(RebootWatchTest, ShorterTimingsForTheLab) {
  test::FakeTimers own{clock};
  RebootWatch quick(network, seen, [] {}, messages, own, RebootWatchSettings{Ms(100), Ms(50), 4});
  own.SetHandler([&](int id) { quick.OnTimer(id); });
  quick.WatchReboot();
  clock.Advance(Ms(1000));
  EXPECT_EQ(ProbeTimes(), (std::vector<Ms>{Ms(100), Ms(150), Ms(200), Ms(250)}));
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{kFailure}));
}

}  // namespace
}  // namespace sd
