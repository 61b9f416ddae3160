// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Starting the desktop's programs, always with the switch's address or the log's path as the
// only argument.
//
// The browser is the first that can be found of:
//   1. the programs of $BROWSER (a list separated by ':', each entry a command in which "%s"
//      stands for the address);
//   2. the desktop's default web browser: the application that `xdg-mime` names for http, started
//      from its desktop entry's Exec line with the address;
//   3. x-www-browser, Debian's system-wide choice.
// xdg-open itself is no browser here: it takes an address without a scheme for a file name.
//
// The text editor is whatever xdg-open chooses for the file, else (when xdg-open is missing or
// cannot be started) the Debian "editor" alternative. Programs are started detached, so they outlive the utility.

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "common/desktop_shell.h"

namespace sd::gui {

// The Exec value of a desktop entry's [Desktop Entry] group, as written in the file; nothing
// when there is none.
std::optional<QString> DesktopEntryExec(const QString& entry_text);

// An Exec value made into a program and its arguments, with `argument` for the file or URL
// field code (%u, %U, %f or %F; at the end when there is none) and the other field codes
// dropped. Empty when the value is malformed (an unclosed quote).
QStringList ExpandDesktopExec(const QString& exec, const QString& argument);

class DesktopShell : public IDesktopShell {
 public:
  // How programs are found and started; tests replace all of it.
  struct Platform {
    // The full path of a program found on PATH (or given with a path), or "" when absent.
    std::function<QString(const QString& program)> find_program;
    // Starts the program detached with the arguments; false when it could not be started.
    std::function<bool(const QString& program, const QStringList& arguments)> start_detached;
    // The value of an environment variable, or nothing when it is unset.
    std::function<std::optional<QString>(const char* name)> environment;
    // Runs a program without waiting for it; `done` gets its standard output, trimmed, when it
    // ended with status 0, else nothing (also when it did not end within 3 seconds).
    std::function<void(const QString& program, const QStringList& arguments,
                       std::function<void(std::optional<QString> output)> done)>
        read_output;
    // The text of the installed desktop entry with this id (e.g. "firefox-esr.desktop").
    std::function<std::optional<QString>(const QString& desktop_id)> desktop_entry;
  };
  static Platform SystemPlatform();

  DesktopShell() : DesktopShell(SystemPlatform()) {}
  explicit DesktopShell(Platform platform) : platform_(std::move(platform)) {}
  // An answer of the desktop that arrives afterwards starts nothing.
  ~DesktopShell() override { *alive_ = false; }
  DesktopShell(const DesktopShell&) = delete;
  DesktopShell& operator=(const DesktopShell&) = delete;

  void OpenWebBrowser(std::string_view address, std::function<void(bool started)> done) override;
  bool OpenTextEditor(std::string_view path) override;

  // The commands of $BROWSER, in order, each with the address in place.
  QList<QStringList> BrowserVariableCommands(const QString& address) const;
  // The command of the desktop's default web browser, when the desktop names one; `done` gets
  // it once xdg-mime has answered.
  void DefaultBrowserCommand(const QString& address, std::function<void(std::optional<QStringList>)> done) const;

 private:
  // Starts the command when its program is found: whether it started, or nothing when the
  // program is not there.
  std::optional<bool> StartIfFound(QStringList command);

  Platform platform_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace sd::gui
