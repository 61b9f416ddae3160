// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program tells the user goes through this interface, so the core never blocks on a
// window and tests capture every message instead.

#include <string>
#include <string_view>

namespace sd {

enum class MessageIcon { None, Information, Warning, Error };

// The title of the plain boxes that carry the application's own name.
inline constexpr std::string_view kApplicationName = "Switchdesk";

inline constexpr std::string_view kTitleError = "Error";
inline constexpr std::string_view kTitleWarning = "Warning";
inline constexpr std::string_view kTitleInformation = "Information";

class IMessages {
 public:
  virtual ~IMessages() = default;
  // A modal box with one OK button; returns when the user has closed it.
  virtual void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) = 0;

  void Error(std::string_view text) { ShowMessage(text, kTitleError, MessageIcon::Error); }
  void Warning(std::string_view text) { ShowMessage(text, kTitleWarning, MessageIcon::Warning); }
  void Information(std::string_view text) {
    ShowMessage(text, kTitleInformation, MessageIcon::Information);
  }
  // A plain box: no icon, the application's name as its title.
  void Plain(std::string_view text) { ShowMessage(text, kApplicationName, MessageIcon::None); }
};

}  // namespace sd
