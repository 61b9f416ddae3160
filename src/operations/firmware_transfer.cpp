// SPDX-License-Identifier: GPL-3.0-or-later
#include "operations/firmware_transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>

#include "protocol/byte_io.h"
#include "protocol/ipv4.h"
#include "protocol/operation_context.h"
#include "protocol/printable_text.h"
#include "settings/event_log.h"

namespace sd {

namespace {

std::string Format(const char* format, long sent, long size) {
  char text[96];
  std::snprintf(text, sizeof text, format, sent, size);
  return text;
}

// Opens `path` for reading when it names a regular file.
int OpenRegularFile(const std::string& path, off_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  size = st.st_size;
  return fd;
}

constexpr std::uint32_t kRebootsByItselfBits = 0xE0000000u;  // bits 29 to 31

}  // namespace

std::string UpgradingText(long sent, long size) { return Format("Upgrading...%ld/%ld bytes", sent, size); }
std::string CompleteText(long sent, long size) { return Format("Complete...%ld/%ld bytes", sent, size); }
std::string TransferFailedText(long sent, long size) {
  return Format("Firmware upgrade failed, translate %ld/%ld bytes", sent, size);
}

FirmwareFileCheck CheckFirmwareFile(const std::string& path) {
  off_t size = 0;
  const int fd = OpenRegularFile(path, size);
  if (fd < 0) return FirmwareFileCheck::kNotFound;
  ::close(fd);
  return static_cast<std::uint64_t>(size) > kMaxFirmwareImageSize ? FirmwareFileCheck::kTooLarge
                                                                   : FirmwareFileCheck::kOk;
}

FirmwareFileCheck ReadFirmwareImage(const std::string& path, std::vector<std::uint8_t>& image) {
  image.clear();
  off_t size = 0;
  const int fd = OpenRegularFile(path, size);
  if (fd < 0) return FirmwareFileCheck::kNotFound;
  if (static_cast<std::uint64_t>(size) > kMaxFirmwareImageSize) {
    ::close(fd);
    return FirmwareFileCheck::kTooLarge;
  }
  // Read to the end, whatever the size said: a file that grew is refused when too large.
  std::array<std::uint8_t, 65536> chunk;
  for (;;) {
    const ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      image.clear();
      return FirmwareFileCheck::kNotFound;
    }
    if (n == 0) break;
    image.insert(image.end(), chunk.begin(), chunk.begin() + n);
    if (image.size() > kMaxFirmwareImageSize) {
      ::close(fd);
      image.clear();
      return FirmwareFileCheck::kTooLarge;
    }
  }
  ::close(fd);
  return FirmwareFileCheck::kOk;
}

FirmwareTransfer::FirmwareTransfer(ITftpTransport& transport, ITimerHost& timers, IMessages& messages,
                                   IFirmwareUpgradeView& view, TftpSettings settings)
    : transport_(transport), timers_(timers), messages_(messages), view_(view), settings_(settings) {}

bool FirmwareTransfer::Busy() const {
  return state_ == TransferState::kRequesting || state_ == TransferState::kTransferring ||
         state_ == TransferState::kCompleted;
}

Endpoint FirmwareTransfer::Server() const {
  return {OperationContext::Instance().UpgradeTargetIp(), settings_.server_port};
}

void FirmwareTransfer::SetState(std::string text) {
  state_text_ = std::move(text);
  view_.ShowUpgradeState(state_text_);
}

void FirmwareTransfer::CloseSocket() { transport_.Close(); }

void FirmwareTransfer::StopTimers() {
  timers_.StopTimer(kTftpDataTimer);
  timers_.StopTimer(kTftpRequestTimer);
  timers_.StopTimer(kTftpCompletionTimer);
}

int FirmwareTransfer::OpenTftpSocket() {
  auto& context = OperationContext::Instance();
  StopTimers();
  CloseSocket();
  ResetTransferState();
  context.ResetUpgradeBytesSent();
  send_failure_reported_ = false;
  // Every attempt starts with the same timeline: the first request-timer tick only arms.
  request_retries_ = 0;
  request_tick_ = false;

  switch (ReadFirmwareImage(context.UpgradeFilePath(), image_)) {
    case FirmwareFileCheck::kOk: break;
    case FirmwareFileCheck::kNotFound: messages_.Error(kInvalidFirmwareFile); return -1;
    case FirmwareFileCheck::kTooLarge: messages_.Error(kFirmwareTooLarge); return -1;
  }
  switch (transport_.Open(settings_.local_port)) {
    case ITftpTransport::OpenResult::kOk: break;
    case ITftpTransport::OpenResult::kCreateFailed:
      image_.clear();
      messages_.Error(kCreateTftpSocketError);
      return -1;
    case ITftpTransport::OpenResult::kBindFailed:
      image_.clear();
      messages_.Error(kBindTftpSocketError);
      return -1;
  }
  state_ = TransferState::kRequesting;
  timers_.StartTimer(kTftpRequestTimer, settings_.request_interval);
  return SendWriteRequest();
}

