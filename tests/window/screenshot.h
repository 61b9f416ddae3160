// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Saves what a widget shows as a PNG under the build folder (screenshots/NAME.png; NAME may
// name a subfolder, as in "dark/about"), for looking at the window without a display. Returns the file's path, or "" when it could not be written.
// The build folder is $SWITCHDESK_TEST_BINARY_DIR (set by CTest), else the one the tests were
// built in.

#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QString>
#include <QWidget>
#include <cstdlib>
#include <string>

namespace sd::test {

inline std::string SaveScreenshot(QWidget& widget, const std::string& name) {
  const char* build = std::getenv("SWITCHDESK_TEST_BINARY_DIR");
  const QString folder =
      QString::fromLocal8Bit(build && *build ? build : SWITCHDESK_BUILD_DIR) + QStringLiteral("/screenshots");
  const QString path = folder + QLatin1Char('/') + QString::fromStdString(name) + QStringLiteral(".png");
  if (!QFileInfo(path).dir().mkpath(QStringLiteral("."))) return {};
  return widget.grab().save(path, "PNG") ? path.toStdString() : std::string();
}

}  // namespace sd::test
