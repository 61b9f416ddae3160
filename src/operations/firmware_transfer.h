// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The TFTP client of the firmware upgrade: a write transfer (RFC 1350, octet mode) of the image
// to the switch, lock-step in 512-byte DATA blocks. It is a state machine driven by three kinds
// of events that the Firmware Upgrade dialog forwards: a readable socket (OnTftpReceive), the
// ticks of its timers (OnTimer) and Cancel. It never waits: pauses are timer ticks, so the
// window stays live and tests run the whole timeline on a fake clock.
//
// Every datagram of the client goes from local port 64517 to port 69 of the switch, including
// the DATA blocks: the switches answer from another port but take the whole transfer on port 69.
// Answers are accepted from the switch's address on any port, and from nowhere else.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/messages.h"
#include "net/udp_socket.h"
#include "operations/firmware_upgrade_view.h"
#include "operations/tftp_transport.h"
#include "operations/timer_host.h"

namespace sd {

inline constexpr std::uint16_t kTftpServerPort = 69;
inline constexpr std::uint16_t kTftpClientPort = 64517;
inline constexpr std::size_t kTftpBlockSize = 512;

inline constexpr std::uint16_t TFTP_WRQ = 2;
inline constexpr std::uint16_t TFTP_DATA = 3;
inline constexpr std::uint16_t TFTP_ACK = 4;
inline constexpr std::uint16_t TFTP_ERROR = 5;

// Block numbers are 16 bits wide, so the final (short) block must be block 65535 at the latest:
// an image of 65535 full blocks or more cannot be sent.
inline constexpr std::uint64_t kMaxFirmwareImageSize = 65535ull * kTftpBlockSize - 1;
// A path is kept to 127 characters, and is sent as the write request's file name.
inline constexpr std::size_t kMaxFirmwarePathLength = 127;

// The dialog's timers used by the transfer.
inline constexpr int kTftpDataTimer = 1;
inline constexpr int kTftpRequestTimer = 2;
inline constexpr int kTftpCompletionTimer = 3;

inline constexpr int kMaxWriteRequestRepetitions = 5;
inline constexpr int kMaxDataRetransmissions = 10;
// The switch's error text with the reboot notice must fit this buffer with its NUL; a log line
// must fit its buffer with its NUL.
inline constexpr std::size_t kTftpErrorMessageBuffer = 100;
inline constexpr std::size_t kFirmwareLogLineBuffer = 128;

inline constexpr std::string_view kCreateTftpSocketError = "Create tftp socket error.";
inline constexpr std::string_view kBindTftpSocketError = "Bind tftps socket error";
inline constexpr std::string_view kWriteRequestSendError = "Write request send error";
inline constexpr std::string_view kInvalidFirmwareFile = "Invalid firmware file.";
inline constexpr std::string_view kFirmwareUpgradeFailed = "Firmware upgrade failed.";
inline constexpr std::string_view kDeviceNotFound = "Device not found";
inline constexpr std::string_view kDeviceWillReboot = "\nThe device will reboot. Please wait";
inline constexpr std::string_view kFirmwareTooLarge =
    "The firmware file is too large: TFTP can send at most 33553919 bytes.";
inline constexpr std::string_view kFirmwarePathTooLong =
    "The firmware path is too long: at most 127 characters.";

// "Upgrading...%ld/%ld bytes", "Complete...%ld/%ld bytes" and
// "Firmware upgrade failed, translate %ld/%ld bytes" with the bytes sent and the file size.
std::string UpgradingText(long sent, long size);
std::string CompleteText(long sent, long size);
std::string TransferFailedText(long sent, long size);

// The firmware file at `path`: a regular file that can be read, of at most
// kMaxFirmwareImageSize bytes. ReadFirmwareImage also reads it whole.
enum class FirmwareFileCheck { kOk, kNotFound, kTooLarge };
FirmwareFileCheck CheckFirmwareFile(const std::string& path);
FirmwareFileCheck ReadFirmwareImage(const std::string& path, std::vector<std::uint8_t>& image);

// Where the transfer goes and how long it waits. The defaults are the switches' and the window's;
// tests on loopback use free ports, and lossy links may retry sooner.
struct TftpSettings {
  std::uint16_t local_port = kTftpClientPort;
  std::uint16_t server_port = kTftpServerPort;
  std::chrono::milliseconds request_interval{1500};
  std::chrono::milliseconds data_interval{1500};
  // From the last acknowledgement to the reboot watch: the switch writes its flash meanwhile.
  std::chrono::milliseconds completion_pause{5000};
};

enum class TransferState {
  kIdle,          // no socket (before the first Start, after "Device not found")
  kRequesting,    // write request sent, waiting for the acknowledgement of block 0
  kTransferring,  // one DATA block in flight
  kCompleted,     // last block acknowledged; the pause before the reboot watch runs
  kFailed,        // 10 retransmissions without an answer; the dialog stays open
  kClosed,        // the dialog ended (finished, ERROR from the switch, Cancel)
};

class FirmwareTransfer {
 public:
  // `timers` delivers the ticks of kTftpDataTimer, kTftpRequestTimer and kTftpCompletionTimer to
  // OnTimer. The target's address and the image's path are those of the operation context.
  FirmwareTransfer(ITftpTransport& transport, ITimerHost& timers, IMessages& messages,
                   IFirmwareUpgradeView& view, TftpSettings settings = {});

