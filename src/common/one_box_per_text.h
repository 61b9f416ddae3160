// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Message boxes that datagrams, timers and the poll thread raise, at most one per text at a
// time. A box is modal: while it is open the window goes on dispatching datagrams, and each could
// open a further box inside it, one nested event loop per datagram. Any host that knows the
// manager identifier can send a burst of error replies, so a repeat of a box that is still open
// (same title, same text) is dropped. Boxes with other texts still show, and a text may show
// again once its box is closed.
//
// User-interface thread only. The texts in question are the program's own, so the set of open
// boxes stays as small as the number of distinct messages.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/messages.h"

namespace sd {

class OneBoxPerText : public IMessages {
 public:
  explicit OneBoxPerText(IMessages& shown) : shown_(shown) {}

  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override {
    for (const auto& [open_title, open_text] : open_) {
      if (open_title == title && open_text == text) return;
    }
    open_.emplace_back(std::string(title), std::string(text));
    shown_.ShowMessage(text, title, icon);
    // Boxes close innermost first; the one just closed is the last noted with this text.
    for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
      if (it->first == title && it->second == text) {
        open_.erase(std::next(it).base());
        break;
      }
    }
  }

  // Boxes open at this moment.
  std::size_t OpenCount() const { return open_.size(); }

 private:
  IMessages& shown_;
  std::vector<std::pair<std::string, std::string>> open_;
};

}  // namespace sd
