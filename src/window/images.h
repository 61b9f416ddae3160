// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own pictures, drawn as SVG and compiled into the executable. Each is named by
// the resource number the window layouts refer to.

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace sd::gui {

enum class Image {
  Program = 128,         // the window and task bar icon
  AddToMonitor = 129,    // beside "Add to Monitor List"
  TrapIdle = 130,        // trap indicator: green dot, no unread trap
  TrapWaiting = 131,     // trap indicator: red dot, a trap has arrived
  StatusWarning = 136,   // status image 0
  StatusNotAlive = 137,  // status image 1
  About = 164,           // the About dialog's icon
};

// The picture drawn at the given size in device-independent pixels, sharp on high-density
// screens. A null pixmap only if the resource is missing from the build.
QPixmap ImagePixmap(Image image, QSize size);

// The picture in the sizes a window icon needs.
QIcon ImageIcon(Image image);

// The natural size of each picture, as drawn.
QSize ImageSize(Image image);

// The status images shared by the Monitor List and the trap window, by the index a record
// stores: 0 the warning image, 1 the not-alive image. Any other index (-1: no image of its own)
// gives a null icon, so the cell stays empty.
inline constexpr int kStatusImageWarning = 0;
inline constexpr int kStatusImageNotAlive = 1;
QIcon StatusIcon(int index);

}  // namespace sd::gui
