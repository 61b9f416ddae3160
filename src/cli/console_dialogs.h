// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The terminal's stand-ins for the window's boxes and dialogs: a message box is a line
// "Title: text" on standard error; an OK/Cancel question is answered by --yes or at the terminal;
// the Remote IP dialog takes the address given on the command line and the file dialogs the FILE
// given there. What is accepted or refused is still decided by the core behind them.

#include <cstdint>
#include <functional>
#include <istream>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "common/file_dialogs.h"
#include "common/messages.h"
#include "common/questions.h"
#include "common/remote_ip_dialog.h"

namespace sd::cli {

struct Console {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  // Standard input and standard error are a terminal, so a question can be asked and answered.
  bool interactive = false;
  // The terminal's descriptor (standard input) whose echo a password prompt turns off; -1: the
  // prompt reads `in` as it is (tests).
  int terminal_fd = -1;
  // Standard output is a terminal: progress is drawn as a bar instead of lines.
  bool out_is_terminal = false;
  // Standard output, standard error is the journal's stream (IsJournalStream): lines carry the
  // journal's priority prefix.
  bool out_is_journal = false;
  bool err_is_journal = false;
};

class ConsoleMessages : public IMessages {
 public:
  // With `journal`, each line of an error begins with the journal's "<3>" (error) and each line
  // of a warning with "<4>" (warning); other messages keep the stream's own priority.
  explicit ConsoleMessages(std::ostream& err, bool journal = false) : err_(err), journal_(journal) {}
  // "Title: text" on one line (more when the text holds line breaks). Safe from any thread.
  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override;

  // Messages shown so far with the error icon, and with the warning icon.
  int Errors() const;
  int Warnings() const;

  // Called with every message after it has been shown (on the thread that showed it); nothing
  // stops observing.
  using Observer = std::function<void(std::string_view text, MessageIcon icon)>;
  void SetObserver(Observer observer);

 private:
  std::ostream& err_;
  const bool journal_;
  Observer observer_;
  mutable std::mutex mutex_;
  int errors_ = 0;
  int warnings_ = 0;
};

class ConsoleQuestions : public IQuestions {
 public:
  // With `assume_ok` (--yes) every question is answered OK without asking.
  ConsoleQuestions(Console& console, bool assume_ok) : console_(console), assume_ok_(assume_ok) {}
  // Asks "Title: text [OK/Cancel]" at the terminal; "ok", "o", "yes" or "y" in any case is OK,
  // anything else (or the end of the input) Cancel. Without a terminal the answer is Cancel,
  // and the user is told that --yes answers OK.
  bool AskOkCancel(std::string_view text, std::string_view title, MessageIcon icon) override;
  // Asks "Title: text [Save/Discard/Cancel]" the same way: "save" or "s" is Save, "discard" or
  // "d" Discard, anything else Cancel; --yes answers Save, no terminal Cancel.
  SaveChoice AskSaveDiscardCancel(std::string_view text, std::string_view title, MessageIcon icon) override;

 private:
  // The lower-case answer typed at the terminal without blanks; nothing without a terminal (the
  // user is told that --yes answers `yes_answer`) or at the end of the input.
  std::optional<std::string> Ask(std::string_view text, std::string_view title, std::string_view choices,
                                 std::string_view yes_answer);

  Console& console_;
  bool assume_ok_;
};

// "Apply" once with the address from the command line; no address is a cancelled dialog.
class ArgumentRemoteIpDialog : public IRemoteIpDialog {
 public:
  void SetAddress(std::uint32_t host_order) { address_ = host_order; }
  bool Run(const std::function<bool(std::uint32_t address)>& apply) override;

 private:
  std::optional<std::uint32_t> address_;
};

// The file dialogs answered with the FILE from the command line. A directory stands for the
// dialog's initial file name in it ("Default.cfg" for a save, "monitor.cfg" for a load). The
// save asks before it replaces an existing file; the load accepts only an existing file.
class ArgumentFileDialogs : public IFileDialogs {
 public:
  ArgumentFileDialogs(IMessages& messages, IQuestions& questions)
      : messages_(messages), questions_(questions) {}
  void SetPath(std::string path) { path_ = std::move(path); }
  // True once a dialog has been answered with a path (not cancelled).
  bool Answered() const { return answered_; }

  std::optional<std::string> AskSavePath(const FileDialogRequest& request) override;
  std::optional<std::string> AskOpenPath(const FileDialogRequest& request) override;

 private:
  std::optional<std::string> Chosen(const FileDialogRequest& request) const;

  IMessages& messages_;
  IQuestions& questions_;
  std::optional<std::string> path_;
  bool answered_ = false;
};

}  // namespace sd::cli
