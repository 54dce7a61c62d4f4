// A bounds-checked reader over a span of wire bytes.
//
// Every read of MRT and BGP data goes through a `ByteCursor`: each operation checks that the
// bytes are there before it touches them and reports a shortfall by returning false, leaving the
// cursor where it was. Multi-byte integers are big-endian (network order). The cursor never owns
// the bytes it walks; they must outlive it. Length-prefixed regions are carved out with `sub`,
// so that a length field can never make a parser read past its own region. The reads are a few
// instructions each and run millions of times per second, so they are always inlined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvex::mrt {

class ByteCursor {
 public:
  ByteCursor() = default;
  explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t remaining() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  /// The bytes not read yet.
  std::span<const std::uint8_t> rest() const { return bytes_; }

  [[nodiscard, gnu::always_inline]] bool u8(std::uint8_t& out) {
    if (bytes_.empty()) return false;
    out = bytes_[0];
    bytes_ = bytes_.subspan(1);
    return true;
  }

  [[nodiscard, gnu::always_inline]] bool u16be(std::uint16_t& out) {
    if (bytes_.size() < 2) return false;
    out = static_cast<std::uint16_t>((unsigned{bytes_[0]} << 8) | unsigned{bytes_[1]});
    bytes_ = bytes_.subspan(2);
    return true;
  }

  [[nodiscard, gnu::always_inline]] bool u32be(std::uint32_t& out) {
    if (bytes_.size() < 4) return false;
    out = (std::uint32_t{bytes_[0]} << 24) | (std::uint32_t{bytes_[1]} << 16) |
          (std::uint32_t{bytes_[2]} << 8) | std::uint32_t{bytes_[3]};
    bytes_ = bytes_.subspan(4);
    return true;
  }

  /// The next `count` bytes, as a view.
  [[nodiscard, gnu::always_inline]] bool bytes(std::size_t count,
                                               std::span<const std::uint8_t>& out) {
    if (bytes_.size() < count) return false;
    out = bytes_.first(count);
    bytes_ = bytes_.subspan(count);
    return true;
  }

  [[nodiscard, gnu::always_inline]] bool skip(std::size_t count) {
    if (bytes_.size() < count) return false;
    bytes_ = bytes_.subspan(count);
    return true;
  }

  /// A cursor over the next `count` bytes; this cursor moves past them.
  [[nodiscard, gnu::always_inline]] bool sub(std::size_t count, ByteCursor& out) {
    std::span<const std::uint8_t> region;
    if (!bytes(count, region)) return false;
    out = ByteCursor(region);
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace tarvex::mrt
