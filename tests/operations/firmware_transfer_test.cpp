// SPDX-License-Identifier: GPL-3.0-or-later
// The TFTP client on a fake clock: every datagram it sends is recorded, every answer is handed
// to it as the socket would, and its timers tick only when the test moves the clock.
#include "operations/firmware_transfer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <numeric>

#include "protocol/ipv4.h"
#include "protocol/operation_context.h"
#include "settings/event_log.h"
#include "support/fake_clock.h"
#include "support/firmware_fakes.h"
#include "support/recording_messages.h"
#include "support/temp_dir.h"

namespace sd {
namespace {

using test::Ms;
using test::ShownMessage;
using test::TftpAck;
using test::TftpError;

const std::uint32_t kSwitch = *TextToIpv4("192.168.0.10");
const Endpoint kSwitchReplyPort{kSwitch, 50123};  // switches answer from a port of their own

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + i / 512) & 0xFF);
  return bytes;
}

std::tm June1st2007() {
  std::tm t{};
  t.tm_year = 107;
  t.tm_mon = 5;
  t.tm_mday = 1;
  t.tm_hour = 14;
  t.tm_min = 3;
  t.tm_sec = 9;
  return t;
}

class FirmwareTransferTest : public ::testing::Test {
 protected:
  FirmwareTransferTest() {
    ResetOperationContext();
    OperationContext::Instance().SetUpgradeTargetIp(kSwitch);
    SetLogClock(June1st2007);
    timers.SetHandler([this](int id) { transfer.OnTimer(id); });
  }
  ~FirmwareTransferTest() override {
    SetLogClock({});
    ResetOperationContext();
  }

  // Writes the image and makes it the operation context's file.
  std::vector<std::uint8_t> UseImage(std::size_t size) {
    auto bytes = Pattern(size);
    dir.Write("image.hex", bytes);
    OperationContext::Instance().SetUpgradeFilePath(dir.File("image.hex"));
    return bytes;
  }

  void Deliver(const std::vector<std::uint8_t>& datagram, Endpoint from = kSwitchReplyPort) {
    transport.incoming.emplace_back(datagram, from);
    transfer.OnTftpReceive();
  }
  void Ack(std::uint16_t block, Endpoint from = kSwitchReplyPort) { Deliver(TftpAck(block), from); }

  // Acknowledges every block the client sends until it stops sending; the blocks sent.
  void AckEachBlock() {
    std::size_t seen = transport.sent.size();
    Ack(0);
    while (transport.sent.size() > seen && test::Opcode(transport.sent.back()) == TFTP_DATA) {
      seen = transport.sent.size();
      Ack(test::Block(transport.sent.back()));
    }
  }

  std::vector<const test::SentTftpDatagram*> Sent(std::uint16_t opcode) const {
    std::vector<const test::SentTftpDatagram*> out;
    for (const auto& d : transport.sent) {
      if (test::Opcode(d) == opcode) out.push_back(&d);
    }
    return out;
  }
  std::vector<Ms> SendTimes(std::uint16_t opcode) const {
    std::vector<Ms> out;
    for (const auto* d : Sent(opcode)) out.push_back(d->at);
    return out;
  }
  std::string Log() const {
    const auto bytes = dir.Read("syslog.log");
    return {bytes.begin(), bytes.end()};
  }

  test::TempConfigDir dir;
  test::FakeClock clock;
  test::FakeTimers timers{clock};
  test::FakeTftpTransport transport{clock};
  test::RecordingMessages messages;
  test::RecordingUpgradeView view;
  FirmwareTransfer transfer{transport, timers, messages, view};
};

TEST(BuildWriteRequestTest, OpcodePathAndOctetModeEachWithTheirZero) {
  std::array<std::uint8_t, 512> buffer;
  buffer.fill(0xAA);
  const std::size_t n = FirmwareTransfer::BuildWriteRequest(buffer, "C:\\fw\\gs108.hex");
  const std::string expected = std::string("\0\2C:\\fw\\gs108.hex\0octet\0", 24);
  ASSERT_EQ(n, 2 + 15 + 1 + 5 + 1);
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<long>(n)), expected);
  std::array<std::uint8_t, 10> small{};
  EXPECT_EQ(FirmwareTransfer::BuildWriteRequest(small, "long-name.hex"), 0u) << "a request that does not fit";
}

