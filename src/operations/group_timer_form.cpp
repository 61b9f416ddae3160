// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/group_timer_form.h"

#include "operations/configuration_form.h"
#include "settings/settings_file.h"

namespace sd {

namespace {
constexpr std::size_t kReadLimit = 10;
constexpr int kMinimum = 120;
constexpr int kMaximum = 1225;
}  // namespace

GroupTimerForm::GroupTimerForm(IRequestSender& sender, IMessages& messages)
    : sender_(sender), messages_(messages) {}

std::string GroupTimerForm::InitialText() const { return std::to_string(Settings.multicast_timer.load()); }

bool GroupTimerForm::OnOk(std::string_view text) {
  sender_.RefreshMulticastMembership();
  text = text.substr(0, text.find_first_of("\r\n"));
  text = text.substr(0, kReadLimit);
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      messages_.Error(kGroupIntervalDigitsMessage);
      return false;
    }
    // Past the largest accepted value the exact number no longer matters.
    if (value <= kMaximum) value = value * 10 + (c - '0');
  }
  // The settings file keeps at most four digits; a longer text (only possible without the
  // dialog's limit) is refused like a value out of range.
  if ((value != 0 && (value < kMinimum || value > kMaximum)) || text.size() > kGroupIntervalTextLimit) {
    messages_.Error(kManagerGroupIntervalRangeMessage);
    return false;
  }
  const int flag = value == 0 ? 0 : 1;
  RewriteMulticastTimer(text, flag ? '1' : '0', messages_);
  Settings.multicast_timer = value;
  Settings.multicast_timer_flag = flag;
  Settings.multicast_interface_on_off = 1;
  return true;
}

}  // namespace sd
