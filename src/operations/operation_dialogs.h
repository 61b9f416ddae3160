// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dialogs of the device operations, as the window (or a terminal front end) provides them.
// Each runs modally over a form that holds the dialog's logic: the view shows the form's state,
// forwards the user's actions to it and closes when the form says so. Tests script the user.
//
// Common to all of them: the dialog is modal on the main window, its password edits hide what
// is typed and never hand the text to anything but the form, and closing by "Cancel", Escape or
// the close box changes nothing.

#include "operations/configuration_form.h"
#include "operations/dhcp_refresh_form.h"
#include "operations/group_timer_form.h"
#include "operations/password_form.h"

namespace sd {

// "Configuration setting" (template 134).
class IConfigurationDialog {
 public:
  virtual ~IConfigurationDialog() = default;
  // Shows form.View(). A click on "Enable" or "Disable" goes to OnDhcpEnable / OnDhcpDisable,
  // after which the radio buttons and the enabled state of the address controls follow View()
  // again. "Set" hands the typed values to OnSet and closes when it returns true. Enter and
  // Escape press no button and do not close the dialog.
  virtual void Run(ConfigurationForm& form) = 0;
};

// "Password_change" (template 139): "Original password", "New password", "Confirm password",
// each limited to 20 characters.
class IChangePasswordDialog {
 public:
  virtual ~IChangePasswordDialog() = default;
  // "Set" hands the three texts to OnSet and closes when it returns true. Enter and Escape press
  // no button and do not close the dialog.
  virtual void Run(ChangePasswordForm& form) = 0;
};

// "DHCP Refresh" (template 158): one password edit limited to 20 characters.
class IDhcpRefreshDialog {
 public:
  virtual ~IDhcpRefreshDialog() = default;
  // "Apply" (the default button, so also Enter) hands the text to OnApply and closes when it
  // returns true; Escape cancels.
  virtual void Run(DhcpRefreshForm& form) = 0;
};

// "Group Interval" (template 159): one edit limited to 4 characters, starting with
// form.InitialText().
class IGroupIntervalDialog {
 public:
  virtual ~IGroupIntervalDialog() = default;
  // "OK" (and Enter) hands the text to OnOk and closes when it returns true; "Cancel" and
  // Escape close without a change.
  virtual void Run(GroupTimerForm& form) = 0;
};

}  // namespace sd