TEST_F(FirmwareTransferTest, TheWriteRequestGoesFromTheClientPortToPort69) {
  UseImage(100);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  EXPECT_EQ(transport.bound_port, 64517);
  ASSERT_EQ(transport.sent.size(), 1u);
  EXPECT_EQ(transport.sent[0].to, (Endpoint{kSwitch, 69}));
  EXPECT_EQ(test::Opcode(transport.sent[0]), TFTP_WRQ);
  EXPECT_EQ(transfer.State(), TransferState::kRequesting);
  EXPECT_EQ(timers.Interval(kTftpRequestTimer), Ms(1500));
  EXPECT_FALSE(timers.Running(kTftpDataTimer));
}

struct OpenFailure {
  const char* name;
  ITftpTransport::OpenResult result;
  const char* message;
};

class OpenFailureTest : public FirmwareTransferTest, public ::testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFailureTest, IsReportedAndNothingRuns) {
  UseImage(100);
  transport.open_result = GetParam().result;
  EXPECT_EQ(transfer.OpenTftpSocket(), -1);
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{GetParam().message, "Error", MessageIcon::Error}}));
  EXPECT_TRUE(transport.sent.empty());
  EXPECT_FALSE(timers.Running(kTftpRequestTimer));
  EXPECT_EQ(transfer.State(), TransferState::kIdle);
}

