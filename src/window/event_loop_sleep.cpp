// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/event_loop_sleep.h"

#include <QEventLoop>
#include <QTimer>

namespace sd::gui {

void SleepKeepingEventLoop(std::chrono::milliseconds duration) {
  QEventLoop loop;
  QTimer::singleShot(duration, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace sd::gui
