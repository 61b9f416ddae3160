// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/commands.h"

#include <fcntl.h>
#include <net/if.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

#include "app/network_engine.h"
#include "app/startup.h"
#include "app/switchdesk_dlg.h"
#include "cli/command_line.h"
#include "cli/device_commands.h"
#include "cli/metrics_server.h"
#include "cli/event_hooks.h"
#include "cli/output.h"
#include "cli/stop_signals.h"
#include "cli/watch_metrics.h"
#include "app/watch_observer.h"
#include "devices/list_control.h"
#include "devices/monitor_file.h"
#include "net/event_loop.h"
#include "net/interfaces.h"
#include "protocol/ipv4.h"
#include "settings/config_folder.h"
#include "settings/event_log.h"
#include "settings/settings_file.h"
#include "settings/trap_store.h"

namespace sd::cli {

namespace {

constexpr std::string_view kDeleteEntryQuestion = "Delete entry?";
// The window's liveness timer period.
constexpr std::chrono::milliseconds kLivenessTick(5000);
// A discovery renews the group membership (500 ms) before its requests go out.
constexpr std::chrono::milliseconds kDiscoveryStartLimit(5000);

// The main dialog of one run: its list controls, the terminal's boxes and dialogs, and the core.
struct Session {
  Session(Console& console, bool assume_ok)
      : messages(console.err, console.err_is_journal),
        questions(console, assume_ok),
        file_dialogs(messages, questions),
        dlg(discovery_list, monitor_list, messages, file_dialogs, remote_ip) {}

