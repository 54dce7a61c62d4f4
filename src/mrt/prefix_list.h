// Prefix lists in the NLRI encoding of RFC 4271 section 4.3 (withdrawn routes, NLRI, and the
// prefixes of MP_REACH_NLRI / MP_UNREACH_NLRI, RFC 4760):
//
//   +---------------------------+
//   |   Length (1 octet, bits)  |
//   +---------------------------+
//   |   Prefix (ceil(Length/8) octets, the significant part of the address)
//   +---------------------------+
//
// A `PrefixList` is a view of such a run inside the record buffer, checked once when the message
// is decoded (`parsePrefixList`) and decoded again, cheaply, each time it is walked. It owns
// nothing and is valid as long as the record it points into. There is no cap on the count.
// Only IPv4 prefixes are ever walked (the search is IPv4): `ipv4()` is that walk, for lists of
// the IPv4 family; an IPv6 list is kept as its checked wire bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tarvex::mrt {

inline constexpr std::uint16_t kAfiIpv4 = 1;
inline constexpr std::uint16_t kAfiIpv6 = 2;

/// One IPv4 prefix as it stands on the wire; host bits past the length are kept.
struct Ipv4Prefix {
  std::uint32_t address = 0;  // host byte order: 10.0.0.0 is 0x0A000000
  std::uint8_t length = 0;    // 0..32
};

class PrefixList {
 public:
  PrefixList() = default;
  /// `wire` must hold exactly `count` well-formed prefixes of the family `afi`; use
  /// `parsePrefixList` to make one from unchecked bytes.
  PrefixList(std::span<const std::uint8_t> wire, std::size_t count, std::uint16_t afi)
      : wire_(wire), count_(count), afi_(afi) {}

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  std::uint16_t afi() const { return afi_; }
  std::span<const std::uint8_t> wire() const { return wire_; }

  /// Walks an IPv4 list in wire order. The list was checked when it was made, so the iterator
  /// reads within it without further tests.
  class Ipv4Iterator {
   public:
    Ipv4Iterator() = default;
    explicit Ipv4Iterator(std::span<const std::uint8_t> rest) : rest_(rest) { load(); }
    const Ipv4Prefix& operator*() const { return current_; }
    const Ipv4Prefix* operator->() const { return &current_; }
    Ipv4Iterator& operator++() {
      rest_ = rest_.subspan(1 + (current_.length + 7u) / 8u);
      load();
      return *this;
    }
    bool operator==(const Ipv4Iterator& other) const { return rest_.size() == other.rest_.size(); }

   private:
    void load() {
      if (rest_.empty()) return;
      current_.length = rest_[0];
      // The octets that the length asks for (four at most), zero-filled to the address.
      std::uint32_t address = 0;
      const unsigned octets = (current_.length + 7u) / 8u;
      switch (octets < 4 ? octets : 4) {
        case 4:
          address |= rest_[4];
          [[fallthrough]];
        case 3:
          address |= std::uint32_t{rest_[3]} << 8;
          [[fallthrough]];
        case 2:
          address |= std::uint32_t{rest_[2]} << 16;
          [[fallthrough]];
        case 1:
          address |= std::uint32_t{rest_[1]} << 24;
          break;
        default:
          break;
      }
      current_.address = address;
    }
    std::span<const std::uint8_t> rest_;
    Ipv4Prefix current_;
  };

  /// The prefixes of an IPv4 list (`afi()` is `kAfiIpv4`), as a range for a range-for.
  class Ipv4View {
   public:
    explicit Ipv4View(std::span<const std::uint8_t> wire) : wire_(wire) {}
    Ipv4Iterator begin() const { return Ipv4Iterator(wire_); }
    Ipv4Iterator end() const { return Ipv4Iterator(wire_.last(0)); }

   private:
    std::span<const std::uint8_t> wire_;
  };
  Ipv4View ipv4() const { return Ipv4View(wire_); }

 private:
  std::span<const std::uint8_t> wire_;
  std::size_t count_ = 0;
  std::uint16_t afi_ = kAfiIpv4;
};

/// Checks that `wire` is a whole number of prefixes of `afi` (1: lengths up to 32, 2: up to 128),
/// counts them and makes `out` the list. False, with `out` untouched, when a length is too large
/// for the family or a prefix runs past the end: the message that holds the list is malformed.
bool parsePrefixList(std::span<const std::uint8_t> wire, std::uint16_t afi, PrefixList& out);

}  // namespace tarvex::mrt