std::size_t FirmwareTransfer::BuildWriteRequest(std::span<std::uint8_t> buffer, std::string_view path) {
  constexpr std::string_view kMode = "octet";
  const std::size_t length = 2 + path.size() + 1 + kMode.size() + 1;
  if (length > buffer.size()) return 0;
  std::fill(buffer.begin(), buffer.begin() + static_cast<long>(length), std::uint8_t{0});
  PutU16(buffer.data(), TFTP_WRQ);
  std::copy(path.begin(), path.end(), buffer.begin() + 2);
  std::copy(kMode.begin(), kMode.end(), buffer.begin() + 2 + static_cast<long>(path.size()) + 1);
  return length;
}

int FirmwareTransfer::SendWriteRequest() {
  std::array<std::uint8_t, kTftpBlockSize> request{};
  const std::string path = OperationContext::Instance().UpgradeFilePath();
  const std::size_t length = BuildWriteRequest(request, path);
  data_tick_ = false;
  if (length == 0 || !transport_.SendTo(std::span(request.data(), length), Server())) {
    if (!send_failure_reported_) {
      send_failure_reported_ = true;
      messages_.Error(kWriteRequestSendError);
    }
    return -1;
  }
  return 0;
}

void FirmwareTransfer::OnTftpReceive() {
  std::array<std::uint8_t, kMaxDatagram> buffer{};
  const auto r = transport_.Receive(buffer);
  if (!r) return;
  HandleDatagram(std::span(buffer.data(), std::min(r->size, buffer.size())), r->source);
}

void FirmwareTransfer::HandleDatagram(std::span<const std::uint8_t> datagram, Endpoint source) {
  if (state_ != TransferState::kRequesting && state_ != TransferState::kTransferring &&
      state_ != TransferState::kCompleted) {
    return;
  }
  // Only the switch may steer its transfer; it answers from a port of its choosing.
  if (source.address != OperationContext::Instance().UpgradeTargetIp()) return;
  ByteReader in(datagram);
  const auto opcode = in.U16();
  const auto number = in.U16();  // the block of an ACK, the error code of an ERROR
  if (!opcode || !number) return;
  if (*opcode == TFTP_ACK) {
    HandleAck(*number);
  } else if (*opcode == TFTP_ERROR) {
    const auto rest = in.Bytes(in.Remaining());
    const auto end = std::find(rest->begin(), rest->end(), std::uint8_t{0});
    HandleError(PrintableText(std::span(rest->begin(), end)));
  }
}

void FirmwareTransfer::HandleAck(std::uint16_t block) {
  if (state_ == TransferState::kCompleted) return;  // a repeated last acknowledgement
  data_retries_ = 0;
  if (block == 0) {
    timers_.StopTimer(kTftpRequestTimer);
    request_retries_ = 0;
    request_tick_ = false;
  }
  if (last_block_ && block == *last_block_) {
    OperationContext::Instance().ResetUpgradeBytesSent();
    timers_.StopTimer(kTftpDataTimer);
    state_ = TransferState::kCompleted;
    timers_.StartTimer(kTftpCompletionTimer, settings_.completion_pause);
    return;
  }
  // An acknowledgement of an earlier block (a duplicate) sends nothing: the block in flight is
  // already on its way, and answering duplicates would double every later block.
  if (block == in_flight_) SendNextBlock(block);
}

void FirmwareTransfer::SendNextBlock(std::uint16_t acknowledged) {
  // The image was read whole when the socket opened; outside a transfer there is none.
  if (state_ != TransferState::kRequesting && state_ != TransferState::kTransferring) return;
  const std::size_t offset = std::size_t{acknowledged} * kTftpBlockSize;
  if (offset > image_.size()) return;  // past the final block: nothing of the file is left
  const std::size_t count = std::min(kTftpBlockSize, image_.size() - offset);
  const auto bytes = std::span<const std::uint8_t>(image_).subspan(offset, count);
  auto& context = OperationContext::Instance();

  if (acknowledged == 0 && state_ == TransferState::kRequesting) {
    state_ = TransferState::kTransferring;
    data_tick_ = false;
    timers_.StartTimer(kTftpDataTimer, settings_.data_interval);
  }
  // Only first transmissions count; a retransmission comes with a retry count above 0.
  if (data_retries_ == 0) context.AddUpgradeBytesSent(static_cast<std::int32_t>(count));
  const auto block = static_cast<std::uint16_t>(acknowledged + 1);
  in_flight_ = block;
  const long sent = context.UpgradeBytesSent();
  const long size = static_cast<long>(image_.size());
  if (count < kTftpBlockSize) {
    last_block_ = block;  // a short block, 0 bytes included, ends the file
    SetState(CompleteText(sent, size));
  } else if (acknowledged != 0) {
    SetState(UpgradingText(sent, size));
  }
  SendDataBlock(bytes, block);
}