  MemoryListControl discovery_list;
  MemoryListControl monitor_list;
  ConsoleMessages messages;
  ConsoleQuestions questions;
  ArgumentFileDialogs file_dialogs;
  ArgumentRemoteIpDialog remote_ip;
  CSwitchdeskDlg dlg;
};

// The trap indicator is the printed trap line itself.
struct NoTrapIndicator : ITrapIndicator {
  void ShowTrapArrived(bool) override {}
};

// The lists' half of the window's start-up. Whatever the window would go on after with a
// message (define.ecf unreadable, monitor.cfg not whole records) stops a command here, before it
// can save over a file it could not read or open a socket.
bool StartLists(Session& s) {
  return LoadSettingsAndDeviceLists(s.dlg, s.messages) && s.messages.Errors() == 0;
}

int Status(bool ok) { return ok ? kExitOk : kExitFailed; }

// Whether the process has a controlling terminal (a session started from one).
bool HasControllingTerminal() {
  const int fd = ::open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

int MonitorList(Session& s, const CommandLine& c, Console& console) {
  const TableView view = ViewOf(s.monitor_list, kMonitorColumnStatus);
  console.out << (c.json ? FormatJson(view) : FormatTable(view));
  console.out.flush();
  return Status(console.out.good());
}

int MonitorAdd(Session& s, const CommandLine& c) {
  const int before = s.dlg.MonitorTable().Count();
  s.remote_ip.SetAddress(c.addresses.front());
  s.dlg.OnAddItem();
  // A refusal has been told by the core ("Invalid IP address.", a duplicate, the limit).
  if (s.dlg.MonitorTable().Count() == before) return kExitFailed;
  const int errors = s.messages.Errors();
  s.dlg.OnMonitorSave();
  return Status(s.messages.Errors() == errors);
}

int MonitorRemove(Session& s, const CommandLine& c) {
  // The rows that show these addresses, selected as the user would select them.
  for (std::uint32_t address : c.addresses) {
    const std::string text = Ipv4ToText(address);
    int row = 0;
    while (row < s.monitor_list.RowCount() && s.monitor_list.Text(row, kMonitorColumnIp) != text) ++row;
    if (row == s.monitor_list.RowCount()) {
      s.messages.Error(text + " is not in the Monitor List.");
      return kExitFailed;
    }
    s.monitor_list.SetSelected(row, true);
  }
  // "Delete item".
  const std::vector<int> rows = s.monitor_list.SelectedRows();
  if (!s.questions.AskOkCancel(kDeleteEntryQuestion, kTitleWarning, MessageIcon::Warning)) return kExitFailed;
  s.dlg.RemoveMonitorRows(rows);
  const int errors = s.messages.Errors();
  s.dlg.OnMonitorSave();
  return Status(s.messages.Errors() == errors);
}

int MonitorImport(Session& s, const CommandLine& c) {
  const int before = s.dlg.MonitorTable().Count();
  const int errors = s.messages.Errors();
  const int warnings = s.messages.Warnings();
  s.file_dialogs.SetPath(c.file);
  s.dlg.OnMonitorLoad();
  // Records that were taken stay taken, and are saved, even when others were refused.
  if (s.dlg.MonitorTable().Count() != before) s.dlg.OnMonitorSave();
  return Status(s.messages.Errors() == errors && s.messages.Warnings() == warnings);
}

int MonitorExport(Session& s, const CommandLine& c) {
  const int errors = s.messages.Errors();
  s.file_dialogs.SetPath(c.file);
  s.dlg.OnMonitorSaveAs();
  return Status(s.file_dialogs.Answered() && s.messages.Errors() == errors);
}

// discover and watch: the whole start-up of the window, the sockets watched by the event loop,
// and the stop signals as one more watched descriptor.
class NetworkRun {
 public:
  NetworkRun(Session& s, Console& console, const CommandLine& c) : s_(s), console_(console), c_(c) {}

  int Run() {
    // Before any thread starts, so that every thread leaves the stop signals to the descriptor.
    StopSignals stop;
    if (!stop.Ok()) {
      s_.messages.Error("Ctrl-C and SIGTERM cannot be caught, so switchdesk-cli could not stop cleanly.");
      return kExitFailed;
    }
    EventLoop loop;
    TrapStore traps;
    NoTrapIndicator indicator;
    NetworkEngine engine(s_.dlg.Lists(), s_.messages, indicator, loop, traps);
    s_.dlg.SetRefreshInterval(c_.refresh_seconds);
    // The window's start-up in its order, with a stop between the halves: no socket is opened,
    // and so nothing sent, when the lists could not be read or there is nothing to watch.
    traps.Clear();
    if (!StartLists(s_)) return kExitFailed;
    if (c_.kind == CommandKind::Watch && s_.dlg.MonitorTable().Count() == 0) {
      s_.messages.Error("The Monitor List is empty: there is nothing to watch.\n"
                        "Add switches with: switchdesk-cli monitor add ADDRESS");
      return kExitFailed;
    }
    // --exec: a program that cannot run is refused before any socket opens.
    if (c_.kind == CommandKind::Watch && !c_.exec_program.empty()) {
      if (const auto refusal = RefuseHookProgram(c_.exec_program)) {
        s_.messages.Error(*refusal);
        return kExitFailed;
      }
    }
    if (!c_.interface_name.empty() && !ChooseCard(engine)) return kExitFailed;
    if (c_.kind == CommandKind::Watch && c_.metrics && !StartMetrics(engine)) return kExitFailed;
    engine.SetDirectedBroadcasts(c_.directed_broadcasts);
    const StartupOutcome outcome = StartNetworkEngine(engine, s_.messages);
    if (!outcome.can_run || s_.messages.Errors() > 0) return kExitFailed;

    for (const auto& w : engine.SocketWatches()) {
      loop.WatchReadable(w.fd, [this, &engine, socket = w.socket] {
        if (engine.ReceiveDatagram(*socket)) ++datagrams_;
        if (after_event_) after_event_();
      });
    }
    loop.WatchReadable(stop.Fd(), [this, &stop] {
      const auto signal = stop.Take();
      if (!signal) return;
      // watch: SIGHUP reads monitor.cfg again instead of stopping (reload_ is set while it runs).
      if (*signal == SIGHUP && reload_) {
        reload_();
        return;
      }
      signal_ = *signal;
    });

    int status = kExitFailed;
    if (c_.kind == CommandKind::Discover) {
      status = Discover(loop, engine);
    } else if (c_.kind == CommandKind::Watch) {
      status = Watch(loop, engine, traps);
    } else {
      DeviceRun run{s_.dlg, s_.discovery_list, s_.monitor_list, s_.messages, console_, loop, engine,
                    [this] { return Stopped(); }, stop.Fd()};
      status = RunDeviceCommand(c_, run);
    }

    loop.UnwatchAll();
    engine.CloseSocketSet();  // joins the poll thread; the IGMP report thread ends with the engine
    return status;
  }

 private:
  bool Stopped() const { return signal_ != 0; }

  // --interface: that card only; a name that is not a usable card is refused before any socket
  // opens, with the cards there are.
  bool ChooseCard(NetworkEngine& engine) {
    const auto cards = engine.Sockets().Interfaces().List();
    if (!ChooseInterfaces(cards, c_.interface_name).empty()) {
      engine.Sockets().ChooseInterface(c_.interface_name);
      return true;
    }
    std::string names;
    for (const auto& card : cards) names += (names.empty() ? "" : ", ") + InterfaceLabel(card);
    s_.messages.Error("No network card " + TerminalText(c_.interface_name) +
                      " is up with an IPv4 address and broadcast.\nCards: " + (names.empty() ? "none" : names));
    return false;
  }

  // The card each Discovery List row's switch answered on, by its name, row by row.
  static std::vector<std::string> RowInterfaces(CSwitchdeskDlg& dlg, NetworkEngine& engine, std::size_t rows) {
    std::vector<std::string> names(rows);
    DeviceTable& table = dlg.DiscoveryTable();
    for (int i = 0; i < table.Count(); ++i) {
      const std::string mac(GetText(table.Entry(i).mac_text));
      const int row = dlg.FindDiscoveryRowByMac(mac);
      char name[IF_NAMESIZE] = {};
      const unsigned index = engine.Sockets().Switches().Find(mac);
      if (row < 0 || static_cast<std::size_t>(row) >= rows || index == 0 || !::if_indextoname(index, name)) continue;
      names[static_cast<std::size_t>(row)] = name;
    }
    return names;
  }

  // watch --metrics: the figures follow the engine's traffic from its start, and the server is
  // listening before the first datagram goes out; an address that cannot be taken stops the
  // watch before any.
  bool StartMetrics(NetworkEngine& engine) {
    metrics_ = std::make_unique<WatchMetrics>();
    metrics_->Update(s_.dlg.MonitorTable().Entries(s_.dlg.MonitorTable().Count()));
    std::string error;
    const std::string where = Ipv4ToText(c_.metrics->address) + ":" + std::to_string(c_.metrics->port);
    metrics_server_ = MetricsServer::Start(c_.metrics->address, c_.metrics->port,
                                           [metrics = metrics_.get()] { return metrics->Render(); }, error);
    if (!metrics_server_) {
      s_.messages.Error("The metrics cannot be served on " + where + ": " + error + ".");
      return false;
    }
    engine.SetTrafficObserver(metrics_.get());
    console_.err << "Metrics at http://" << Ipv4ToText(c_.metrics->address) << ":" << metrics_server_->Port()
                 << "/metrics\n";
    return true;
  }

  // Nothing came back: say where the discovery went and what most likely dropped the answers.
  void TellNoReply(NetworkEngine& engine) {
    std::string cards;
    for (const auto& card : engine.Sockets().Cards()) cards += (cards.empty() ? "" : ", ") + InterfaceLabel(card);
    if (cards.empty()) cards = "the card of the default route";
    console_.err << "switchdesk-cli: no switch answered. The discovery went out of " << cards << ".\n"
                 << "A firewall that drops UDP to ports " << Settings.base_port << ", " << Settings.unicast_port
                 << " and " << Settings.multicast_port
                 << " of this computer is the likely cause (see the README for firewalld and ufw).\n";
  }

  int Discover(EventLoop& loop, NetworkEngine& engine) {
    const int errors = s_.messages.Errors();
    datagrams_ = 0;
    engine.OnDiscover();
    loop.RunUntil([&] { return Stopped() || !engine.DiscoveryPending(); }, kDiscoveryStartLimit);
    if (!Stopped()) loop.RunUntil([&] { return Stopped(); }, c_.wait);
    if (Stopped()) {
      console_.err << "switchdesk-cli: discovery interrupted\n";
      return kExitInterrupted;
    }
    TableView view = ViewOf(s_.discovery_list);
    if (c_.json) {
      const auto names = RowInterfaces(s_.dlg, engine, view.rows.size());
      view.headers.push_back("interface");
      for (std::size_t r = 0; r < view.rows.size(); ++r) view.rows[r].push_back(names[r]);
    }
    console_.out << (c_.json ? FormatJson(view) : FormatTable(view));
    console_.out.flush();
    if (datagrams_ == 0 && s_.messages.Errors() == errors) TellNoReply(engine);
    return Status(s_.messages.Errors() == errors && console_.out.good());
  }

  int Watch(EventLoop& loop, NetworkEngine& engine, TrapStore& traps) {
    const int count = s_.dlg.MonitorTable().Count();
    WatchObserver observer(s_.dlg.MonitorTable(), traps);
    bool output_lost = false;
    // --exec: the event hooks, on this loop.
    std::optional<EventHooks> hooks;
    if (!c_.exec_program.empty()) {
      hooks.emplace(loop, c_.exec_program, console_.err,
                    EventHooks::Options{.timeout = c_.exec_timeout.value_or(kDefaultHookTimeout)});
      if (metrics_) {
        metrics_->SetHookFigures([&hooks] {
          return HookFigures{.runs = hooks->Runs(), .failures = hooks->Failures(), .timeouts = hooks->TimedOut(),
                             .dropped = hooks->Dropped(), .queued = hooks->Queued()};
        });
      }
    }
    after_event_ = [&] {
      char timestamp[kLogTimestampLength + 1];
      FormatLogTimestamp(timestamp);
      const std::vector<WatchEvent> events = observer.Look(timestamp);
      for (const WatchEvent& e : events) {
        if (console_.out_is_journal) console_.out << JournalPriority(e);
        console_.out << (c_.json ? FormatEventJson(e) : FormatEventLine(e));
        if (metrics_ && e.kind == WatchEvent::Kind::Trap) metrics_->NoteTrap(e.ip);
      }
      if (metrics_) metrics_->Update(s_.dlg.MonitorTable().Entries(s_.dlg.MonitorTable().Count()));
      console_.out.flush();
      output_lost = !console_.out.good();
      // --exec: the same events, in the same order, once they are printed.
      if (hooks) {
        for (const WatchEvent& e : events) hooks->Add(MakeHookEvent(e, s_.dlg.MonitorTable()));
      }
    };
    loop.Every(kLivenessTick, [&] {
      engine.OnLivenessTimer();
      after_event_();
    });
    // SIGHUP: monitor.cfg again. The observer's next look sees the devices that stay as they
    // were, so the reload itself reports no verdict or recovery. While the watch has a terminal,
    // SIGHUP is the terminal's hangup and stops it, as it always did; a service has none.
    if (!HasControllingTerminal()) reload_ = [&] {
      ReloadMonitorList();
      after_event_();
    };
    console_.err << "Watching " << count << (count == 1 ? " switch" : " switches") << ", refresh time "
                 << c_.refresh_seconds << " s. Ctrl-C stops.\n";
    console_.err.flush();
    while (!Stopped() && !output_lost) loop.RunUntil([&] { return Stopped() || output_lost; }, std::chrono::hours(1));
    after_event_ = nullptr;
    if (hooks) hooks->Stop();  // --exec: the running hook ends with the watch
    if (metrics_) metrics_->SetHookFigures(nullptr);  // the hooks go with this function
    reload_ = nullptr;
    if (output_lost) {
      s_.messages.Error("The output is gone (standard output closed); watch stops.");
      return kExitFailed;
    }
    console_.err << "Stopped by " << (signal_ == SIGINT ? "Ctrl-C" : signal_ == SIGTERM ? "SIGTERM" : "SIGHUP")
                 << ".\n";
    return kExitOk;
  }

  // watch on SIGHUP: one line on standard error says what the reload did; a file that cannot be
  // taken is an error message, and the list and the watch go on as they were.
  void ReloadMonitorList() {
    const MonitorReload r = s_.dlg.ReloadMonitorFile();
    constexpr std::string_view kUnchanged = "\nmonitor.cfg was not reloaded: the Monitor List stays as it was.";
    if (r.status == MonitorFileStatus::Invalid) {
      s_.messages.Error(std::string("Invalid configuration file.").append(kUnchanged));
      return;
    }
    if (r.status != MonitorFileStatus::Ok) {
      s_.messages.Error(MonitorFilePath() + " cannot be read." + std::string(kUnchanged));
      return;
    }
    console_.err << "Reloaded monitor.cfg: " << r.count << (r.count == 1 ? " switch" : " switches") << " ("
                 << r.added << " added, " << r.removed << " removed).\n";
    console_.err.flush();
    if (r.refused > 0) s_.messages.Error("Maximum of 256 devices reached.");
  }

  Session& s_;
  Console& console_;
  const CommandLine& c_;
  int signal_ = 0;
  // Datagrams read since the discovery began.
  int datagrams_ = 0;
  std::function<void()> after_event_;
  // watch --metrics: the figures outlive the engine, whose poll thread counts into them.
  std::unique_ptr<WatchMetrics> metrics_;
  std::unique_ptr<MetricsServer> metrics_server_;
  std::function<void()> reload_;
};

}  // namespace

int RunCli(const std::vector<std::string>& args, Console& console) {
  const ParseResult parsed = ParseCommandLine(args);
  if (!parsed.command) {
    console.err << "switchdesk-cli: " << parsed.error << "\nTry: switchdesk-cli "
                << (parsed.topic.empty() ? "" : parsed.topic + " ") << "--help\n";
    return kExitUsage;
  }
  const CommandLine& c = *parsed.command;
  switch (c.kind) {
    case CommandKind::Help:
      console.out << HelpText(c.help_topic);
      return kExitOk;
    case CommandKind::Version:
      PrepareConfigFolder();
      console.out << VersionText();
      return kExitOk;
    default:
      break;
  }

  // The first start of an installed program makes the per-user folder, before anything reads it.
  PrepareConfigFolder();
  if (c.seed_settings && !SeedConfigFolderOfProcess()) {
    console.err << "switchdesk-cli: the settings folder " << ConfigFolderPath()
                << " could not be given the installed define.ecf (" << DefaultSettingsPathOfProcess() << ").\n";
    return kExitFailed;
  }
  Session s(console, c.yes);
  switch (c.kind) {
    case CommandKind::Discover:
    case CommandKind::Watch:
    case CommandKind::Set:
    case CommandKind::Password:
    case CommandKind::DhcpRefresh:
    case CommandKind::Upgrade: return NetworkRun(s, console, c).Run();
    default: break;
  }
  if (!StartLists(s)) return kExitFailed;
  switch (c.kind) {
    case CommandKind::MonitorList: return MonitorList(s, c, console);
    case CommandKind::MonitorAdd: return MonitorAdd(s, c);
    case CommandKind::MonitorRemove: return MonitorRemove(s, c);
    case CommandKind::MonitorImport: return MonitorImport(s, c);
    case CommandKind::MonitorExport: return MonitorExport(s, c);
    default: return kExitUsage;
  }
}

}  // namespace sd::cli
