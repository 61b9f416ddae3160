// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/trap_store.h"

#include <climits>
#include <cstring>

#include "protocol/device_record.h"

namespace sd {

namespace {

// The longest prefix of at most `limit` bytes that does not end inside a UTF-8 sequence.
std::string_view CutAtCharacter(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t n = limit;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

}  // namespace

void TrapStore::Clear() {
  std::memset(slots_.data(), 0, slots_.size() * sizeof(TrapRecord));
  oldest_ = 0;
  trap_count_ = 0;
}

std::size_t TrapStore::StoredCount() const {
  const auto count = static_cast<std::size_t>(trap_count_);
  return count < kTrapsKept ? count : kTrapsKept;
}

void TrapStore::Add(std::string_view time_text, std::string_view address_text,
                    std::string_view event_text) {
  std::size_t slot = static_cast<std::size_t>(trap_count_);
  if (slot >= kTrapsKept) {
    // The oldest trap's record takes the new one, which becomes slot 1498; the others move
    // down one slot.
    slot = oldest_;
    oldest_ = (oldest_ + 1) % kTrapsKept;
    slots_[slot] = TrapRecord{};
  }
  TrapRecord& r = slots_[slot];
  SetText(r.time_text, time_text);
  SetText(r.address_text, address_text);
  SetText(r.event_text, CutAtCharacter(event_text, sizeof r.event_text - 1));
  r.image = TRAP_IMAGE_UNREAD;
  if (trap_count_ < INT_MAX) ++trap_count_;
}

}  // namespace sd