bool FirmwareTransfer::SendDataBlock(std::span<const std::uint8_t> bytes, std::uint16_t block) {
  std::array<std::uint8_t, 4 + kTftpBlockSize> datagram{};
  const std::size_t count = std::min(bytes.size(), kTftpBlockSize);
  PutU16(datagram.data(), TFTP_DATA);
  PutU16(datagram.data() + 2, block);
  std::copy_n(bytes.begin(), count, datagram.begin() + 4);
  data_tick_ = false;
  if (transport_.SendTo(std::span(datagram.data(), 4 + count), Server())) return true;
  // One box per transfer: the timer retransmits, and a box per attempt would pile up.
  if (!send_failure_reported_) {
    send_failure_reported_ = true;
    messages_.Error(kFirmwareUpgradeFailed);
  }
  return false;
}

void FirmwareTransfer::OnTimer(int id) {
  if (id == kTftpDataTimer) {
    if (state_ != TransferState::kTransferring) {
      timers_.StopTimer(kTftpDataTimer);
      return;
    }
    // A tick after a send only arms: a block goes again 1.5 to 3 s after its last transmission.
    if (!data_tick_) {
      data_tick_ = true;
      return;
    }
    if (data_retries_ >= kMaxDataRetransmissions) {
      FailTransfer();
      return;
    }
    ++data_retries_;
    SendNextBlock(static_cast<std::uint16_t>(in_flight_ - 1));
  } else if (id == kTftpRequestTimer) {
    if (state_ != TransferState::kRequesting) {
      timers_.StopTimer(kTftpRequestTimer);
      return;
    }
    if (!request_tick_) {
      request_tick_ = true;
      return;
    }
    const bool give_up = ++request_retries_ >= kMaxWriteRequestRepetitions;
    if (give_up) {
      timers_.StopTimer(kTftpRequestTimer);
      request_retries_ = 0;
      state_ = TransferState::kIdle;
    }
    SendWriteRequest();
    if (give_up) {
      CloseSocket();
      image_.clear();
      SetState(std::string(kDeviceNotFound));
    }
  } else if (id == kTftpCompletionTimer) {
    timers_.StopTimer(kTftpCompletionTimer);
    if (state_ == TransferState::kCompleted) FinishTransfer();
  }
}

void FirmwareTransfer::FailTransfer() {
  auto& context = OperationContext::Instance();
  timers_.StopTimer(kTftpDataTimer);
  const std::string text = TransferFailedText(context.UpgradeBytesSent(), static_cast<long>(image_.size()));
  state_ = TransferState::kFailed;
  CloseSocket();
  SetState(text);
  context.ResetUpgradeBytesSent();
  ResetTransferState();
  LogFirmwareEvent(text);
}

void FirmwareTransfer::FinishTransfer() {
  StopTimers();
  in_flight_ = 0;
  last_block_.reset();
  state_ = TransferState::kClosed;
  view_.StartRebootWatch();
  CloseSocket();
  image_.clear();
  view_.EndDialog(DialogEnd::kCompleted);
}

void FirmwareTransfer::HandleError(std::string_view switch_text) {
  auto& context = OperationContext::Instance();
  StopTimers();
  state_ = TransferState::kClosed;
  CloseSocket();

  // The text as the message buffer takes it is logged; for the box it is cut further when the
  // reboot notice follows, so that the notice still fits whole.
  const std::string text(switch_text.substr(0, kTftpErrorMessageBuffer - 1));
  LogFirmwareEvent(text);
  const std::uint32_t word3 = field_mask_word3_ ? field_mask_word3_() : 0;
  if ((word3 & kRebootsByItselfBits) == 0) {
    const std::size_t room = kTftpErrorMessageBuffer - 1 - kDeviceWillReboot.size();
    messages_.ShowMessage(text.substr(0, room) + std::string(kDeviceWillReboot), kFirmwareUpgradeFailed,
                          MessageIcon::Error);
  } else {
    messages_.ShowMessage(text, kFirmwareUpgradeFailed, MessageIcon::Error);
  }

  SetState(" ");
  ResetTransferState();
  context.ResetUpgradeBytesSent();
  view_.EndDialog(DialogEnd::kFailed);
}

void FirmwareTransfer::ResetTransferState() {
  data_tick_ = false;
  in_flight_ = 0;
  last_block_.reset();
  data_retries_ = 0;
  image_.clear();
}

void FirmwareTransfer::LogFirmwareEvent(std::string_view text) {
  char timestamp[kLogTimestampLength + 1];
  FormatLogTimestamp(timestamp);
  std::string line = std::string(timestamp) + " " + Ipv4ToText(OperationContext::Instance().UpgradeTargetIp()) + " ";
  constexpr std::string_view kEnd = " \r\n";
  const std::size_t room = kFirmwareLogLineBuffer - 1 - kEnd.size();
  if (line.size() < room) line.append(text.substr(0, room - line.size()));
  line.append(kEnd);
  AppendToEventLog(line, messages_);
}

void FirmwareTransfer::OnCancel() {
  // The last block was acknowledged: the image is delivered and the switch reboots whatever the
  // user presses now, so the pause runs out as usual and the reboot watch still gives its verdict.
  if (state_ == TransferState::kCompleted) return;
  StopTimers();
  state_ = TransferState::kClosed;
  CloseSocket();
  ResetTransferState();
  OperationContext::Instance().ResetUpgradeBytesSent();
  view_.EndDialog(DialogEnd::kCancelled);
}

}  // namespace sd
