// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Records the IPv4 packets that arrive on one interface of another network namespace (the lab's
// switch side), with the time each was read, through a packet socket opened inside that
// namespace. Only the calling test's own lab is touched. Can save what it saw as a pcap file
// (raw IPv4 link type) for a packet analyser.

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sd::test {

class PacketCapture {
 public:
  using Clock = std::chrono::steady_clock;
  struct Packet {
    Clock::time_point at;
    std::chrono::system_clock::time_point wall;
    std::vector<std::uint8_t> ip;  // from the IPv4 header on
  };

  PacketCapture() = default;
  PacketCapture(const PacketCapture&) = delete;
  PacketCapture& operator=(const PacketCapture&) = delete;
  ~PacketCapture() { Stop(); }

  // Opens the packet socket in namespace `ns` (a name under /run/netns), bound to `interface`
  // there, and starts reading. Only packets that arrive there are kept, not those sent from it.
  bool Start(const std::string& ns, const std::string& interface) {
    int fd = -1;
    // A namespace change holds for the calling thread only: open the socket from a thread of
    // its own, which ends at once; the socket stays in that namespace.
    std::thread opener([&] {
      const int ns_fd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
      if (ns_fd < 0) return;
      if (::setns(ns_fd, CLONE_NEWNET) == 0) {
        fd = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
        const unsigned index = fd >= 0 ? ::if_nametoindex(interface.c_str()) : 0;
        sockaddr_ll a{};
        a.sll_family = AF_PACKET;
        a.sll_protocol = htons(ETH_P_IP);
        a.sll_ifindex = static_cast<int>(index);
        if (fd >= 0 && (index == 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)) {
          ::close(fd);
          fd = -1;
        }
      }
      ::close(ns_fd);
    });
    opener.join();
    if (fd < 0) return false;
    fd_ = fd;
    running_ = true;
    reader_ = std::thread([this] { Read(); });
    return true;
  }

  void Stop() {
    running_ = false;
    if (reader_.joinable()) reader_.join();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  std::vector<Packet> Packets() const {
    std::lock_guard lock(mutex_);
    return packets_;
  }

  // Writes the packets as a pcap file with link type 101 (raw IP).
  static bool SavePcap(const std::vector<Packet>& packets, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const std::uint32_t global[6] = {0xA1B2C3D4, 0x00040002, 0, 0, 65535, 101};
    std::fwrite(global, sizeof global, 1, f);
    for (const auto& p : packets) {
      const auto us = std::chrono::duration_cast<std::chrono::microseconds>(p.wall.time_since_epoch()).count();
      const auto size = static_cast<std::uint32_t>(p.ip.size());
      const std::uint32_t record[4] = {static_cast<std::uint32_t>(us / 1000000), static_cast<std::uint32_t>(us % 1000000),
                                       size, size};
      std::fwrite(record, sizeof record, 1, f);
      std::fwrite(p.ip.data(), 1, p.ip.size(), f);
    }
    return std::fclose(f) == 0;
  }

 private:
  void Read() {
    std::vector<std::uint8_t> buffer(65536);
    while (running_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      sockaddr_ll from{};
      socklen_t from_length = sizeof from;
      const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &from_length);
      if (n <= 0 || from.sll_pkttype == PACKET_OUTGOING) continue;
      std::lock_guard lock(mutex_);
      packets_.push_back({Clock::now(), std::chrono::system_clock::now(),
                          std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + n)});
    }
  }

  int fd_ = -1;
  std::atomic<bool> running_{false};
  std::thread reader_;
  mutable std::mutex mutex_;
  std::vector<Packet> packets_;
};

}  // namespace sd::test
