#pragma once
// Starting the desktop's programs. The browser is the first program of $BROWSER (a list
// separated by ':', each entry a command in which "%s" stands for the address) that can be
// found, else xdg-open, else x-www-browser. The text editor is
// whatever xdg-open chooses for the file, else the Debian "editor" alternative. Programs are
// started detached, so they outlive the utility.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string_view>

#include "common/desktop_shell.h"

namespace sd::gui {

class DesktopShell : public IDesktopShell {
 public:
  // How programs are found and started; tests replace both.
  struct Platform {
    // The full path of a program found on PATH (or given with a path), or "" when absent.
    std::function<QString(const QString& program)> find_program;
    // Starts the program detached with the arguments; false when it could not be started.
    std::function<bool(const QString& program, const QStringList& arguments)> start_detached;
    // The value of an environment variable, or nothing when it is unset.
    std::function<std::optional<QString>(const char* name)> environment;
  };
  static Platform SystemPlatform();

  DesktopShell() : DesktopShell(SystemPlatform()) {}
  explicit DesktopShell(Platform platform) : platform_(std::move(platform)) {}

  bool OpenWebBrowser(std::string_view address) override;
  void OpenTextEditor(std::string_view path) override;

  // The browser programs tried, in order, before any is looked up.
  QStringList BrowserCandidates() const;

 private:
  bool StartFirstFound(const QStringList& candidates, const QString& argument);

  Platform platform_;
};

}  // namespace sd::gui
