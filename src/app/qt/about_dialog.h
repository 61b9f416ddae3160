#pragma once
// "About": the program's version and the version of the protocol it speaks.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace sd::gui {

inline constexpr const char* kProgramVersionText = "Switchdesk Version 2.05";
inline constexpr const char* kProtocolVersionText = "Protocol Version 2.001.003";

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  QLabel* IconLabel() const { return icon_; }
  QLabel* ProgramVersionLabel() const { return program_version_; }
  QLabel* ProtocolVersionLabel() const { return protocol_version_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  QLabel* icon_ = nullptr;
  QLabel* program_version_ = nullptr;
  QLabel* protocol_version_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace sd::gui
