// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user-interface thread as the core sees it: tasks posted from any thread run in the Qt
// event loop, after their delay. Tasks still pending when this object goes are dropped.

#include <QObject>

#include "common/ui_thread.h"

namespace sd::gui {

class QtUiThread : public IUiThread {
 public:
  // Create on the user-interface thread.
  QtUiThread() = default;

  void Post(std::function<void()> task, std::chrono::milliseconds delay = std::chrono::milliseconds(0)) override;

 private:
  // Lives on the user-interface thread; queued calls and timers die with it.
  QObject context_;
};

}  // namespace sd::gui
