#pragma once
// Questions the program asks before it does something that cannot be undone, so the core never
// blocks on a window and tests script the answer.

#include <string_view>

#include "common/messages.h"

namespace sd {

class IQuestions {
 public:
  virtual ~IQuestions() = default;
  // A modal box with the buttons OK and Cancel. True when the user chose OK; Cancel, Escape
  // and closing the box give false.
  virtual bool AskOkCancel(std::string_view text, std::string_view title, MessageIcon icon) = 0;
};

}  // namespace sd
