#pragma once
// The colours of the small dialogs: a white dialog background, and black-on-white labels and
// entry fields. Buttons and every other control keep the platform's colours. The main window
// and the trap window use the platform's default colours throughout. The Firmware Upgrade dialog
// adds light grey panels behind its labels.

#include <QColor>
#include <QWidget>

namespace sd::gui {

inline const QColor kDialogBackground{255, 255, 255};
inline const QColor kDialogText{0, 0, 0};
inline const QColor kPanelBackground{235, 234, 233};

// Paints the dialog's own background white.
void UseDialogBackground(QWidget& dialog);
// Black text on a white background for one label or entry field.
void UseBlackOnWhite(QWidget& control);
// Black text on the light grey panel colour, for a label or an empty decorative panel.
void UseBlackOnPanel(QWidget& control);
// The platform's colours for a control inside a parent that has colours of its own (a child
// otherwise takes its parent's palette).
void UsePlatformColours(QWidget& control);

}  // namespace sd::gui
