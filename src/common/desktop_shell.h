// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The programs of the desktop that the main window starts: the web browser on a switch's own
// web interface and the text editor on the event log. Tests record what would be started.

#include <functional>
#include <string_view>

namespace sd {

class IDesktopShell {
 public:
  virtual ~IDesktopShell() = default;
  // Starts the web browser with the switch's address as its only argument (no scheme, no
  // path). Never waits: finding the browser may ask the desktop, and `done` is called, now or
  // later on the same thread, with false when no browser could be started.
  virtual void OpenWebBrowser(std::string_view address, std::function<void(bool started)> done) = 0;
  // Opens the file in the desktop's text editor. False when no editor could be started.
  virtual bool OpenTextEditor(std::string_view path) = 0;
};

}  // namespace sd