INSTANTIATE_TEST_SUITE_P(Cases, OpenFailureTest,
                         ::testing::Values(OpenFailure{"create", ITftpTransport::OpenResult::kCreateFailed,
                                                       "Create tftp socket error."},
                                           OpenFailure{"bind", ITftpTransport::OpenResult::kBindFailed,
                                                       "Bind tftps socket error"}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(FirmwareTransferTest, AFileThatCannotBeReadOpensNoSocket) {
  OperationContext::Instance().SetUpgradeFilePath(dir.File("missing.hex"));
  EXPECT_EQ(transfer.OpenTftpSocket(), -1);
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Invalid firmware file."}));
  EXPECT_EQ(transport.opens, 0);
}

TEST_F(FirmwareTransferTest, ASilentSwitchGetsFiveRepetitionsThenDeviceNotFound) {
  UseImage(100);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  clock.Advance(Ms(20000));
  // The first tick only arms; the second to sixth repeat the request; the sixth also gives up.
  EXPECT_EQ(SendTimes(TFTP_WRQ), (std::vector<Ms>{Ms(0), Ms(3000), Ms(4500), Ms(6000), Ms(7500), Ms(9000)}));
  EXPECT_EQ(view.State(), "Device not found");
  EXPECT_FALSE(transport.IsOpen());
  EXPECT_FALSE(timers.Running(kTftpRequestTimer));
  EXPECT_EQ(transfer.State(), TransferState::kIdle);
  EXPECT_EQ(transfer.RequestRetryCount(), 0);
  EXPECT_TRUE(messages.shown.empty());

  // The next attempt follows the same timeline.
  transport.sent.clear();
  const Ms start = clock.Now();
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  clock.Advance(Ms(3000));
  EXPECT_EQ(SendTimes(TFTP_WRQ), (std::vector<Ms>{start, start + Ms(3000)}));
}

TEST_F(FirmwareTransferTest, AWriteRequestThatCannotBeSentIsReportedOnceAndRepeated) {
  UseImage(100);
  transport.send_ok = false;
  EXPECT_EQ(transfer.OpenTftpSocket(), -1);
  EXPECT_TRUE(timers.Running(kTftpRequestTimer)) << "the timer keeps trying";
  clock.Advance(Ms(3000));
  transport.send_ok = true;
  clock.Advance(Ms(1500));
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Write request send error"}));
  EXPECT_EQ(SendTimes(TFTP_WRQ), (std::vector<Ms>{Ms(4500)}));
  Ack(0);
  EXPECT_EQ(transfer.State(), TransferState::kTransferring);
}

struct ImageCase {
  std::size_t size;
  std::vector<std::pair<std::uint16_t, std::size_t>> blocks;  // number and payload size
  std::vector<std::string> states;                            // the Upgrade State texts, in order
};

class ImageTimelineTest : public FirmwareTransferTest, public ::testing::WithParamInterface<ImageCase> {};

TEST_P(ImageTimelineTest, BlocksStateTextsAndThePauseBeforeTheRebootWatch) {
  const auto image = UseImage(GetParam().size);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  AckEachBlock();

  std::vector<std::pair<std::uint16_t, std::size_t>> blocks;
  std::vector<std::uint8_t> received;
  for (const auto* d : Sent(TFTP_DATA)) {
    EXPECT_EQ(d->to, (Endpoint{kSwitch, 69})) << "DATA goes to port 69, not to the answering port";
    blocks.emplace_back(test::Block(*d), d->bytes.size() - 4);
    received.insert(received.end(), d->bytes.begin() + 4, d->bytes.end());
  }
  EXPECT_EQ(blocks, GetParam().blocks);
  EXPECT_EQ(received, image);
  EXPECT_EQ(view.states, GetParam().states);

  EXPECT_EQ(transfer.State(), TransferState::kCompleted);
  EXPECT_EQ(OperationContext::Instance().UpgradeBytesSent(), 0);
  EXPECT_FALSE(timers.Running(kTftpDataTimer));
  clock.Advance(Ms(4999));
  EXPECT_EQ(view.reboot_watch_starts, 0);
  EXPECT_TRUE(transport.IsOpen());
  clock.Advance(Ms(1));
  EXPECT_EQ(view.reboot_watch_starts, 1);
  EXPECT_EQ(view.ended, DialogEnd::kCompleted);
  EXPECT_FALSE(transport.IsOpen());
  EXPECT_EQ(transfer.State(), TransferState::kClosed);
  EXPECT_TRUE(messages.shown.empty());
  const std::size_t sent = transport.sent.size();
  clock.Advance(Ms(60000));
  EXPECT_EQ(transport.sent.size(), sent) << "nothing after the end";
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ImageTimelineTest,
    ::testing::Values(
        ImageCase{0, {{1, 0}}, {"Complete...0/0 bytes"}},
        ImageCase{1, {{1, 1}}, {"Complete...1/1 bytes"}},
        ImageCase{511, {{1, 511}}, {"Complete...511/511 bytes"}},
        ImageCase{512, {{1, 512}, {2, 0}}, {"Complete...512/512 bytes"}},
        ImageCase{513, {{1, 512}, {2, 1}}, {"Complete...513/513 bytes"}},
        ImageCase{1024, {{1, 512}, {2, 512}, {3, 0}}, {"Upgrading...1024/1024 bytes", "Complete...1024/1024 bytes"}},
        ImageCase{1300,
                  {{1, 512}, {2, 512}, {3, 276}},
                  {"Upgrading...1024/1300 bytes", "Complete...1300/1300 bytes"}}),
    [](const auto& param_info) { return "bytes_" + std::to_string(param_info.param.size); });

TEST_F(FirmwareTransferTest, DuplicateAcknowledgementResetsTheRetriesButSendsNothing) {
  UseImage(2048);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  Ack(0);
  Ack(1);
  clock.Advance(Ms(3000));  // block 2 went again
  ASSERT_EQ(transfer.DataRetryCount(), 1);
  const std::size_t sent = transport.sent.size();
  Ack(1);
  EXPECT_EQ(transfer.DataRetryCount(), 0);
  EXPECT_EQ(transport.sent.size(), sent);
  Ack(0);
  EXPECT_EQ(transport.sent.size(), sent);
  Ack(2);
  ASSERT_EQ(transport.sent.size(), sent + 1);
  EXPECT_EQ(test::Block(transport.sent.back()), 3);
  // The retransmission was not counted as progress.
  EXPECT_EQ(OperationContext::Instance().UpgradeBytesSent(), 1536);
}

TEST_F(FirmwareTransferTest, TenRetransmissionsThenTheFailureTextStaysInTheOpenDialog) {
  UseImage(1024);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  Ack(0);
  clock.Advance(Ms(40000));
  std::vector<Ms> expected{Ms(0)};
  for (int k = 1; k <= 10; ++k) expected.push_back(Ms(3000 * k));
  EXPECT_EQ(SendTimes(TFTP_DATA), expected) << "a block goes again at every second tick after it";
  for (const auto* d : Sent(TFTP_DATA)) EXPECT_EQ(test::Block(*d), 1);

  const std::string failure = "Firmware upgrade failed, translate 512/1024 bytes";
  EXPECT_EQ(view.State(), failure);
  EXPECT_EQ(transfer.State(), TransferState::kFailed);
  EXPECT_FALSE(transport.IsOpen());
  EXPECT_FALSE(timers.Running(kTftpDataTimer));
  EXPECT_FALSE(view.ended) << "the dialog stays open";
  EXPECT_EQ(OperationContext::Instance().UpgradeBytesSent(), 0);
  EXPECT_EQ(transfer.LastBlock(), std::nullopt);
  EXPECT_EQ(transfer.InFlightBlock(), 0);
  EXPECT_EQ(Log(), "06/01/2007 14:03:09 192.168.0.10 " + failure + " \r\n");
  EXPECT_TRUE(messages.shown.empty());

  // "Start" again goes through the whole transfer.
  transport.sent.clear();
  view.states.clear();
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  AckEachBlock();
  EXPECT_EQ(view.states, (std::vector<std::string>{"Upgrading...1024/1024 bytes", "Complete...1024/1024 bytes"}));
}

TEST_F(FirmwareTransferTest, ALostAcknowledgementCostsOneRetransmission) {
  UseImage(1024);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  clock.Advance(Ms(700));
  Ack(0);  // block 1 at 700 ms; the data timer starts with it: 2200 arms, 3700 sends again
  clock.Advance(Ms(3100));  // 3800 ms
  EXPECT_EQ(SendTimes(TFTP_DATA), (std::vector<Ms>{Ms(700), Ms(3700)}));
  Ack(1);
  Ack(1);  // the first transmission's acknowledgement, late
  EXPECT_EQ(SendTimes(TFTP_DATA), (std::vector<Ms>{Ms(700), Ms(3700), Ms(3800)}));
  // The next block, sent at 3800, waits for the second tick after it: 5200 arms, 6700 sends.
  clock.Advance(Ms(2899));
  EXPECT_EQ(Sent(TFTP_DATA).size(), 3u);
  clock.Advance(Ms(1));
  EXPECT_EQ(SendTimes(TFTP_DATA), (std::vector<Ms>{Ms(700), Ms(3700), Ms(3800), Ms(6700)}));
}

struct ErrorCase {
  const char* name;
  std::uint32_t field_mask_word3;
  bool notice;
};

class SwitchErrorTest : public FirmwareTransferTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(SwitchErrorTest, EndsTheDialogWithTheSwitchsText) {
  transfer.SetTargetFieldMaskWord3([] { return GetParam().field_mask_word3; });
  UseImage(4096);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  Ack(0);
  Ack(1);
  Deliver(TftpError(3, "Flash write error"));

  const std::string text = std::string("Flash write error") + (GetParam().notice ? "\nThe device will reboot. Please wait" : "");
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{text, "Firmware upgrade failed.", MessageIcon::Error}}));
  EXPECT_EQ(Log(), "06/01/2007 14:03:09 192.168.0.10 Flash write error \r\n");
  EXPECT_EQ(view.State(), " ");
  EXPECT_EQ(view.ended, DialogEnd::kFailed);
  EXPECT_EQ(view.reboot_watch_starts, 0);
  EXPECT_FALSE(transport.IsOpen());
  EXPECT_FALSE(timers.Running(kTftpDataTimer));
  EXPECT_EQ(OperationContext::Instance().UpgradeBytesSent(), 0);
  EXPECT_EQ(transfer.InFlightBlock(), 0);
  const std::size_t sent = transport.sent.size();
  clock.Advance(Ms(60000));
  EXPECT_EQ(transport.sent.size(), sent);
}

