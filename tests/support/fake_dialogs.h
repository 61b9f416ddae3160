// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Scripted stand-ins for the file dialogs and the Remote IP dialog.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/file_dialogs.h"
#include "common/remote_ip_dialog.h"

namespace sd::test {

// Answers every save (open) dialog with the path set here; nothing means the user cancels.
class FakeFileDialogs : public IFileDialogs {
 public:
  std::optional<std::string> AskSavePath(const FileDialogRequest& request) override {
    save_requests.push_back(request);
    return save_answer;
  }
  std::optional<std::string> AskOpenPath(const FileDialogRequest& request) override {
    open_requests.push_back(request);
    return open_answer;
  }
  std::optional<std::string> save_answer;
  std::optional<std::string> open_answer;
  std::vector<FileDialogRequest> save_requests;
  std::vector<FileDialogRequest> open_requests;
};

// The user types each address in turn and presses "Apply" until one is accepted; when none is,
// the user cancels.
class ScriptedRemoteIpDialog : public IRemoteIpDialog {
 public:
  bool Run(const std::function<bool(std::uint32_t)>& apply) override {
    ++runs;
    for (std::uint32_t address : typed) {
      if (apply(address)) return true;
    }
    return false;
  }
  std::vector<std::uint32_t> typed;
  int runs = 0;
};

}  // namespace sd::test
