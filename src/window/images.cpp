// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/images.h"

#include <QGuiApplication>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

namespace sd::gui {
namespace {

QString ResourcePath(Image image) {
  switch (image) {
    case Image::Program: return QStringLiteral(":/images/program.svg");
    case Image::AddToMonitor: return QStringLiteral(":/images/add_to_monitor.svg");
    case Image::TrapIdle: return QStringLiteral(":/images/trap_green.svg");
    case Image::TrapWaiting: return QStringLiteral(":/images/trap_red.svg");
    case Image::StatusWarning: return QStringLiteral(":/images/status_warning.svg");
    case Image::StatusNotAlive: return QStringLiteral(":/images/status_not_alive.svg");
    case Image::About: return QStringLiteral(":/images/about.svg");
  }
  return {};
}

}  // namespace

QSize ImageSize(Image image) {
  switch (image) {
    case Image::Program: return {64, 64};
    case Image::AddToMonitor: return {12, 14};
    case Image::About: return {32, 32};
    case Image::TrapIdle:
    case Image::TrapWaiting:
    case Image::StatusWarning:
    case Image::StatusNotAlive: return {16, 16};
  }
  return {16, 16};
}

QPixmap ImagePixmap(Image image, QSize size) {
  QSvgRenderer renderer(ResourcePath(image));
  if (!renderer.isValid()) return {};
  const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
  QPixmap pixmap(size * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
  return pixmap;
}

QIcon ImageIcon(Image image) {
  QIcon icon;
  for (int side : {16, 24, 32, 48, 64, 128}) icon.addPixmap(ImagePixmap(image, QSize(side, side)));
  return icon;
}

QIcon StatusIcon(int index) {
  // Rows are rebuilt often, so the two icons are drawn once per application object and
  // released with it (pixmaps must not outlive it).
  static QIcon cache[2];
  if (index != kStatusImageWarning && index != kStatusImageNotAlive) return {};
  if (cache[0].isNull()) {
    cache[0] = ImageIcon(Image::StatusWarning);
    cache[1] = ImageIcon(Image::StatusNotAlive);
    QObject::connect(qApp, &QObject::destroyed, [] { cache[0] = cache[1] = QIcon(); });
  }
  return cache[index];
}

}  // namespace sd::gui
