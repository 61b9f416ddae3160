// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/accessible_names.h"

#include <QLabel>

#include "window/ip_address_edit.h"

namespace sd::gui {

void NameFieldsAfterTheirLabels(QWidget& dialog) {
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    QWidget* field = label->buddy();
    if (field == nullptr) continue;
    const QString name = label->text().trimmed().remove(QLatin1Char('&'));
    if (name.isEmpty()) continue;
    if (auto* address = qobject_cast<IpAddressEdit*>(field)) {
      // Its default name is replaced by the label's.
      address->SetName(name);
    } else if (field->accessibleName().isEmpty()) {
      field->setAccessibleName(name);
    }
  }
}

}  // namespace sd::gui
