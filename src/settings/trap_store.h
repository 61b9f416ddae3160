// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The traps received since start-up (or since the trap window's "Clear all"), as the trap window
// lists them: 1500 slots of 300 bytes, oldest first. Only the first 1499 slots are ever filled,
// so the last one stays zero and ends every listing.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <vector>

namespace sd {

struct TrapRecord {
  char time_text[20];
  char address_text[20];
  char event_text[256];
  std::int32_t image;  // 0: the warning image, unread; -1: no image, read
};
static_assert(std::is_trivially_copyable_v<TrapRecord>);
static_assert(sizeof(TrapRecord) == 300);
static_assert(offsetof(TrapRecord, time_text) == 0);
static_assert(offsetof(TrapRecord, address_text) == 20);
static_assert(offsetof(TrapRecord, event_text) == 40);
static_assert(offsetof(TrapRecord, image) == 296);

inline constexpr std::size_t kTrapSlots = 1500;
inline constexpr std::size_t kTrapsKept = kTrapSlots - 1;
inline constexpr std::int32_t TRAP_IMAGE_UNREAD = 0;
inline constexpr std::int32_t TRAP_IMAGE_READ = -1;

class TrapStore {
 public:
  TrapStore() : slots_(kTrapSlots) { Clear(); }

  // Zeroes every slot and the count.
  void Clear();

  // Stores a trap as unread in the next slot; when 1499 are stored, the oldest is dropped and
  // the others move down one slot. The texts are cut to their fields (the event text to 255
  // bytes, never inside a UTF-8 sequence).
  void Add(std::string_view time_text, std::string_view address_text, std::string_view event_text);

  // Traps stored since the last Clear; it keeps counting past the slots.
  int trap_count() const { return trap_count_; }
  // Slots in use: 0 .. StoredCount() - 1.
  std::size_t StoredCount() const;

  const TrapRecord& Slot(std::size_t index) const { return slots_.at(Physical(index)); }
  // The trap window marks a trap read by clearing its image.
  void SetImage(std::size_t index, std::int32_t image) { slots_.at(Physical(index)).image = image; }

 private:
  // The first 1499 records are a ring that starts at the oldest trap, so that dropping the
  // oldest one moves nothing; the last record stays zero.
  std::size_t Physical(std::size_t index) const {
    return index < kTrapsKept ? (oldest_ + index) % kTrapsKept : index;
  }

  std::vector<TrapRecord> slots_;
  std::size_t oldest_ = 0;
  int trap_count_ = 0;
};

}  // namespace sd
