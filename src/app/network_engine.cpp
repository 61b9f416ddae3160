// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/network_engine.h"

#include <array>
#include <future>

#include "devices/device_lists.h"
#include "protocol/ipv4.h"
#include "protocol/packet_header.h"
#include "settings/settings_file.h"

namespace sd {

namespace {
constexpr std::chrono::milliseconds kMembershipLeaveWait(200);
constexpr std::chrono::milliseconds kMembershipJoinWait(300);
}  // namespace

NetworkEngine::NetworkEngine(DeviceLists& lists, IMessages& messages, ITrapIndicator& trap_indicator,
                             IUiThread& ui_thread, TrapStore& trap_store)
    : NetworkEngine(lists, messages, trap_indicator, ui_thread, trap_store, TheSystemInterfaces()) {}

NetworkEngine::NetworkEngine(DeviceLists& lists, IMessages& messages, ITrapIndicator& trap_indicator,
                             IUiThread& ui_thread, TrapStore& trap_store, IInterfaceSource& interfaces)
    : lists_(lists),
      messages_(messages),
      boxes_(messages),
      ui_thread_(ui_thread),
      sockets_(interfaces),
      trap_intake_(lists, trap_store, trap_indicator, boxes_),
      dispatcher_(lists, boxes_,
                  [this](std::span<const std::uint8_t> payload) { trap_intake_.OnTrapReceived(payload); }),
      liveness_timer_(lists, [this](std::uint32_t ip) { return SendPoll(ip) || !PollFailureToTell(); }, boxes_) {
  dispatcher_.NoteInterfacesIn(&sockets_.Switches());
}

NetworkEngine::~NetworkEngine() {
  *alive_ = false;
  igmp_thread_.reset();
  CloseSocketSet();
}

bool NetworkEngine::CreateSocketSet() {
  sockets_.CreateBroadcastSocket(messages_);
  const bool multicast = sockets_.CreateMulticastSocket(messages_);
  sockets_.CreateUnicastSocket(messages_);
  return multicast;
}

void NetworkEngine::StartPollThread() {
  PollThreadHooks hooks;
  hooks.next_target = [this](int index) { return lists_.NotePollSentAndGetIp(index); };
  hooks.interval_seconds = [this] { return lists_.RefreshIntervalSeconds(); };
  hooks.send_poll = [this](std::uint32_t ip) { return SendPoll(ip); };
  hooks.report_failure = [this](std::stop_token stop) {
    if (PollFailureToTell()) ReportPollFailure(stop);
  };
  poll_thread_ = std::make_unique<PollThread>(std::move(hooks));
}

bool NetworkEngine::StartIgmpReportThread() {
  // A report for each card the group is joined on, as the membership stands at that moment.
  igmp_thread_ = sd::StartIgmpReportThread([membership = sockets_.Membership()] { return membership->Get(); });
  return igmp_thread_ != nullptr;
}

void NetworkEngine::ReportPollFailure(std::stop_token stop) {
  // The message belongs to the window's thread; this thread waits until it is closed.
  auto closed = std::make_shared<std::promise<void>>();
  auto done = closed->get_future();
  ui_thread_.Post([this, closed, alive = std::weak_ptr(alive_)] {
    if (auto a = alive.lock(); a && *a) boxes_.Warning("Unable to poll device in Monitor List");
    closed->set_value();
  });
  while (!stop.stop_requested() && done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
  }
}

std::vector<NetworkEngine::SocketWatch> NetworkEngine::SocketWatches() {
  std::vector<SocketWatch> watches;
  for (UdpSocket* s : {sockets_.Broadcast(), sockets_.Multicast(), sockets_.Unicast()}) {
    if (s) watches.push_back({s->Fd(), s});
  }
  return watches;
}

bool NetworkEngine::SendPoll(std::uint32_t ip) {
  if (ip == 0) return true;
  UdpSocket* unicast = sockets_.Unicast();
  if (!unicast) return false;
  std::array<std::uint8_t, kHeaderSize> poll{};
  BuildRequestHeader(poll.data(), CMD_POLL);
  const bool sent = unicast->SendTo(poll, {ip, Settings.agent_port});
  if (sent && traffic_) traffic_->OnPollSent(ip);
  return sent;
}

void NetworkEngine::OnDiscover() {
  lists_.NotePollSentToAll();
  lists_.ClearDiscoveryList();
  discovery_pending_ = true;
  sockets_.LeaveGroupEverywhere();
  std::weak_ptr<bool> alive = alive_;
  ui_thread_.Post([this, alive] {
    if (auto a = alive.lock(); !a || !*a) return;
    // The cards are read again here: a laptop may have docked or undocked since the last time.
    sockets_.JoinGroupEverywhere();
    ui_thread_.Post([this, alive] {
      if (auto a = alive.lock(); !a || !*a) return;
      discovery_pending_ = false;
      SendDiscovery();
    }, kMembershipJoinWait);
  }, kMembershipLeaveWait);
}

void NetworkEngine::SendDiscovery() {
  UdpSocket* broadcast = sockets_.Broadcast();
  if (!broadcast || !broadcast->SetBroadcast(true)) {
    messages_.Error("Set socketopt error");
    return;
  }
  std::array<std::uint8_t, kHeaderSize> request{};
  BuildRequestHeader(request.data(), CMD_DISCOVER);
  // Replies that came in while the membership was renewed belong to no discovery of the user's:
  // rows and entries are emptied together right before the requests go out.
  lists_.ClearDiscoveryList();
  // To 255.255.255.255 out of every card, then to each directed broadcast address asked for
  // (switches behind a router that forwards them), then to the group out of every card.
  bool sent = sockets_.SendBroadcast(request, Settings.agent_port);
  for (std::uint32_t address : directed_broadcasts_) {
    sent = broadcast->SendTo(request, {address, Settings.agent_port}) || sent;
  }
  if (!sent) {
    messages_.Error("Please make sure your computer has an IP address.");
    return;
  }
  if (!sockets_.SendMulticast(request, Settings.agent_port)) {
    messages_.Error("Discovery sento fail");
  }
}

void NetworkEngine::CloseSocketSet() {
  poll_thread_.reset();
  sockets_.CloseSocketSet();
}

}  // namespace sd