INSTANTIATE_TEST_SUITE_P(FieldMaskWord3, SwitchErrorTest,
                         ::testing::Values(ErrorCase{"none_set", 0x00000000, true},
                                           ErrorCase{"bit_28_only", 0x10000000, true},
                                           ErrorCase{"bit_29", 0x20000000, false},
                                           ErrorCase{"bit_30", 0x40000000, false},
                                           ErrorCase{"bit_31", 0x80000000, false}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(FirmwareTransferTest, AnErrorAnswerToTheWriteRequestEndsItToo) {
  UseImage(100);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  Deliver(TftpError(2, "Access violation"));
  EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Access violation\nThe device will reboot. Please wait"}));
  EXPECT_FALSE(timers.Running(kTftpRequestTimer));
  clock.Advance(Ms(20000));
  EXPECT_EQ(Sent(TFTP_WRQ).size(), 1u);
}

TEST_F(FirmwareTransferTest, ALongOrUnterminatedErrorTextIsCutToItsBuffers) {
  std::string text(300, 'x');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  text[10] = '\r';
  text[11] = '\n';
  for (const bool notice : {true, false}) {
    test::TempConfigDir log_dir;
    FirmwareTransfer t(transport, timers, messages, view);
    timers.SetHandler([&](int id) { t.OnTimer(id); });
    t.SetTargetFieldMaskWord3([notice] { return notice ? 0u : 0x80000000u; });
    messages.shown.clear();
    UseImage(100);
    ASSERT_EQ(t.OpenTftpSocket(), 0);
    transport.incoming.emplace_back(TftpError(0, text, /*terminated=*/false), kSwitchReplyPort);
    t.OnTftpReceive();

    std::string printable = text;
    printable[10] = printable[11] = ' ';  // a line break from the switch cannot start a log line
    const std::size_t room = notice ? 99 - 36 : 99;
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              printable.substr(0, room) + (notice ? "\nThe device will reboot. Please wait" : ""));
    EXPECT_LE(messages.shown[0].text.size(), 99u);
    const auto bytes = log_dir.Read("syslog.log");
    const std::string line(bytes.begin(), bytes.end());
    EXPECT_EQ(line.size(), 127u);
    EXPECT_EQ(line.substr(0, 33), "06/01/2007 14:03:09 192.168.0.10 ");
    EXPECT_EQ(line.substr(33, 127 - 33 - 3), printable.substr(0, 127 - 33 - 3));
    EXPECT_EQ(line.substr(124), " \r\n");
  }
}

TEST_F(FirmwareTransferTest, LogLinesCarryTimestampAddressAndText) {
  transfer.LogFirmwareEvent("Firmware upgrade failed, translate 0/0 bytes");
  OperationContext::Instance().SetUpgradeTargetIp(*TextToIpv4("10.1.2.3"));
  transfer.LogFirmwareEvent("");
  EXPECT_EQ(Log(),
            "06/01/2007 14:03:09 192.168.0.10 Firmware upgrade failed, translate 0/0 bytes \r\n"
            "06/01/2007 14:03:09 10.1.2.3  \r\n");
}

TEST_F(FirmwareTransferTest, AnswersFromAnotherAddressAreIgnoredFromAnotherPortTaken) {
  UseImage(1024);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  const Endpoint stranger{*TextToIpv4("192.168.0.66"), 69};
  Ack(0, stranger);
  Deliver(TftpError(0, "spoofed"), stranger);
  EXPECT_EQ(transfer.State(), TransferState::kRequesting);
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(Sent(TFTP_DATA).empty());

  Ack(0, {kSwitch, 69});
  Ack(1, {kSwitch, 40000});
  Ack(2, {kSwitch, 1});
  EXPECT_EQ(Sent(TFTP_DATA).size(), 3u);
  EXPECT_EQ(transfer.LastBlock(), 3);
}

TEST_F(FirmwareTransferTest, MalformedAndForeignDatagramsChangeNothing) {
  UseImage(1024);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  const std::vector<std::vector<std::uint8_t>> junk = {
      {},                  // empty
      {0x00, 0x04},        // an ACK without its block number
      {0x00, 0x04, 0x00},  // one byte short
      {0x00, 0x05, 0x00},  // an ERROR without its code
      {0x00, 0x03, 0x00, 0x00, 'x'},  // DATA: the client takes none
      {0x00, 0x01, 'a', 0x00, 'o', 'c', 't', 'e', 't', 0x00},  // a read request
      {0x00, 0x06, 0x00, 0x00},       // an option acknowledgement
      {0xFF, 0xFF, 0xFF, 0xFF},
  };
  for (const auto& d : junk) Deliver(d);
  EXPECT_EQ(transfer.State(), TransferState::kRequesting);
  EXPECT_EQ(transport.sent.size(), 1u);
  EXPECT_TRUE(messages.shown.empty());

  Ack(0);
  Ack(65535);  // a stray last-block number cannot end a transfer whose last block is not known
  Ack(7);      // nor can an acknowledgement of a block not yet sent move it on
  EXPECT_EQ(transfer.State(), TransferState::kTransferring);
  EXPECT_EQ(Sent(TFTP_DATA).size(), 1u);
  EXPECT_EQ(transfer.InFlightBlock(), 1);
}

TEST_F(FirmwareTransferTest, CancelClosesEverythingAndTheSwitchIsNotTold) {
  UseImage(4096);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  Ack(0);
  Ack(1);
  const std::size_t sent = transport.sent.size();
  transfer.OnCancel();
  EXPECT_EQ(view.ended, DialogEnd::kCancelled);
  EXPECT_FALSE(transport.IsOpen());
  EXPECT_EQ(OperationContext::Instance().UpgradeBytesSent(), 0);
  clock.Advance(Ms(60000));
  Ack(2);
  EXPECT_EQ(transport.sent.size(), sent);
  EXPECT_EQ(view.reboot_watch_starts, 0);
  EXPECT_EQ(view.ends, 1);
}

// The image is delivered once its last block is acknowledged: Cancel in the pause that follows
// changes nothing, and the reboot watch starts when the pause runs out, as without Cancel.
TEST_F(FirmwareTransferTest, CancelDuringThePauseStillStartsTheRebootWatch) {
  UseImage(10);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  AckEachBlock();
  clock.Advance(Ms(2000));
  transfer.OnCancel();
  EXPECT_EQ(view.reboot_watch_starts, 0);
  EXPECT_EQ(transfer.State(), TransferState::kCompleted);
  clock.Advance(Ms(3000));
  EXPECT_EQ(view.reboot_watch_starts, 1);
  EXPECT_EQ(view.ended, DialogEnd::kCompleted);
  clock.Advance(Ms(10000));
  EXPECT_EQ(view.reboot_watch_starts, 1);
  EXPECT_EQ(transfer.State(), TransferState::kClosed);
}

TEST_F(FirmwareTransferTest, ADataBlockThatCannotBeSentIsReportedOnceAndSentAgain) {
  UseImage(1024);
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  transport.send_ok = false;
  Ack(0);
  clock.Advance(Ms(6000));  // two retransmissions fail as well
  EXPECT_EQ(messages.shown, (std::vector<ShownMessage>{{"Firmware upgrade failed.", "Error", MessageIcon::Error}}));
  transport.send_ok = true;
  clock.Advance(Ms(3000));
  ASSERT_EQ(Sent(TFTP_DATA).size(), 1u);
  EXPECT_EQ(test::Block(*Sent(TFTP_DATA)[0]), 1);
  Ack(1);
  EXPECT_EQ(test::Block(transport.sent.back()), 2);
}

TEST_F(FirmwareTransferTest, TheLargestImageEndsWithBlock65535) {
  // 65534 full blocks and 511 bytes: the final block is number 65535.
  const std::size_t size = kMaxFirmwareImageSize;
  ASSERT_EQ(size, 65534u * 512 + 511);
  {
    std::vector<std::uint8_t> bytes(size, 0x5A);
    bytes[size - 1] = 0xA5;
    dir.Write("large.hex", bytes);
  }
  OperationContext::Instance().SetUpgradeFilePath(dir.File("large.hex"));
  ASSERT_EQ(transfer.OpenTftpSocket(), 0);
  Ack(0);
  for (std::uint32_t b = 1; b < 65535 && transfer.State() == TransferState::kTransferring; ++b) {
    Ack(static_cast<std::uint16_t>(b));
    transport.sent.clear();  // keep memory flat
  }
  EXPECT_EQ(transfer.LastBlock(), 65535);
  Ack(65535);
  EXPECT_EQ(transfer.State(), TransferState::kCompleted);
  EXPECT_EQ(view.State(), "Complete...33553919/33553919 bytes");
}

TEST_F(FirmwareTransferTest, AnImageOf65535FullBlocksIsRefusedBeforeAnythingIsSent) {
  const std::string path = dir.File("huge.hex");
  dir.Write("huge.hex", {});
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(65535u * 512)), 0);  // sparse: no disk used
  OperationContext::Instance().SetUpgradeFilePath(path);
  EXPECT_EQ(CheckFirmwareFile(path), FirmwareFileCheck::kTooLarge);
  EXPECT_EQ(transfer.OpenTftpSocket(), -1);
  EXPECT_EQ(messages.Texts(),
            (std::vector<std::string>{"The firmware file is too large: TFTP can send at most 33553919 bytes."}));
  EXPECT_EQ(transport.opens, 0);
  EXPECT_TRUE(transport.sent.empty());
}

TEST(FirmwareFileTest, OnlyAReadableRegularFileIsAFirmwareFile) {
  test::TempConfigDir dir;
  dir.Write("ok.hex", {1, 2, 3});
  std::vector<std::uint8_t> image;
  EXPECT_EQ(ReadFirmwareImage(dir.File("ok.hex"), image), FirmwareFileCheck::kOk);
  EXPECT_EQ(image, (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(CheckFirmwareFile(dir.Path()), FirmwareFileCheck::kNotFound) << "a folder";
  EXPECT_EQ(CheckFirmwareFile(dir.File("none.hex")), FirmwareFileCheck::kNotFound);
  EXPECT_EQ(CheckFirmwareFile(""), FirmwareFileCheck::kNotFound);
}

}  // namespace
}  // namespace sd
