// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Scripted stand-ins for the OK/Cancel questions and the desktop's programs.

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "common/desktop_shell.h"
#include "common/questions.h"
#include "support/recording_messages.h"

namespace sd::test {

// Answers each question with the next scripted answer (OK, or Discard, when the script has run
// out) and records what was asked.
class ScriptedQuestions : public IQuestions {
 public:
  bool AskOkCancel(std::string_view text, std::string_view title, MessageIcon icon) override {
    asked.push_back({std::string(text), std::string(title), icon});
    if (answers.empty()) return true;
    const bool ok = answers.front();
    answers.pop_front();
    return ok;
  }
  // The next scripted choice; Discard when the script has run out.
  SaveChoice AskSaveDiscardCancel(std::string_view text, std::string_view title, MessageIcon icon) override {
    asked.push_back({std::string(text), std::string(title), icon});
    if (save_choices.empty()) return SaveChoice::Discard;
    const SaveChoice choice = save_choices.front();
    save_choices.pop_front();
    return choice;
  }
  std::deque<bool> answers;
  std::deque<SaveChoice> save_choices;
  std::vector<ShownMessage> asked;
};

// Records the programs that would be started; the browser starts when `browser_starts`.
class RecordingDesktopShell : public IDesktopShell {
 public:
  void OpenWebBrowser(std::string_view address, std::function<void(bool started)> done) override {
    browser_addresses.emplace_back(address);
    done(browser_starts);
  }
  bool OpenTextEditor(std::string_view path) override {
    editor_paths.emplace_back(path);
    return editor_starts;
  }

  bool browser_starts = true;
  bool editor_starts = true;
  std::vector<std::string> browser_addresses;
  std::vector<std::string> editor_paths;
};

}  // namespace sd::test
