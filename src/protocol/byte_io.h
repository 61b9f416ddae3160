// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Bounded access to received and outgoing bytes. Every read checks that the bytes exist, so a
// length field taken from the network can never move a read past the datagram.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace sd {

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t Remaining() const { return bytes_.size() - pos_; }
  std::size_t Position() const { return pos_; }
  bool Has(std::size_t n) const { return n <= Remaining(); }

  // Each read returns nothing (and consumes nothing) when the bytes are not there.
  std::optional<std::uint8_t> U8() {
    if (!Has(1)) return std::nullopt;
    return bytes_[pos_++];
  }
  std::optional<std::uint16_t> U16() {
    if (!Has(2)) return std::nullopt;
    auto v = static_cast<std::uint16_t>((bytes_[pos_] << 8) | bytes_[pos_ + 1]);
    pos_ += 2;
    return v;
  }
  std::optional<std::uint32_t> U32() {
    if (!Has(4)) return std::nullopt;
    std::uint32_t v = (std::uint32_t{bytes_[pos_]} << 24) | (std::uint32_t{bytes_[pos_ + 1]} << 16) |
                      (std::uint32_t{bytes_[pos_ + 2]} << 8) | std::uint32_t{bytes_[pos_ + 3]};
    pos_ += 4;
    return v;
  }
  std::optional<std::span<const std::uint8_t>> Bytes(std::size_t n) {
    if (!Has(n)) return std::nullopt;
    auto s = bytes_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  bool Skip(std::size_t n) {
    if (!Has(n)) return false;
    pos_ += n;
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

// Big-endian stores into a caller's buffer at a fixed offset.
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}
inline std::uint16_t GetU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

}  // namespace sd
