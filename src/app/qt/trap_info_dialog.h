#pragma once
// "Trap information": the traps received since start-up, one row each with its unread marker,
// time, sender and text. The rows come from the trap store; clicking a row, "Clear all" and the
// column headers are reported to the owner, which changes the store and the rows.

#include <QDialog>
#include <QPushButton>
#include <QString>
#include <QTreeWidget>

namespace sd::gui {

class CTrap_Info : public QDialog {
  Q_OBJECT

 public:
  explicit CTrap_Info(QWidget* parent = nullptr);

  QTreeWidget* List() const { return list_; }
  QPushButton* ClearAllButton() const { return clear_all_; }
  QPushButton* OkButton() const { return ok_; }

  // Appends a row: the status image (0 unread, -1 none) in column 0, then the texts; the row
  // keeps `item_data` (the store slot it shows) as its item data.
  void AppendRow(int image, const QString& time, const QString& address, const QString& event,
                 int item_data);

 signals:
  void rowClicked();
  void clearAllClicked();
  void columnClicked(int column);

 private:
  QTreeWidget* list_ = nullptr;
  QPushButton* clear_all_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace sd::gui
