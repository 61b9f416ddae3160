// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Questions the program asks before it does something that cannot be undone, so the core never
// blocks on a window and tests script the answer.

#include <string_view>

#include "common/messages.h"

namespace sd {

enum class SaveChoice { Save, Discard, Cancel };

class IQuestions {
 public:
  virtual ~IQuestions() = default;
  // A modal box with the buttons OK and Cancel. True when the user chose OK; Cancel, Escape
  // and closing the box give false.
  virtual bool AskOkCancel(std::string_view text, std::string_view title, MessageIcon icon) = 0;
  // A modal box with the buttons "Save", "Discard" and "Cancel", Save the default. Escape and
  // closing the box give Cancel.
  virtual SaveChoice AskSaveDiscardCancel(std::string_view text, std::string_view title, MessageIcon icon) = 0;
};

}  // namespace sd
