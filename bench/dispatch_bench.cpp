// SPDX-License-Identifier: GPL-3.0-or-later
// Replies filed per second by the reply dispatcher, in the core alone: the device lists over
// in-memory list controls, datagrams as the switch simulator sends them, no sockets. The figure
// that matters is the first: 256 monitored switches answering their polls in turn.
#include <benchmark/benchmark.h>

#include <vector>

#include "net/reply_dispatcher.h"
#include "protocol/ipv4.h"
#include "support/main_dialog.h"
#include "tools/switchsim/simulator.h"

namespace sd {
namespace {

constexpr int kSwitches = 256;

sim::SimSwitch BenchSwitch(int i) {
  sim::SimSwitch s;
  s.ip = *TextToIpv4("198.18.0.0") + 10 + static_cast<std::uint32_t>(i);
  s.mac = {0x02, 0, 0, 0, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
  s.interface_version = 3;
  s.system_name = "switch-" + std::to_string(i);
  s.group_interval = 125;
  s.field_mask = std::array<std::uint32_t, 4>{0x2003FF, 0, 0, 0};
  return s;
}

struct Bench : test::MainDialogFixture {
  Bench() {
    for (int i = 0; i < kSwitches; ++i) switches.push_back(BenchSwitch(i));
  }
  // The device lists as a reply would leave them: every switch in the given list, with a row.
  void Monitor() {
    for (const auto& s : switches) Dispatch(s, sim::CMD_POLL_REPLY);  // files them as discovered
    std::vector<int> rows(kSwitches);
    for (int i = 0; i < kSwitches; ++i) rows[static_cast<std::size_t>(i)] = i;
    dlg.TransferToMonitorList(rows);
  }
  void Discover() {
    for (const auto& s : switches) Dispatch(s, CMD_DISCOVER_REPLY);
  }
  void Dispatch(const sim::SimSwitch& s, std::uint16_t command) {
    const auto d = sim::BuildReply(s, command, RESULT_OK, Settings.manager_id, 0, false);
    dispatcher.Dispatch(d, s.ip);
  }
  std::vector<std::vector<std::uint8_t>> Replies(std::uint16_t command, std::uint32_t manager_id) const {
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& s : switches) out.push_back(sim::BuildReply(s, command, RESULT_OK, manager_id, 0, false));
    return out;
  }

  std::vector<sim::SimSwitch> switches;
  ReplyDispatcher dispatcher{dlg.Lists(), messages, [](std::span<const std::uint8_t>) {}};
};

void Run(benchmark::State& state, Bench& b, const std::vector<std::vector<std::uint8_t>>& replies) {
  std::size_t i = 0;
  for (auto _ : state) {
    b.dispatcher.Dispatch(replies[i], b.switches[i].ip);
    i = (i + 1) % replies.size();
  }
  state.SetItemsProcessed(state.iterations());
  if (!b.messages.shown.empty()) state.SkipWithError("a message box was shown");
}

// Each of 256 monitored switches answers its poll in turn: found by address, merged, its row
// rebuilt.
void BM_PollReplyFrom256MonitoredSwitches(benchmark::State& state) {
  Bench b;
  b.Monitor();
  if (b.dlg.MonitorTable().Count() != kSwitches) state.SkipWithError("the Monitor List is not full");
  Run(state, b, b.Replies(sim::CMD_POLL_REPLY, Settings.manager_id));
}
BENCHMARK(BM_PollReplyFrom256MonitoredSwitches);

// Each of 256 discovered switches answers again (the group's answer after the broadcast's).
void BM_DiscoveryReplyFrom256DiscoveredSwitches(benchmark::State& state) {
  Bench b;
  b.Discover();
  if (b.dlg.DiscoveryTable().Count() != kSwitches) state.SkipWithError("the Discovery List is not full");
  Run(state, b, b.Replies(CMD_DISCOVER_REPLY, Settings.manager_id));
}
BENCHMARK(BM_DiscoveryReplyFrom256DiscoveredSwitches);

// A full discovery from empty lists: 256 new rows, then each switch's second answer.
void BM_DiscoveryOf256SwitchesFromEmptyLists(benchmark::State& state) {
  Bench b;
  const auto replies = b.Replies(CMD_DISCOVER_REPLY, Settings.manager_id);
  for (auto _ : state) {
    b.dlg.ClearDiscoveryList();
    for (int round = 0; round < 2; ++round) {
      for (std::size_t i = 0; i < replies.size(); ++i) b.dispatcher.Dispatch(replies[i], b.switches[i].ip);
    }
  }
  state.SetItemsProcessed(state.iterations() * 2 * kSwitches);
  if (b.dlg.DiscoveryTable().Count() != kSwitches) state.SkipWithError("the Discovery List is not full");
}
BENCHMARK(BM_DiscoveryOf256SwitchesFromEmptyLists)->Unit(benchmark::kMillisecond);

// Datagrams of another manager: dropped after the header check.
void BM_ForeignDatagramDropped(benchmark::State& state) {
  Bench b;
  b.Monitor();
  Run(state, b, b.Replies(sim::CMD_POLL_REPLY, ~Settings.manager_id));
}
BENCHMARK(BM_ForeignDatagramDropped);

}  // namespace
}  // namespace sd

BENCHMARK_MAIN();
