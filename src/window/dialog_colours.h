// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The colours of the small dialogs: a white dialog background, and black-on-white labels and
// entry fields. Buttons and every other control keep the platform's colours. The main window
// and the trap window use the platform's default colours throughout. The Firmware Upgrade dialog
// adds light grey panels behind its labels.
//
// The white and black are fixed whatever the desktop's palette, so every control drawn on them
// gets every role it paints with (text, window, base and button colours) in every colour group,
// and a grey for its disabled text: on a dark desktop palette nothing keeps the palette's light
// text on the white background, and a disabled control still looks disabled.

#include <QColor>
#include <QWidget>

namespace sd::gui {

inline const QColor kDialogBackground{255, 255, 255};
inline const QColor kDialogText{0, 0, 0};
inline const QColor kPanelBackground{235, 234, 233};
// Text of a disabled control on the white or the grey background: plainly lighter than the black
// of an enabled one, still legible.
inline const QColor kDisabledDialogText{109, 109, 109};

// Paints the dialog's own background white, with black text for whatever draws on it without
// colours of its own.
void UseDialogBackground(QWidget& dialog);
// Black text on a white background for one label or entry field.
void UseBlackOnWhite(QWidget& control);
// Black text on the light grey panel colour, for a label or an empty decorative panel.
void UseBlackOnPanel(QWidget& control);
// The platform's colours for a control inside a parent that has colours of its own (a child
// otherwise takes its parent's palette).
void UsePlatformColours(QWidget& control);

}  // namespace sd::gui
