// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The manager core over real sockets in the lab: a main dialog over in-memory lists, the network
// engine with its sockets watched by an event loop, a settings folder of its own and the switch
// simulator in the switch namespace, steered by control lines. For tests run by
// tools/lab/lab.sh run; outside the lab they skip (or fail under SWITCHDESK_REQUIRE_LAB).

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/network_engine.h"
#include "net/event_loop.h"
#include "settings/event_log.h"
#include "settings/trap_store.h"
#include "support/lab.h"
#include "support/main_dialog.h"
#include "support/temp_dir.h"

namespace sd::test {

struct RecordingIndicator : ITrapIndicator {
  void ShowTrapArrived(bool arrived) override { lit = arrived; }
  bool lit = false;
};

class LabEngineTest : public ::testing::Test, protected MainDialogFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(RequireLab());
    if (IsSkipped()) return;
    ApplyLabSettings();
  }
  void TearDown() override {
    loop.UnwatchAll();
    engine.reset();
    sim.Stop();
    SetLogClock({});
  }

  // Starts the simulator with these switches, then the engine with its three sockets watched.
  // Use with ASSERT_NO_FATAL_FAILURE.
  void StartLab(const std::vector<std::string>& switches, const std::vector<std::string>& sim_options = {}) {
    ASSERT_TRUE(StartLabSimulator(sim, switches, sim_options)) << "the simulator did not start";
    engine = std::make_unique<NetworkEngine>(dlg.Lists(), messages, indicator, loop, traps);
    ASSERT_TRUE(engine->CreateSocketSet());
    ASSERT_TRUE(messages.shown.empty()) << messages.shown[0].text;
    for (const auto& w : engine->SocketWatches()) {
      loop.WatchReadable(w.fd, [this, s = w.socket] { engine->ReceiveDatagram(*s); });
    }
  }

  // "Discover", then the loop runs until `rows` Discovery List rows exist and a little longer,
  // so that the group's replies (which update the same rows) are in as well.
  bool DiscoverRows(int rows, std::chrono::milliseconds wait = std::chrono::seconds(5)) {
    engine->OnDiscover();
    const bool filled =
        loop.RunUntil([&] { return !engine->DiscoveryPending() && discovery_list.RowCount() >= rows; }, wait);
    loop.RunFor(std::chrono::milliseconds(300));
    return filled;
  }

  // One control line to the simulator; true when it answered "ok".
  bool Sim(const std::string& line) {
    const auto answer = sim.Command(line);
    return !answer.empty() && answer.back() == "ok";
  }

  std::string Log() const {
    const auto bytes = dir.Read("syslog.log");
    return {bytes.begin(), bytes.end()};
  }

  // The texts of one row of a list control, column by column.
  static std::vector<std::string> RowTexts(const IListControl& list, int row) {
    std::vector<std::string> texts;
    for (int c = 0; c < list.ColumnCount(); ++c) texts.push_back(list.Text(row, c));
    return texts;
  }

  // Pins the event log's clock to 1 June 2007, 14:03:09.
  static void FixLogClock() {
    SetLogClock([] {
      std::tm t{};
      t.tm_year = 2007 - 1900;
      t.tm_mon = 5;
      t.tm_mday = 1;
      t.tm_hour = 14;
      t.tm_min = 3;
      t.tm_sec = 9;
      return t;
    });
  }
  static constexpr const char* kFixedTimestamp = "06/01/2007 14:03:09";

  TempConfigDir dir;
  ChildProcess sim;
  EventLoop loop;
  TrapStore traps;
  RecordingIndicator indicator;
  std::unique_ptr<NetworkEngine> engine;
};

}  // namespace sd::test
