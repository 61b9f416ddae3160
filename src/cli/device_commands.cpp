// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/device_commands.h"

#include <atomic>
#include <memory>

#include "cli/commands.h"
#include "cli/console_operation_dialogs.h"
#include "cli/secrets.h"
#include "devices/device_rows.h"
#include "net/reply_dispatcher.h"
#include "operations/device_operations.h"
#include "operations/firmware_upgrade.h"
#include "operations/manager_subnet.h"
#include "operations/reboot_watch.h"
#include "operations/request_sender.h"
#include "operations/secret.h"
#include "operations/tftp_transport.h"
#include "operations/upgrade_network.h"
#include "operations/timer_host.h"
#include "protocol/ipv4.h"
#include "protocol/operation_context.h"

namespace sd::cli {

namespace {

// A discovery renews the group membership (500 ms) before its requests go out.
constexpr std::chrono::milliseconds kDiscoveryStartLimit(5000);
// The transfer ends by itself (retries are counted); this only bounds a loop that must end.
constexpr std::chrono::hours kTransferLimit(2);
// The reboot watch's 12 s and 110 probes of 1 s, with room.
constexpr std::chrono::minutes kRebootWatchLimit(5);

std::string TargetText(const TargetArgument& target) {
  return target.ip ? Ipv4ToText(*target.ip) : target.mac_text;
}

bool Matches(const DeviceRecord& entry, const TargetArgument& target) {
  return target.ip ? entry.ip == *target.ip : GetText(entry.mac_text) == target.mac_text;
}

int RowShowing(const IListControl& list, int column, std::string_view key) {
  for (int row = 0; row < list.RowCount(); ++row) {
    if (list.Text(row, column) == key) return row;
  }
  return -1;
}

// Sends the discovery and collects the replies for `wait`; false when a stop signal came.
bool Discover(DeviceRun& run, std::chrono::milliseconds wait) {
  run.engine.OnDiscover();
  run.loop.RunUntil([&] { return run.stopped() || !run.engine.DiscoveryPending(); }, kDiscoveryStartLimit);
  if (!run.stopped()) run.loop.RunUntil(run.stopped, wait);
  return !run.stopped();
}

// The FILE of the command line stands in the Firmware Path box; "Browse" is never pressed.
struct NoBrowse : IFileDialogs {
  std::optional<std::string> AskSavePath(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<std::string> AskOpenPath(const FileDialogRequest&) override { return std::nullopt; }
};

int Interrupted(Console& console, std::string_view what) {
  console.err << "switchdesk-cli: " << what << '\n';
  console.err.flush();
  return kExitInterrupted;
}

// The device operations with the console's dialogs, sending through the run's sockets.
struct ConsoleOperations {
  ConsoleOperations(const CommandLine& c, DeviceRun& run)
      : sender(run.engine.Sockets(), [&run](std::chrono::milliseconds d) { run.loop.RunFor(d); }),
        secrets(run.console, run.stop_fd),
        configuration(c.fields, c.password, secrets, run.console.err),
        change_password(c.password, c.new_password, secrets),
        dhcp_refresh(c.password, secrets),
        operations(run.dlg.Lists(), run.messages, sender,
                   OperationDialogs{configuration, change_password, dhcp_refresh, group_interval}) {}
  SocketSetSender sender;
  SecretReader secrets;
  ConsoleConfigurationDialog configuration;
  ConsoleChangePasswordDialog change_password;
  ConsoleDhcpRefreshDialog dhcp_refresh;
  NoGroupIntervalDialog group_interval;
  DeviceOperations operations;
};

// set, password and dhcp-refresh: the launcher with its console dialog, then the switch's answer.
int RunSetOperation(const CommandLine& c, DeviceRun& run, const TargetRow& where) {
  ConsoleOperations console_operations(c, run);
  DeviceOperations& operations = console_operations.operations;

  enum class Answer { kNone, kSuccess, kError };
  std::atomic<Answer> answer{Answer::kNone};
  run.messages.SetObserver([&answer](std::string_view text, MessageIcon icon) {
    if (icon == MessageIcon::Error) answer = Answer::kError;
    if (icon == MessageIcon::Information && text == kSetSuccessful) answer = Answer::kSuccess;
  });
  struct StopObserving {
    ConsoleMessages& messages;
    ~StopObserving() { messages.SetObserver(nullptr); }
  } stop_observing{run.messages};

  DialogOutcome outcome = DialogOutcome::kNotRun;
  switch (c.kind) {
    case CommandKind::Set:
      operations.OnConfigureSettings();
      outcome = console_operations.configuration.Outcome();
      break;
    case CommandKind::Password:
      operations.OnChangePassword();
      outcome = console_operations.change_password.Outcome();
      break;
    default:
      operations.OnDhcpRefresh();
      outcome = console_operations.dhcp_refresh.Outcome();
      break;
  }
  // A refusal (the gate's, the form's or a failed send) has been told already.
  if (outcome == DialogOutcome::kStopped) return Interrupted(run.console, "stopped before anything was sent");
  if (outcome != DialogOutcome::kSent || answer != Answer::kNone) return kExitFailed;

  const auto target = operations.LastTarget();
  const std::uint32_t address_before = target ? TargetEntry(run.dlg.Lists(), *target).ip : 0;
  run.loop.RunUntil([&] { return run.stopped() || answer != Answer::kNone; }, kSetAnswerWait);
  if (answer == Answer::kNone) {
    if (run.stopped()) return Interrupted(run.console, "stopped before the switch answered");
    run.console.err << "switchdesk-cli: the switch did not answer within "
                    << std::chrono::duration_cast<std::chrono::seconds>(kSetAnswerWait).count() << " seconds\n";
    return kExitFailed;
  }
  if (answer == Answer::kError) return kExitFailed;
  // A monitored switch that moved is followed by its row; monitor.cfg keeps it at its new address.
  if (where.list == TableKind::Monitor && target && TargetEntry(run.dlg.Lists(), *target).ip != address_before) {
    const int errors = run.messages.Errors();
    run.dlg.OnMonitorSave();
    if (run.messages.Errors() != errors) return kExitFailed;
  }
  return kExitOk;
}

int RunUpgrade(const CommandLine& c, DeviceRun& run) {
  ConsoleOperations console_operations(c, run);
  DeviceOperations& operations = console_operations.operations;

  // "Upgrade firmware": the gate, then the manager subnet check on the list the switch is in.
  const auto target = operations.GateUpgradeFirmware();
  if (!target) return kExitFailed;
  const DeviceTable& list = target->in_monitor_list ? run.dlg.MonitorTable() : run.dlg.DiscoveryTable();
  SystemInterfaceAddresses addresses;
  if (CheckManagerSubnet(list, target->index, run.messages, addresses) != 1) return kExitFailed;

  auto password = console_operations.secrets.Read(c.password, "Password: ");
  if (!password) {
    return console_operations.secrets.Stopped() ? Interrupted(run.console, "stopped before anything was sent") : kExitFailed;
  }

  // The main window's reboot watch, on the loop's timers.
  SocketSetUpgradeNetwork network(run.engine.Sockets());
  RebootSeenOf<ReplyDispatcher> reboot_seen(run.engine.Dispatcher());
  std::unique_ptr<RebootWatch> watch;
  UiThreadTimers watch_timers(run.loop, [&watch](int id) {
    if (watch) watch->OnTimer(id);
  });
  watch = std::make_unique<RebootWatch>(network, reboot_seen, [&run] { run.dlg.ClearDiscoveryList(); },
                                        run.messages, watch_timers);

  // The Firmware Upgrade dialog, with its own timers and TFTP socket on the same loop.
  std::unique_ptr<CFirmware_Upgrade> upgrade;
  ConsoleUpgradeView view(run.console.out, run.console.out_is_terminal, [&upgrade] {
    return ConsoleUpgradeView::Progress{OperationContext::Instance().UpgradeBytesSent(),
                                        upgrade ? static_cast<long>(upgrade->Transfer().FileSize()) : 0L};
  });
  view.SetOnStartRebootWatch([&watch] { watch->WatchReboot(); });
  UiThreadTimers dialog_timers(run.loop, [&upgrade](int id) {
    if (upgrade) upgrade->OnTimer(id);
  });
  UdpTftpTransport transport(
      [&run, &upgrade](int fd) {
        run.loop.WatchReadable(fd, [&upgrade] {
          if (upgrade) upgrade->OnTftpReceive();
        });
      },
      [&run](int fd) { run.loop.Unwatch(fd); });
  NoBrowse no_browse;
  upgrade = std::make_unique<CFirmware_Upgrade>(FirmwareUpgradeWiring{list, target->index, network, transport,
                                                                     dialog_timers, run.messages, no_browse, view});
  struct EndDialogFirst {
    std::unique_ptr<CFirmware_Upgrade>& upgrade;
    ~EndDialogFirst() { upgrade.reset(); }
  } end_dialog_first{upgrade};

  upgrade->OnInitDialog();
  run.console.out << "Upgrading " << Ipv4ToText(OperationContext::Instance().UpgradeTargetIp()) << " ("
                  << OperationContext::Instance().UpgradeTargetMac() << ") with " << c.file << '\n';
  run.console.out.flush();
  upgrade->OnStart(*password, c.file);
  WipeString(*password);
  // "Start" renews the membership, then checks the password and the file: a refusal is told
  // then, before anything is sent, and leaves the dialog open, which ends the run below.
  if (!upgrade->Busy()) return kExitFailed;

  run.loop.RunUntil([&] { return run.stopped() || !upgrade->Busy(); }, kTransferLimit);
  if (upgrade->Busy()) {
    upgrade->OnCancel();
    return run.stopped() ? Interrupted(run.console, "upgrade cancelled; the switch was not told") : kExitFailed;
  }
  // "Trigger failed", "Device not found", a transfer that gave up or the switch's TFTP ERROR: the
  // window's dialog stays open (or closes) for another try; here the try has failed.
  if (view.Ended() != DialogEnd::kCompleted) return kExitFailed;

  run.loop.RunUntil([&] { return run.stopped() || !watch->Running(); }, kRebootWatchLimit);
  if (watch->Running()) {
    return run.stopped() ? Interrupted(run.console, "stopped while waiting for the switch to restart") : kExitFailed;
  }
  return watch->Verdict() == RebootVerdict::kBack ? kExitOk : kExitFailed;
}

}  // namespace

std::optional<TargetRow> FindTargetRow(CSwitchdeskDlg& dlg, const TargetArgument& target, std::ostream& err) {
  const std::string text = TargetText(target);
  const DeviceTable& monitor = dlg.MonitorTable();
  for (const DeviceRecord& entry : monitor.Entries(monitor.Count())) {
    if (!Matches(entry, target)) continue;
    if (entry.answered == 0) {
      err << "switchdesk-cli: " << text << " is in the Monitor List but did not answer\n";
      return std::nullopt;
    }
    const int row = RowShowing(dlg.MonitorListControl(), kMonitorColumnIp, GetText(entry.ip_text));
    if (row < 0) break;
    return TargetRow{TableKind::Monitor, row};
  }
  const DeviceTable& discovery = dlg.DiscoveryTable();
  std::vector<std::string> macs;
  for (const DeviceRecord& entry : discovery.Entries(discovery.Count())) {
    if (Matches(entry, target)) macs.emplace_back(GetText(entry.mac_text));
  }
  if (macs.size() > 1) {
    err << "switchdesk-cli: " << macs.size() << " switches answered at " << text
        << "; name one by its MAC address\n";
    return std::nullopt;
  }
  const int row = macs.empty() ? -1 : RowShowing(dlg.DiscoveryListControl(), kDiscoveryColumnMac, macs.front());
  if (row < 0) {
    err << "switchdesk-cli: no switch answered at " << text << '\n';
    return std::nullopt;
  }
  return TargetRow{TableKind::Discovery, row};
}

int RunDeviceCommand(const CommandLine& c, DeviceRun& run) {
  if (!Discover(run, c.wait)) return Interrupted(run.console, "stopped during the discovery");
  const auto where = FindTargetRow(run.dlg, c.target, run.console.err);
  if (!where) return kExitFailed;
  // The row, selected as the user would click it.
  (where->list == TableKind::Monitor ? run.monitor_list : run.discovery_list).SetSelected(where->row, true);
  if (c.kind == CommandKind::Upgrade) return RunUpgrade(c, run);
  return RunSetOperation(c, run, *where);
}

}  // namespace sd::cli
