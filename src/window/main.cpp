// SPDX-License-Identifier: GPL-3.0-or-later
// Switchdesk: the window application. Everything the window does goes through the core.

#include <QApplication>

#include "window/images.h"
#include "window/main_window.h"
#include "settings/config_folder.h"
#include "settings/trap_store.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Switchdesk"));
  // Ties the window to its installed desktop entry (its icon and name on Wayland).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.switchdesk.Switchdesk"));
  QApplication::setWindowIcon(sd::gui::ImageIcon(sd::gui::Image::Program));

  // The first start of an installed program makes the per-user settings folder.
  sd::PrepareConfigFolder();

  // The traps received while the program runs; the network engine files them here.
  sd::TrapStore traps;
  sd::gui::MainWindow window(traps);
  // Without its multicast socket the program cannot run; the user has been told.
  if (!window.Initialise(sd::gui::Networking::On)) return 1;
  window.show();
  return QApplication::exec();
}
