// SPDX-License-Identifier: GPL-3.0-or-later
// The watch's figures and their exposition: counts follow the Monitor List, a switch's state
// follows its entry, and label values cannot break the format.
#include "cli/watch_metrics.h"

#include <gtest/gtest.h>

#include "devices/device_table.h"
#include "protocol/ipv4.h"
#include "support/devices.h"

namespace sd::cli {
namespace {

double FixedClock() { return 1765430000.25; }

DeviceRecord Monitored(std::string_view mac, std::string_view ip, std::string_view name) {
  DeviceRecord r = test::Switch(mac, ip);
  SetText(r.system_name, name);
  r.row_state = 1;
  return r;
}

std::uint32_t Ip(std::string_view text) { return *TextToIpv4(text); }

TEST(WatchMetricsTest, TheExpositionHasEveryFamilyWithItsHelpTypeAndOneLinePerSwitch) {
  WatchMetrics metrics(&FixedClock);
  std::vector<DeviceRecord> list = {Monitored("020000000010", "198.18.0.10", "edge-1"),
                                    Monitored("020000000011", "198.18.0.11", "core")};
  list[1].row_state = kRowShownNotAlive;
  list[1].status_image = kStatusImageNotAlive;
  metrics.Update(list);
  metrics.OnPollSent(Ip("198.18.0.10"));
  metrics.OnPollSent(Ip("198.18.0.10"));
  metrics.OnPollSent(Ip("198.18.0.11"));
  metrics.OnMonitorReply(Ip("198.18.0.10"));
  metrics.NoteTrap("198.18.0.11");
  // Traffic with an address the list does not hold is not counted anywhere.
  metrics.OnPollSent(Ip("198.18.0.99"));
  metrics.OnMonitorReply(Ip("198.18.0.99"));
  metrics.NoteTrap("198.18.0.99");

  EXPECT_EQ(metrics.Render(),
            "# HELP switchdesk_switch_up 1 while the switch answers, 0 from the not-alive verdict until it answers again.\n"
            "# TYPE switchdesk_switch_up gauge\n"
            "switchdesk_switch_up{ip=\"198.18.0.10\",mac=\"020000000010\",name=\"edge-1\"} 1\n"
            "switchdesk_switch_up{ip=\"198.18.0.11\",mac=\"020000000011\",name=\"core\"} 0\n"
            "# HELP switchdesk_switch_last_reply_timestamp_seconds When the switch last answered, in seconds since 1970 (after its first reply).\n"
            "# TYPE switchdesk_switch_last_reply_timestamp_seconds gauge\n"
            "switchdesk_switch_last_reply_timestamp_seconds{ip=\"198.18.0.10\",mac=\"020000000010\",name=\"edge-1\"} 1765430000.250\n"
            "# HELP switchdesk_switch_polls_total Polls sent to the switch since the watch started.\n"
            "# TYPE switchdesk_switch_polls_total counter\n"
            "switchdesk_switch_polls_total{ip=\"198.18.0.10\"} 2\n"
            "switchdesk_switch_polls_total{ip=\"198.18.0.11\"} 1\n"
            "# HELP switchdesk_switch_replies_total Replies of the switch since the watch started.\n"
            "# TYPE switchdesk_switch_replies_total counter\n"
            "switchdesk_switch_replies_total{ip=\"198.18.0.10\"} 1\n"
            "switchdesk_switch_replies_total{ip=\"198.18.0.11\"} 0\n"
            "# HELP switchdesk_traps_received_total Traps taken in from the switch since the watch started.\n"
            "# TYPE switchdesk_traps_received_total counter\n"
            "switchdesk_traps_received_total{ip=\"198.18.0.10\"} 0\n"
            "switchdesk_traps_received_total{ip=\"198.18.0.11\"} 1\n"
            "# HELP switchdesk_monitored_switches Switches in the Monitor List.\n"
            "# TYPE switchdesk_monitored_switches gauge\n"
            "switchdesk_monitored_switches 2\n");

  // With event hooks, their figures follow.
  metrics.SetHookFigures([] { return HookFigures{.runs = 7, .failures = 2, .timeouts = 1, .dropped = 40, .queued = 3}; });
  const std::string with_hooks = metrics.Render();
  for (const char* line : {"switchdesk_hook_runs_total 7\n", "switchdesk_hook_failures_total 2\n",
                           "switchdesk_hook_timeouts_total 1\n", "switchdesk_hook_events_dropped_total 40\n",
                           "switchdesk_hook_events_queued 3\n", "# TYPE switchdesk_hook_events_dropped_total counter\n"}) {
    EXPECT_NE(with_hooks.find(line), std::string::npos) << line;
  }
}

// A switch that stays keeps its figures through every update and is down from the verdict
// until a reply found by its address draws its row again; one that leaves takes its figures
// with it, and one that comes back starts again from nothing.
TEST(WatchMetricsTest, FiguresFollowTheMonitorList) {
  WatchMetrics metrics(&FixedClock);
  DeviceRecord a = Monitored("020000000010", "198.18.0.10", "edge-1");
  DeviceRecord b = Monitored("020000000011", "198.18.0.11", "core");
  metrics.Update({a, b});
  metrics.OnPollSent(Ip("198.18.0.11"));
  metrics.OnMonitorReply(Ip("198.18.0.11"));

  // The switch renamed itself, and is found in the list's new order.
  SetText(b.system_name, "core-2");
  b.row_state = kRowShownNotAlive;
  b.status_image = kStatusImageNotAlive;
  metrics.Update({b, a});
  std::string text = metrics.Render();
  EXPECT_NE(text.find("switchdesk_switch_up{ip=\"198.18.0.11\",mac=\"020000000011\",name=\"core-2\"} 0\n"
                      "switchdesk_switch_up{ip=\"198.18.0.10\",mac=\"020000000010\",name=\"edge-1\"} 1\n"),
            std::string::npos) << text;
  EXPECT_NE(text.find("switchdesk_switch_polls_total{ip=\"198.18.0.11\"} 1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("switchdesk_switch_replies_total{ip=\"198.18.0.11\"} 1\n"), std::string::npos) << text;

  // A reply that came by MAC leaves the not-alive image: still down.
  b.row_state = 1;
  metrics.Update({b, a});
  EXPECT_NE(metrics.Render().find("switchdesk_switch_up{ip=\"198.18.0.11\",mac=\"020000000011\",name=\"core-2\"} 0\n"),
            std::string::npos);
  b.status_image = -1;
  metrics.Update({b, a});
  EXPECT_NE(metrics.Render().find("switchdesk_switch_up{ip=\"198.18.0.11\",mac=\"020000000011\",name=\"core-2\"} 1\n"),
            std::string::npos);

  metrics.Update({a});
  text = metrics.Render();
  EXPECT_EQ(text.find("198.18.0.11"), std::string::npos) << text;
  EXPECT_NE(text.find("switchdesk_monitored_switches 1\n"), std::string::npos);
  metrics.Update({a, b});
  EXPECT_NE(metrics.Render().find("switchdesk_switch_polls_total{ip=\"198.18.0.11\"} 0\n"), std::string::npos);

  // Saved with the not-alive image, a switch is up until this watch's verdict.
  WatchMetrics loaded(&FixedClock);
  DeviceRecord saved = Monitored("020000000012", "198.18.0.12", "spare");
  saved.status_image = kStatusImageNotAlive;
  loaded.Update({saved});
  EXPECT_NE(loaded.Render().find("switchdesk_switch_up{ip=\"198.18.0.12\",mac=\"020000000012\",name=\"spare\"} 1\n"),
            std::string::npos) << loaded.Render();
}

TEST(WatchMetricsTest, LabelValuesAreEscapedAndMadeUtf8) {
  const struct {
    std::string_view text;
    std::string_view label;
  } cases[] = {
      {"plain", "plain"},
      {"a\"b", "a\\\"b"},
      {"back\\slash", "back\\\\slash"},
      {"two\nlines", "two\\nlines"},
      {"tab\tand\rcr", "tab\tand\rcr"},          // allowed as they are
      {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},  // whole UTF-8 stays
      {"\xFF" "x", "\xEF\xBF\xBD" "x"},          // a byte that starts nothing
      {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},  // a sequence cut short
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // an overlong '/'
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(MetricsLabelValue(c.text), c.label) << c.text;

  // Through the exposition: a name a switch reports cannot end the label or the line.
  WatchMetrics metrics(&FixedClock);
  metrics.Update({Monitored("020000000010", "198.18.0.10", "x\"} 1\nevil 2")});
  EXPECT_NE(metrics.Render().find("name=\"x\\\"} 1\\nevil 2\"} 1\n"), std::string::npos) << metrics.Render();
}

}  // namespace
}  // namespace sd::cli
