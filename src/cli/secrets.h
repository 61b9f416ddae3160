// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Passwords for the device commands. They come from a prompt at the terminal with the echo
// turned off, from the first line of a file or from an environment variable, never from the
// command line; they are never printed, and every buffer that held one is wiped.

#include <optional>
#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "cli/console_dialogs.h"

namespace sd::cli {

// Longest line taken from a prompt or a file; the rest of a longer line is dropped (the forms
// refuse anything over 20 characters anyway).
inline constexpr std::size_t kLongestSecretLine = 255;

enum class SecretReadEnd { kLine, kEndOfInput, kStopped, kError };

// One line from the terminal `fd` with its echo off (restored before this returns), without
// its line end. When `stop_fd` (a StopSignals descriptor) becomes readable first, the read ends
// as kStopped so that Ctrl-C never leaves the terminal without echo. A descriptor that is not a
// terminal is read as it is.
SecretReadEnd ReadHiddenLine(int fd, int stop_fd, std::string& line);

class SecretReader {
 public:
  // `stop_fd`: see ReadHiddenLine; -1 for none.
  explicit SecretReader(Console& console, int stop_fd = -1) : console_(console), stop_fd_(stop_fd) {}

  // The secret from `source`; `prompt` (such as "Password: ") is shown for a prompt on standard
  // error. Nothing after a line on standard error that says why (no terminal to ask at, no such
  // file, variable not set, input ended).
  std::optional<std::string> Read(const SecretSource& source, std::string_view prompt);
  // The last Read ended by a stop signal.
  bool Stopped() const { return stopped_; }

 private:
  std::optional<std::string> Prompt(std::string_view prompt);
  std::optional<std::string> FromFile(const std::string& path);
  std::optional<std::string> FromEnvironment(const std::string& name);
  void Refuse(std::string_view why);

  Console& console_;
  int stop_fd_;
  bool stopped_ = false;
};

}  // namespace sd::cli
