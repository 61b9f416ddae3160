// SPDX-License-Identifier: GPL-3.0-or-later
// Loaded with LD_PRELOAD into an installed, unchanged switchdesk to see what it shows without a
// display: once the program's event loop has run for $SWITCHDESK_GRAB_AFTER_MS (default 3000),
// saves its largest visible window to $SWITCHDESK_GRAB_PNG, prints "grabbed TITLE WxH" and ends
// the program normally (exit status 0; 3 when nothing could be saved).

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

void GrabAndQuit(const QString& path) {
  QWidget* largest = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible()) continue;
    if (largest == nullptr || w->width() * w->height() > largest->width() * largest->height()) largest = w;
  }
  const bool saved = largest != nullptr && largest->grab().save(path, "PNG");
  if (saved) {
    std::printf("grabbed %s %dx%d\n", qPrintable(largest->windowTitle()), largest->width(), largest->height());
  } else {
    std::printf("nothing grabbed\n");
  }
  std::fflush(stdout);
  QCoreApplication::exit(saved ? 0 : 3);
}

// Runs inside the QCoreApplication constructor, before its event loop: the timer is started from
// the loop's first pass.
void ArmGrab() {
  const QString path = qEnvironmentVariable("SWITCHDESK_GRAB_PNG");
  if (path.isEmpty()) return;
  bool ok = false;
  int after = qEnvironmentVariableIntValue("SWITCHDESK_GRAB_AFTER_MS", &ok);
  if (!ok || after <= 0) after = 3000;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [path, after] { QTimer::singleShot(after, QCoreApplication::instance(), [path] { GrabAndQuit(path); }); },
      Qt::QueuedConnection);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(ArmGrab)
