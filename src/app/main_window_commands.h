// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's own commands that act on the device lists or open something: "Delete item",
// "Access web" and the Monitor List's double click, "View log" and "Clear log", and the
// refresh-time choice. They run on the user-interface thread and tell the user through the
// interfaces they are given.

#include <string>
#include <string_view>

#include "app/switchdesk_dlg.h"
#include "common/desktop_shell.h"
#include "common/messages.h"
#include "common/questions.h"

namespace sd {

inline constexpr std::string_view kDeleteEntryQuestion = "Delete entry?";
inline constexpr std::string_view kDeviceMustBeMonitored = "Device must be in Monitor List.";
inline constexpr std::string_view kOnlyOneDevice = "Only one device can be selected";
inline constexpr std::string_view kSelectOneMonitored = "Please select one device in the monitor list";
inline constexpr std::string_view kFirmwareOnly =
    "Switch cannot be configured.\nPlease upload firmware and retry.";
inline constexpr std::string_view kBrowserFailed = "Unable to open Web browser.";
inline constexpr std::string_view kSaveMonitorListQuestion =
    "The Monitor List has changed since it was last saved.\nSave it before closing?";

// "View log" when no text editor starts: where the log is, so the user can open it.
std::string EditorMissingMessage(std::string_view log_path);
// "Clear log" when the log could not be removed or made again: the path and the reason.
std::string ClearLogFailedMessage(std::string_view log_path, int error);

class MainWindowCommands {
 public:
  // Everything given must outlive the commands.
  MainWindowCommands(CSwitchdeskDlg& dialog, IMessages& messages, IQuestions& questions,
                     IDesktopShell& desktop);

  // "Delete item": with Monitor List rows selected, asks "Delete entry?" and, unless the answer
  // is Cancel, removes those devices. monitor.cfg is not written.
  void OnDeleteItem();
  // "Access web": refuses a selection in the Discovery List, then opens the browser on the one
  // selected Monitor List device.
  void OnAccessWeb();
  // Double click on the Monitor List: as "Access web", whatever the Discovery List selects.
  void OnMonitorDoubleClick();
  // "View log": the event log in the desktop's text editor; when none starts, a warning names
  // the log's path.
  void OnViewLog();
  // "Clear log": the event log emptied, without asking; an error names the path and the reason
  // when it could not be.
  void OnClearLog();
  // One of the "Refresh time" items: the poll thread's interval from its next pass on.
  void OnRefreshTime(int seconds);
  // Before the window closes ("Exit", File > "Exit", the close box): true when it may close.
  // An unchanged Monitor List closes without a question. A changed one asks whether to save it:
  // "Save" writes it as "Monitor save" does and closes only when that worked, "Discard" closes,
  // "Cancel" keeps the window open.
  bool MayClose();

 private:
  void OpenWebOnSelectedMonitorDevice();

  CSwitchdeskDlg& dialog_;
  IMessages& messages_;
  IQuestions& questions_;
  IDesktopShell& desktop_;
};

}  // namespace sd
