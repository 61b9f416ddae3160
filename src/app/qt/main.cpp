// Switchdesk: the window application. Everything the window does goes through the core.

#include <QApplication>

#include "app/qt/images.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_messages.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Switchdesk"));
  QApplication::setWindowIcon(sd::gui::ImageIcon(sd::gui::Image::Program));

  sd::gui::MainWindow window;
  sd::gui::QtMessages messages(&window);
  window.Initialise(messages);
  window.show();
  return QApplication::exec();
}
