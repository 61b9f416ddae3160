// The whole manager core over real sockets in the lab: discovery fills the Discovery List, the
// devices move to the Monitor List, the poll thread and the liveness timer find the one switch
// that went silent, and a trap is logged and stored.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "app/network_engine.h"
#include "net/event_loop.h"
#include "settings/event_log.h"
#include "support/lab.h"
#include "support/main_dialog.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

const std::vector<std::string> kSwitches = {
    "ip=198.18.0.10,mac=02:00:00:00:00:10,iface=1,name=edge-1,dhcp=on",
    "ip=198.18.0.11,mac=02:00:00:00:00:11,iface=2,name=edge-2,interval=125",
    "ip=198.18.0.12,mac=02:00:00:00:00:12,iface=3,name=core",
    "ip=198.18.0.13,mac=02:00:00:00:00:13,iface=2,name=spare",
};

struct NoIndicator : ITrapIndicator {
  void ShowTrapArrived(bool arrived) override { lit = arrived; }
  bool lit = false;
};

class LabEngineTest : public ::testing::Test, protected test::MainDialogFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(test::RequireLab());
    if (IsSkipped()) return;
    test::ApplyLabSettings();
    ASSERT_TRUE(test::StartLabSimulator(sim, kSwitches));
    engine = std::make_unique<NetworkEngine>(dlg, messages, indicator, loop, traps);
    ASSERT_TRUE(engine->CreateSocketSet());
    for (const auto& w : engine->SocketWatches()) {
      loop.WatchReadable(w.fd, [this, s = w.socket] { engine->ReceiveDatagram(*s); });
    }
  }
  void TearDown() override {
    loop.UnwatchAll();
    engine.reset();
    sim.Stop();
  }
  std::string Log() {
    const auto bytes = dir.Read("syslog.log");
    return {bytes.begin(), bytes.end()};
  }

  test::TempConfigDir dir;
  test::ChildProcess sim;
  EventLoop loop;
  TrapStore traps;
  NoIndicator indicator;
  std::unique_ptr<NetworkEngine> engine;
};

TEST_F(LabEngineTest, DiscoverMonitorAndDeclareTheSilentSwitchNotAlive) {
  engine->OnDiscover();
  ASSERT_TRUE(loop.RunUntil([&] { return dlg.DiscoveryTable().Count() == 4; }, std::chrono::seconds(5)));
  loop.RunFor(std::chrono::milliseconds(300));  // the group's replies update the same rows
  EXPECT_EQ(dlg.DiscoveryTable().Count(), 4);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(discovery_list.Text(dlg.FindDiscoveryRowByMac("020000000012"), 4), "core");

  dlg.TransferToMonitorList({0, 1, 2, 3});
  ASSERT_EQ(dlg.MonitorTable().Count(), 4);
  ASSERT_EQ(dlg.DiscoveryTable().Count(), 0);

  ASSERT_TRUE(sim.WriteLine("silence 198.18.0.12"));
  engine->StartPollThread();
  // The verdict counts requests, not seconds: a faster tick than the window's 5 s only shortens
  // the test.
  loop.Every(std::chrono::seconds(1), [&] { engine->OnLivenessTimer(); });
  ASSERT_TRUE(loop.RunUntil([&] { return Log().find("Not alive") != std::string::npos; }, std::chrono::seconds(40)))
      << "no verdict";
  EXPECT_NE(Log().find(" 198.18.0.12 Not alive \r\n"), std::string::npos) << Log();
  for (int i = 0; i < 4; ++i) {
    const DeviceRecord e = dlg.MonitorTable().Entry(i);
    const bool silent = GetText(e.ip_text) == "198.18.0.12";
    EXPECT_EQ(e.status_image, silent ? 1 : -1) << GetText(e.ip_text);
    EXPECT_EQ(e.row_state, silent ? 2u : 1u) << GetText(e.ip_text);
  }

  ASSERT_TRUE(sim.WriteLine("trap 198.18.0.11 Port 2 link down"));
  ASSERT_TRUE(loop.RunUntil([&] { return traps.trap_count() == 1; }, std::chrono::seconds(5)));
  EXPECT_NE(Log().find(" 198.18.0.11 Trap :Port 2 link down\r\n"), std::string::npos);
  EXPECT_TRUE(indicator.lit);
  EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text;
}

}  // namespace
}  // namespace sd
