// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Trap information": the traps received since start-up, one row each with its unread marker,
// time, sender and text, as the trap store holds them when the window opens. Clicking a row
// marks its trap read, "Clear all" empties list and store, a column header sorts the rows.

#include <QDialog>
#include <QPushButton>
#include <QTreeWidget>
#include <memory>

#include "window/qt_list_control.h"
#include "settings/trap_store.h"
#include "settings/trap_window.h"

namespace sd::gui {

class CTrap_Info : public QDialog {
  Q_OBJECT

 public:
  // The store must outlive the dialog.
  explicit CTrap_Info(TrapStore& store, QWidget* parent = nullptr);

  QTreeWidget* List() const { return list_; }
  QPushButton* ClearAllButton() const { return clear_all_; }
  QPushButton* OkButton() const { return ok_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QTreeWidget* list_ = nullptr;
  QPushButton* clear_all_ = nullptr;
  QPushButton* ok_ = nullptr;
  std::unique_ptr<QtListControl> list_control_;
  std::unique_ptr<TrapWindow> logic_;
};

}  // namespace sd::gui
