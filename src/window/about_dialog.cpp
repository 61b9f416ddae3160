// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/about_dialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "window/dialog_colours.h"
#include "window/images.h"
#include "app/startup.h"
#include "settings/config_folder.h"

namespace sd::gui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About"));
  setObjectName(QStringLiteral("aboutDialog"));

  icon_ = new QLabel(this);
  icon_->setObjectName(QStringLiteral("aboutIcon"));
  icon_->setPixmap(ImagePixmap(Image::About, ImageSize(Image::About)));
  icon_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  icon_->setAccessibleName(QStringLiteral("Switchdesk icon"));
  icon_->setToolTip(icon_->accessibleName());
  program_version_ = new QLabel(QString::fromLatin1(kProgramVersionText), this);
  program_version_->setObjectName(QStringLiteral("programVersion"));
  protocol_version_ = new QLabel(QString::fromLatin1(kProtocolVersionText), this);
  protocol_version_->setObjectName(QStringLiteral("protocolVersion"));
  settings_folder_ = new QLabel(QString::fromStdString(DescribeConfigFolder()), this);
  settings_folder_->setObjectName(QStringLiteral("settingsFolder"));
  settings_folder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  const std::string capability = MissingCapabilityNote();
  capability_ = new QLabel(QString::fromStdString(capability), this);
  capability_->setObjectName(QStringLiteral("capabilityNote"));
  capability_->setWordWrap(true);
  capability_->setVisible(!capability.empty());
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("ok"));
  ok_->setDefault(true);
  ok_->setMinimumWidth(80);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  auto* texts = new QVBoxLayout;
  texts->addWidget(program_version_);
  texts->addSpacing(8);
  texts->addWidget(protocol_version_);
  texts->addSpacing(8);
  texts->addWidget(settings_folder_);
  texts->addWidget(capability_);
  texts->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addWidget(icon_);
  top->addSpacing(16);
  top->addLayout(texts, 1);
  auto* button_row = new QHBoxLayout;
  button_row->addStretch(1);
  button_row->addWidget(ok_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(22, 14, 18, 12);
  layout->addLayout(top);
  layout->addSpacing(20);
  layout->addLayout(button_row);

  UseDialogBackground(*this);
  UseBlackOnWhite(*program_version_);
  UseBlackOnWhite(*protocol_version_);
  UseBlackOnWhite(*settings_folder_);
  UseBlackOnWhite(*capability_);
}

}  // namespace sd::gui
