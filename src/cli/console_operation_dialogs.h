// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The terminal's stand-ins for the device operations' dialogs. Each fills its form as the user
// would fill the window's dialog: the fields named on the command line are typed over what the
// dialog opens with, the rest stay as the switch reported them, and the passwords come from their
// sources. Then it presses "Set" (or "Apply") once. The form decides what is accepted, with its
// own messages; a refused form has no second try here, so the dialog ends as cancelled.

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "cli/secrets.h"
#include "operations/firmware_upgrade_view.h"
#include "operations/operation_dialogs.h"

namespace sd::cli {

// What a console dialog did.
enum class DialogOutcome {
  kNotRun,     // the launcher refused before the dialog
  kCancelled,  // the options or a password source could not fill the dialog, or the form refused
  kStopped,    // a stop signal ended the password prompt
  kSent,       // the form sent its request
};

class ConsoleConfigurationDialog : public IConfigurationDialog {
 public:
  ConsoleConfigurationDialog(const SetFields& fields, const SecretSource& password, SecretReader& secrets,
                             std::ostream& err)
      : fields_(fields), password_(password), secrets_(secrets), err_(err) {}
  // "Enable"/"Disable" as --dhcp says, the fields typed over the initial view, then "Set".
  void Run(ConfigurationForm& form) override;
  DialogOutcome Outcome() const { return outcome_; }

 private:
  bool Refuse(std::string_view why);

  const SetFields& fields_;
  const SecretSource& password_;
  SecretReader& secrets_;
  std::ostream& err_;
  DialogOutcome outcome_ = DialogOutcome::kNotRun;
};

class ConsoleChangePasswordDialog : public IChangePasswordDialog {
 public:
  // The new password from a prompt is asked for twice ("New password", "Confirm password"); from
  // a file or a variable it is read once and is its own confirmation.
  ConsoleChangePasswordDialog(const SecretSource& original, const SecretSource& new_password, SecretReader& secrets)
      : original_(original), new_password_(new_password), secrets_(secrets) {}
  void Run(ChangePasswordForm& form) override;
  DialogOutcome Outcome() const { return outcome_; }

 private:
  const SecretSource& original_;
  const SecretSource& new_password_;
  SecretReader& secrets_;
  DialogOutcome outcome_ = DialogOutcome::kNotRun;
};

class ConsoleDhcpRefreshDialog : public IDhcpRefreshDialog {
 public:
  ConsoleDhcpRefreshDialog(const SecretSource& password, SecretReader& secrets)
      : password_(password), secrets_(secrets) {}
  void Run(DhcpRefreshForm& form) override;
  DialogOutcome Outcome() const { return outcome_; }

 private:
  const SecretSource& password_;
  SecretReader& secrets_;
  DialogOutcome outcome_ = DialogOutcome::kNotRun;
};

// The terminal has no Group Interval command: the dialog is never opened from it.
class NoGroupIntervalDialog : public IGroupIntervalDialog {
 public:
  void Run(GroupTimerForm&) override {}
};

// The Firmware Upgrade dialog's boxes on a terminal. The Upgrade State texts are lines; while the
// blocks go out, a terminal shows one progress bar redrawn in place, and anything else a line
// at every tenth of the file (so a log stays short).
class ConsoleUpgradeView : public IFirmwareUpgradeView {
 public:
  struct Progress {
    long sent = 0;
    long size = 0;
  };
  ConsoleUpgradeView(std::ostream& out, bool terminal, std::function<Progress()> progress)
      : out_(out), terminal_(terminal), progress_(std::move(progress)) {}

  void ShowDeviceIp(std::string_view) override {}
  void ShowDeviceMac(std::string_view) override {}
  void ShowFirmwarePath(std::string_view) override {}
  void ShowUpgradeState(std::string_view text) override;
  void StartRebootWatch() override;
  void EndDialog(DialogEnd how) override { ended_ = how; }

  // Called when the transfer asks for the reboot watch.
  void SetOnStartRebootWatch(std::function<void()> start) { start_reboot_watch_ = std::move(start); }
  std::optional<DialogEnd> Ended() const { return ended_; }
  const std::string& LastState() const { return last_state_; }

  // "[#####     ]  50%  512/1024 bytes": a bar of 30 cells.
  static std::string Bar(Progress p);

 private:
  void EndBar();

  std::ostream& out_;
  bool terminal_;
  std::function<Progress()> progress_;
  std::function<void()> start_reboot_watch_;
  std::optional<DialogEnd> ended_;
  std::string last_state_;
  bool bar_drawn_ = false;
  long shown_tenths_ = -1;
};

}  // namespace sd::cli
