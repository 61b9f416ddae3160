// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The PC's network cards that discovery uses: every interface that is up, can broadcast, is not
// the loopback and has an IPv4 address. A laptop docks and undocks, so callers read the list
// again before each discovery. The list comes through IInterfaceSource so that tests can give
// one of their own.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace sd {

struct NetworkInterface {
  std::string name;         // "eth0"
  unsigned index = 0;       // the system's interface index (never 0)
  std::uint32_t address = 0;  // its first IPv4 address, host order
  std::uint32_t netmask = 0;
  bool operator==(const NetworkInterface&) const = default;
};

class IInterfaceSource {
 public:
  virtual ~IInterfaceSource() = default;
  // The usable cards, in the system's order, each once.
  virtual std::vector<NetworkInterface> List() = 0;
};

// The system's cards (getifaddrs).
class SystemInterfaces final : public IInterfaceSource {
 public:
  std::vector<NetworkInterface> List() override;
};
IInterfaceSource& TheSystemInterfaces();

// The cards a choice leaves: all of them for an empty name, else the one of that name (none when
// it is gone).
std::vector<NetworkInterface> ChooseInterfaces(const std::vector<NetworkInterface>& all, std::string_view name);

// "eth1 (198.18.1.1)": how a card is named to the user.
std::string InterfaceLabel(const NetworkInterface& card);

}  // namespace sd

namespace sd {

// The card each switch's replies came in on, by the switch's MAC text: requests that go to a
// switch by broadcast or to the group leave by that card alone. Read and written from more than
// one thread. Bounded: a flood of invented MAC addresses empties it rather than growing it.
class SwitchInterfaces {
 public:
  void Note(std::string_view mac_text, unsigned interface_index);
  // 0 when no reply of that switch was seen.
  unsigned Find(std::string_view mac_text) const;
  void Clear();

  static constexpr std::size_t kLimit = 1024;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, unsigned, std::less<>> cards_;
};

// A list of interface indexes that one thread writes and another reads.
class SharedInterfaceIndexes {
 public:
  void Set(std::vector<unsigned> indexes);
  std::vector<unsigned> Get() const;

 private:
  mutable std::mutex mutex_;
  std::vector<unsigned> indexes_;
};

}  // namespace sd
