// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The "Group Interval" dialog without its widgets: the manager's own IGMP report interval. "OK"
// checks the typed seconds, writes them into define.ecf and hands them to the report thread.

#include <string>
#include <string_view>

#include "common/messages.h"
#include "operations/request_sender.h"

namespace sd {

inline constexpr std::string_view kManagerGroupIntervalRangeMessage =
    "Value of Group Interval must between 120~1225\n ";

class GroupTimerForm {
 public:
  GroupTimerForm(IRequestSender& sender, IMessages& messages);

  // What edit 1136 (at most 4 characters) shows when the dialog opens: the current interval.
  std::string InitialText() const;

  // "OK" (and Enter): renews the group membership; then the first line of the text, at most 10
  // characters, must be digits only ("Group Interval only includes 0-9") and 0 or 120 to 1225
  // ("Value of Group Interval must between 120~1225\n "); an empty text is 0. A refusal keeps
  // the dialog open (false). Otherwise define.ecf receives the text as typed and the flag (0 for
  // 0, else 1), and in memory multicast_timer, multicast_timer_flag and
  // multicast_interface_on_off (1) change, also when the file could not be written; the dialog
  // closes (true).
  bool OnOk(std::string_view text);

 private:
  IRequestSender& sender_;
  IMessages& messages_;
};

}  // namespace sd
