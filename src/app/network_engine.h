// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The network side of the main dialog: the three protocol sockets, the reply dispatcher, the
// trap intake, the liveness timer, the poll thread and the IGMP report thread, wired to the
// device lists. The front end watches the sockets' descriptors, calls
// ReceiveDatagram when one is readable, and calls OnLivenessTimer every 5 seconds; nothing here
// blocks the user-interface thread on the network.

#include <cstdint>
#include <memory>
#include <span>
#include <stop_token>
#include <vector>

#include "app/liveness_timer.h"
#include "app/trap_intake.h"
#include "common/messages.h"
#include "common/one_box_per_text.h"
#include "common/trap_indicator.h"
#include "common/ui_thread.h"
#include "net/igmp.h"
#include "net/poll_thread.h"
#include "net/reply_dispatcher.h"
#include "net/socket_set.h"
#include "net/traffic_observer.h"
#include "settings/trap_store.h"

namespace sd {

class DeviceLists;

class NetworkEngine {
 public:
  NetworkEngine(DeviceLists& lists, IMessages& messages, ITrapIndicator& trap_indicator,
                IUiThread& ui_thread, TrapStore& trap_store);
  // With the cards from `interfaces` instead of the system's (tests).
  NetworkEngine(DeviceLists& lists, IMessages& messages, ITrapIndicator& trap_indicator,
                IUiThread& ui_thread, TrapStore& trap_store, IInterfaceSource& interfaces);
  // Stops the worker threads and closes the sockets.
  ~NetworkEngine();
  NetworkEngine(const NetworkEngine&) = delete;
  NetworkEngine& operator=(const NetworkEngine&) = delete;

  // Opens the broadcast, multicast and unicast sockets in that order, each telling the user
  // when it fails; false when the multicast socket failed, which the program cannot run without.
  bool CreateSocketSet();
  void StartPollThread();
  // False when IGMP membership reports cannot be sent (the raw socket needs a privilege).
  bool StartIgmpReportThread();

  // The sockets the front end watches, with the one to read when its descriptor is readable.
  struct SocketWatch {
    int fd;
    UdpSocket* socket;
  };
  std::vector<SocketWatch> SocketWatches();
  // Reads and dispatches one datagram; false when none was waiting.
  bool ReceiveDatagram(UdpSocket& socket) { return dispatcher_.ReceiveDatagram(socket); }

  // "Discover": counts a request against every monitored device, empties the Discovery List,
  // renews the group membership on every card (leave, 200 ms, read the cards, join, 300 ms, run
  // as posted steps so the window stays live) and sends CMD_DISCOVER to the broadcast address
  // out of each card and then to the group out of each card.
  void OnDiscover();
  // Directed broadcast addresses (host order) each discovery also goes to, after 255.255.255.255.
  void SetDirectedBroadcasts(std::vector<std::uint32_t> addresses) { directed_broadcasts_ = std::move(addresses); }
  // True while a discovery waits for its membership renewal.
  bool DiscoveryPending() const { return discovery_pending_; }

  void OnLivenessTimer() { liveness_timer_.OnLivenessTimer(); }
  void OnTrapReceived(std::span<const std::uint8_t> payload) { trap_intake_.OnTrapReceived(payload); }

  // Sends one CMD_POLL from the unicast socket; false when it could not be sent. A switch
  // without an address (0.0.0.0, no DHCP lease) cannot be reached: nothing is sent, and its
  // silence is judged like any other's.
  bool SendPoll(std::uint32_t ip);

  // Stops the poll thread (it sends on the unicast socket), then closes the three sockets.
  void CloseSocketSet();

  // Told of every poll sent and every reply filed into the Monitor List (nullptr: nobody). Set
  // before the poll thread starts.
  void SetTrafficObserver(ITrafficObserver* observer) {
    traffic_ = observer;
    dispatcher_.SetTrafficObserver(observer);
  }

  SocketSet& Sockets() { return sockets_; }
  ReplyDispatcher& Dispatcher() { return dispatcher_; }

 private:
  void SendDiscovery();
  void ReportPollFailure(std::stop_token stop);
  // A poll or resend failed: a unicast socket that could not be opened was reported once at
  // start-up, so only a failed send is told.
  bool PollFailureToTell() { return sockets_.Unicast() != nullptr; }

  DeviceLists& lists_;
  IMessages& messages_;
  // What datagrams, the timer and the poll thread report: one box per text at a time.
  OneBoxPerText boxes_;
  IUiThread& ui_thread_;
  SocketSet sockets_;
  TrapIntake trap_intake_;
  ReplyDispatcher dispatcher_;
  LivenessTimer liveness_timer_;
  bool discovery_pending_ = false;
  std::vector<std::uint32_t> directed_broadcasts_;
  ITrafficObserver* traffic_ = nullptr;
  std::unique_ptr<PollThread> poll_thread_;
  std::unique_ptr<IgmpReportThread> igmp_thread_;
  // Posted steps check this so that none runs after the engine is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace sd
