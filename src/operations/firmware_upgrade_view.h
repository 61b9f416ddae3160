// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the Firmware Upgrade dialog shows, as the toolkit-free dialog logic drives it. The Qt
// dialog implements it with its widgets; the terminal program with a progress line; tests record.

#include <string_view>

namespace sd {

// How the dialog ended.
enum class DialogEnd {
  kCompleted,  // the last block was acknowledged; the reboot watch has been started
  kFailed,     // the switch answered with a TFTP ERROR
  kCancelled,  // "Cancel" or the close box
};

// The field a refused "Start" names.
enum class UpgradeField { kFirmwarePath, kPassword };

class IFirmwareUpgradeView {
 public:
  virtual ~IFirmwareUpgradeView() = default;
  virtual void ShowDeviceIp(std::string_view text) = 0;
  virtual void ShowDeviceMac(std::string_view text) = 0;
  virtual void ShowFirmwarePath(std::string_view text) = 0;
  // The "Upgrade State" box.
  virtual void ShowUpgradeState(std::string_view text) = 0;
  // The transfer is complete: the owner of the main window starts its reboot watch now.
  virtual void StartRebootWatch() = 0;
  // The dialog closes. The dialog logic ignores any event that still reaches it afterwards.
  virtual void EndDialog(DialogEnd how) = 0;
  // A check refused "Start": once its box is closed the field it names takes the focus.
  virtual void FocusRefusedField(UpgradeField /*field*/) {}
};

}  // namespace sd
