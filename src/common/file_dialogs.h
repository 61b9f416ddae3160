// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The platform's open and save file dialogs, reduced to what the program asks of them, so the
// core never opens a window and tests script the user's choice.

#include <optional>
#include <string>

namespace sd {

struct FileDialogRequest {
  std::string filter_name;   // shown to the user, e.g. "config File (*.cfg)"
  std::string filter_glob;   // the names it matches, e.g. "*.cfg"
  std::string initial_name;  // the file name the dialog starts with
};

class IFileDialogs {
 public:
  virtual ~IFileDialogs() = default;
  // A modal save dialog that asks before it replaces an existing file. The full path chosen, or
  // nothing when the user cancelled.
  virtual std::optional<std::string> AskSavePath(const FileDialogRequest& request) = 0;
  // A modal open dialog in which only an existing file can be chosen. The full path chosen, or
  // nothing when the user cancelled.
  virtual std::optional<std::string> AskOpenPath(const FileDialogRequest& request) = 0;
};

}  // namespace sd
