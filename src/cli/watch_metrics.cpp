// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/watch_metrics.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <unordered_set>

#include "devices/device_table.h"

namespace sd::cli {

namespace {

double SystemSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// The length of the UTF-8 sequence at `at`, or 0 when it is not a whole, shortest, valid one.
std::size_t Utf8Sequence(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char b0 = byte(at);
  std::size_t length;
  std::uint32_t code;
  if (b0 < 0x80) return 1;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    code = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    code = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    code = b0 & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  return length;
}

void AppendNumber(std::string& out, std::uint64_t value) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

void AppendSeconds(std::string& out, double seconds) {
  // Milliseconds are as fine as the event loop's clock is read.
  char text[40];
  const auto end = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 3).ptr;
  out.append(text, end);
}

void AppendFamily(std::string& out, std::string_view name, std::string_view type, std::string_view help) {
  out.append("# HELP ").append(name).append(" ").append(help).append("\n");
  out.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

}  // namespace

std::string MetricsLabelValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8Sequence(text, i);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    const char c = text[i];
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

WatchMetrics::WatchMetrics(WallClock clock) : clock_(clock ? clock : &SystemSeconds) {}

WatchMetrics::Switch* WatchMetrics::Find(std::uint32_t ip) {
  const auto it = std::find_if(switches_.begin(), switches_.end(), [&](const Switch& s) { return s.ip == ip; });
  return it == switches_.end() ? nullptr : &*it;
}

void WatchMetrics::OnPollSent(std::uint32_t ip) {
  std::lock_guard lock(mutex_);
  if (Switch* s = Find(ip)) ++s->polls;
}

void WatchMetrics::OnMonitorReply(std::uint32_t ip) {
  const double now = clock_();
  std::lock_guard lock(mutex_);
  if (Switch* s = Find(ip)) {
    ++s->replies;
    s->last_reply = now;
  }
}

void WatchMetrics::NoteTrap(std::string_view ip_text) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(switches_.begin(), switches_.end(), [&](const Switch& s) { return s.ip_text == ip_text; });
  if (it != switches_.end()) ++it->traps;
}

void WatchMetrics::Update(const std::vector<DeviceRecord>& entries) {
  std::vector<Switch> now;
  now.reserve(entries.size());
  std::unordered_set<std::uint32_t> seen;
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const DeviceRecord& e = entries[i];
    // Entries are keyed by their address, and no two hold the same one; should they, the first
    // keeps the figures.
    if (!seen.insert(e.ip).second) continue;
    Switch s;
    // The list's order seldom changes: the switch is looked for in its old place first.
    Switch* before = i < switches_.size() && switches_[i].ip == e.ip ? &switches_[i] : Find(e.ip);
    if (before) {
      s = std::move(*before);
      before->ip = 0;  // taken; 0.0.0.0 is never a Monitor List entry's address
    }
    s.ip = e.ip;
    s.ip_text = GetText(e.ip_text);
    s.mac = GetText(e.mac_text);
    s.name = GetText(e.system_name);
    // Down from the liveness timer's verdict until a reply found by address draws the row again
    // (a reply found by MAC keeps the not-alive image). A switch loaded with the not-alive image
    // from monitor.cfg is up until a verdict of this watch.
    s.up = e.row_state != kRowShownNotAlive && (s.up || e.status_image != kStatusImageNotAlive);
    now.push_back(std::move(s));
  }
  switches_ = std::move(now);
}

void WatchMetrics::SetHookFigures(std::function<HookFigures()> source) {
  std::lock_guard lock(mutex_);
  hooks_ = std::move(source);
}

std::string WatchMetrics::Render() const {
  std::vector<Switch> switches;
  std::optional<HookFigures> hooks;
  {
    std::lock_guard lock(mutex_);
    switches = switches_;
    if (hooks_) hooks = hooks_();
  }
  std::vector<std::string> labels;  // ip, mac and name
  std::vector<std::string> ips;     // ip alone
  labels.reserve(switches.size());
  ips.reserve(switches.size());
  for (const Switch& s : switches) {
    const std::string ip = MetricsLabelValue(s.ip_text);
    labels.push_back("{ip=\"" + ip + "\",mac=\"" + MetricsLabelValue(s.mac) + "\",name=\"" +
                     MetricsLabelValue(s.name) + "\"} ");
    ips.push_back("{ip=\"" + ip + "\"} ");
  }

  std::string out;
  out.reserve(1024 + switches.size() * 400);
  AppendFamily(out, "switchdesk_switch_up", "gauge",
               "1 while the switch answers, 0 from the not-alive verdict until it answers again.");
  for (std::size_t i = 0; i < switches.size(); ++i) {
    out.append("switchdesk_switch_up").append(labels[i]).append(switches[i].up ? "1\n" : "0\n");
  }
  AppendFamily(out, "switchdesk_switch_last_reply_timestamp_seconds", "gauge",
               "When the switch last answered, in seconds since 1970 (after its first reply).");
  for (std::size_t i = 0; i < switches.size(); ++i) {
    if (!switches[i].last_reply) continue;
    out.append("switchdesk_switch_last_reply_timestamp_seconds").append(labels[i]);
    AppendSeconds(out, *switches[i].last_reply);
    out += '\n';
  }
  const auto counter = [&](std::string_view name, std::string_view help, std::uint64_t Switch::*field) {
    AppendFamily(out, name, "counter", help);
    for (std::size_t i = 0; i < switches.size(); ++i) {
      out.append(name).append(ips[i]);
      AppendNumber(out, switches[i].*field);
      out += '\n';
    }
  };
  counter("switchdesk_switch_polls_total", "Polls sent to the switch since the watch started.", &Switch::polls);
  counter("switchdesk_switch_replies_total", "Replies of the switch since the watch started.", &Switch::replies);
  counter("switchdesk_traps_received_total", "Traps taken in from the switch since the watch started.", &Switch::traps);
  AppendFamily(out, "switchdesk_monitored_switches", "gauge", "Switches in the Monitor List.");
  out.append("switchdesk_monitored_switches ");
  AppendNumber(out, switches.size());
  out += '\n';
  if (hooks) {
    const auto one = [&](std::string_view name, std::string_view type, std::string_view help, std::uint64_t value) {
      AppendFamily(out, name, type, help);
      out.append(name).append(" ");
      AppendNumber(out, value);
      out += '\n';
    };
    one("switchdesk_hook_runs_total", "counter", "Runs of the --exec program started.", hooks->runs);
    one("switchdesk_hook_failures_total", "counter",
        "Runs of the --exec program that failed: a status other than 0, a signal, or no start.", hooks->failures);
    one("switchdesk_hook_timeouts_total", "counter", "Runs of the --exec program stopped at the time limit.",
        hooks->timeouts);
    one("switchdesk_hook_events_dropped_total", "counter",
        "Events not handed to the --exec program because its queue was full.", hooks->dropped);
    one("switchdesk_hook_events_queued", "gauge", "Events waiting for the --exec program.", hooks->queued);
  }
  return out;
}

}  // namespace sd::cli