  // Word 3 of the target entry's field_mask, read when the switch reports an ERROR: when none
  // of its bits 29 to 31 is set, the error message adds that the device will reboot.
  void SetTargetFieldMaskWord3(std::function<std::uint32_t()> word3) { field_mask_word3_ = std::move(word3); }

  // Reads the image (the path of the operation context), opens the socket on the local port,
  // starts the request timer and sends the write request. 0 when it was sent; -1 after a
  // reported failure (a request that could not be sent is still repeated by the timer).
  int OpenTftpSocket();
  // Sends the write request to the switch; 0, or -1 after "Write request send error".
  int SendWriteRequest();
  // Opcode 2, the path, a zero byte, "octet", a zero byte into `buffer`; its length, or 0 when it
  // does not fit.
  static std::size_t BuildWriteRequest(std::span<std::uint8_t> buffer, std::string_view path);

  // Reads one datagram from the socket, if one waits, and handles it.
  void OnTftpReceive();
  // Handles one datagram from `source`; every byte is read through a bounded reader.
  void HandleDatagram(std::span<const std::uint8_t> datagram, Endpoint source);
  // Sends the block after block `acknowledged` and updates the Upgrade State text.
  void SendNextBlock(std::uint16_t acknowledged);
  // One DATA datagram to port 69 of the switch; false after a failed send (reported once per
  // transfer; the data timer retransmits).
  bool SendDataBlock(std::span<const std::uint8_t> bytes, std::uint16_t block);
  void OnTimer(int id);
  // After the pause that follows the last acknowledgement: starts the reboot watch, closes the
  // socket and ends the dialog.
  void FinishTransfer();
  // Forgets the data transfer: no block in flight, last block unknown, no retries, no image.
  void ResetTransferState();
  // Appends "<timestamp> <target address> <text> \r\n" to the event log, the text cut so that
  // the line fits its 128-byte buffer.
  void LogFirmwareEvent(std::string_view text);
  // Closes the socket, sets the bytes sent to 0 and ends the dialog as cancelled. In the pause
  // after the last acknowledged block it finishes the transfer instead: the reboot watch starts
  // and the dialog ends as completed.
  void OnCancel();

  TransferState State() const { return state_; }
  // Requesting, transferring or pausing after the last block: "Start" must wait.
  bool Busy() const;
  std::uint16_t InFlightBlock() const { return in_flight_; }
  std::optional<std::uint16_t> LastBlock() const { return last_block_; }
  int DataRetryCount() const { return data_retries_; }
  int RequestRetryCount() const { return request_retries_; }
  std::size_t FileSize() const { return image_.size(); }
  const std::string& UpgradeStateText() const { return state_text_; }

 private:
  void HandleAck(std::uint16_t block);
  void HandleError(std::string_view text);
  void FailTransfer();
  void SetState(std::string text);
  void CloseSocket();
  void StopTimers();
  Endpoint Server() const;

  ITftpTransport& transport_;
  ITimerHost& timers_;
  IMessages& messages_;
  IFirmwareUpgradeView& view_;
  TftpSettings settings_;
  std::function<std::uint32_t()> field_mask_word3_;

  TransferState state_ = TransferState::kIdle;
  std::vector<std::uint8_t> image_;  // read once, so a file changed meanwhile cannot mix in
  std::uint16_t in_flight_ = 0;
  std::optional<std::uint16_t> last_block_;
  int data_retries_ = 0;
  bool data_tick_ = false;
  int request_retries_ = 0;
  bool request_tick_ = false;
  bool send_failure_reported_ = false;
  std::string state_text_;
};

}  // namespace sd
