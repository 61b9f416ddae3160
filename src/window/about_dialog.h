// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "About": the program's version, the version of the protocol it speaks and the settings
// folder in use.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "common/version.h"

namespace sd::gui {

inline constexpr const char* kProtocolVersionText = "Protocol Version 2.001.003";

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  QLabel* IconLabel() const { return icon_; }
  QLabel* ProgramVersionLabel() const { return program_version_; }
  QLabel* ProtocolVersionLabel() const { return protocol_version_; }
  QLabel* SettingsFolderLabel() const { return settings_folder_; }
  // Names a missing CAP_NET_RAW (see MissingCapabilityNote); hidden when nothing is missing.
  QLabel* CapabilityLabel() const { return capability_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  QLabel* icon_ = nullptr;
  QLabel* program_version_ = nullptr;
  QLabel* protocol_version_ = nullptr;
  QLabel* settings_folder_ = nullptr;
  QLabel* capability_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace sd::gui
