// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/console_dialogs.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace sd::cli {

void ConsoleMessages::ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) {
  std::lock_guard lock(mutex_);
  if (icon == MessageIcon::Error) ++errors_;
  if (icon == MessageIcon::Warning) ++warnings_;
  const char* priority = !journal_ ? nullptr
                         : icon == MessageIcon::Error ? "<3>"
                         : icon == MessageIcon::Warning ? "<4>"
                                                        : nullptr;
  if (priority == nullptr) {
    err_ << title << ": " << text << '\n';
  } else {
    // The journal reads a priority per line.
    err_ << priority << title << ": ";
    for (char c : text) {
      err_ << c;
      if (c == '\n') err_ << priority;
    }
    err_ << '\n';
  }
  err_.flush();
  if (observer_) observer_(text, icon);
}

void ConsoleMessages::SetObserver(Observer observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

int ConsoleMessages::Errors() const {
  std::lock_guard lock(mutex_);
  return errors_;
}

int ConsoleMessages::Warnings() const {
  std::lock_guard lock(mutex_);
  return warnings_;
}

std::optional<std::string> ConsoleQuestions::Ask(std::string_view text, std::string_view title,
                                                 std::string_view choices, std::string_view yes_answer) {
  if (!console_.interactive) {
    console_.err << title << ": " << text << "\nCancel: there is no terminal to answer at; --yes answers "
                 << yes_answer << ".\n";
    console_.err.flush();
    return std::nullopt;
  }
  console_.err << title << ": " << text << " [" << choices << "] ";
  console_.err.flush();
  std::string answer;
  if (!std::getline(console_.in, answer)) return std::nullopt;
  answer.erase(std::remove_if(answer.begin(), answer.end(), [](unsigned char c) { return std::isspace(c); }),
               answer.end());
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return answer;
}

bool ConsoleQuestions::AskOkCancel(std::string_view text, std::string_view title, MessageIcon) {
  if (assume_ok_) return true;
  const std::optional<std::string> answer = Ask(text, title, "OK/Cancel", "OK");
  return answer && (*answer == "ok" || *answer == "o" || *answer == "yes" || *answer == "y");
}

SaveChoice ConsoleQuestions::AskSaveDiscardCancel(std::string_view text, std::string_view title, MessageIcon) {
  if (assume_ok_) return SaveChoice::Save;
  const std::optional<std::string> answer = Ask(text, title, "Save/Discard/Cancel", "Save");
  if (answer && (*answer == "save" || *answer == "s")) return SaveChoice::Save;
  if (answer && (*answer == "discard" || *answer == "d")) return SaveChoice::Discard;
  return SaveChoice::Cancel;
}

bool ArgumentRemoteIpDialog::Run(const std::function<bool(std::uint32_t address)>& apply) {
  // A refused address would leave the window's dialog open for another try; here there is no
  // other try, so the dialog ends as cancelled.
  return address_ && apply(*address_);
}

std::optional<std::string> ArgumentFileDialogs::Chosen(const FileDialogRequest& request) const {
  if (!path_) return std::nullopt;
  std::error_code ec;
  if (std::filesystem::is_directory(*path_, ec)) {
    return (std::filesystem::path(*path_) / request.initial_name).string();
  }
  return path_;
}

std::optional<std::string> ArgumentFileDialogs::AskSavePath(const FileDialogRequest& request) {
  auto path = Chosen(request);
  if (!path) return std::nullopt;
  std::error_code ec;
  if (std::filesystem::exists(*path, ec) &&
      !questions_.AskOkCancel(*path + " already exists.\nDo you want to replace it?", kTitleWarning,
                              MessageIcon::Warning)) {
    return std::nullopt;
  }
  answered_ = true;
  return path;
}

std::optional<std::string> ArgumentFileDialogs::AskOpenPath(const FileDialogRequest& request) {
  auto path = Chosen(request);
  if (!path) return std::nullopt;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(*path, ec)) {
    messages_.Error(*path + ": no such file.");
    return std::nullopt;
  }
  answered_ = true;
  return path;
}

}  // namespace sd::cli
