// The decoded view of one BGP4MP UPDATE message: what the update walk, the match rules and the
// report line read.
//
// A `BgpUpdate` holds spans into the record buffer of the `MrtReader` that produced it and is
// valid only until the next record is read. Prefix lists are kept as their validated wire bytes
// and decoded while they are iterated, so decoding a message allocates nothing. Every list and
// the AS path were checked when the message was decoded: a message that reaches the walk is
// well formed throughout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarvex::mrt {

inline constexpr std::uint16_t kMrtTypeBgp4mp = 16;
inline constexpr std::uint16_t kMrtTypeBgp4mpEt = 17;
inline constexpr std::uint16_t kSubtypeMessage = 1;
inline constexpr std::uint16_t kSubtypeMessageAs4 = 4;
inline constexpr std::uint8_t kBgpMessageUpdate = 2;

inline constexpr std::uint16_t kAfiIpv4 = 1;
inline constexpr std::uint16_t kAfiIpv6 = 2;
inline constexpr std::uint8_t kSafiUnicast = 1;
inline constexpr std::uint8_t kSafiMulticast = 2;
inline constexpr std::uint8_t kSafiUnicastMulticast = 3;

inline constexpr std::uint8_t kAttrMpReachNlri = 14;

/// Bit of attribute type `type` (1..32) in `BgpUpdate::attributeFlags`.
constexpr std::uint32_t attributeBit(unsigned type) {
  return std::uint32_t{1} << (type - 1);
}

/// One IPv4 prefix as it stands on the wire; host bits past the length are kept.
struct Ipv4Prefix {
  std::uint32_t address = 0;  // host byte order: 10.0.0.0 is 0x0A000000
  std::uint8_t length = 0;    // 0..32
};

/// A run of prefixes in the RFC 4271 NLRI encoding (a length byte, then the significant
/// bytes of the address), validated when the message was decoded.
class PrefixList {
 public:
  PrefixList() = default;
  /// `wire` must hold exactly `count` well-formed prefixes of the family `afi`.
  PrefixList(std::span<const std::uint8_t> wire, std::size_t count, std::uint16_t afi)
      : wire_(wire), count_(count), afi_(afi) {}

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  std::uint16_t afi() const { return afi_; }
  std::span<const std::uint8_t> wire() const { return wire_; }

  /// Walks an IPv4 list in wire order.
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
      std::size_t octets = (current_.length + 7u) / 8u;
      std::uint32_t address = 0;
      for (std::size_t i = 0; i < 4; ++i) {
        address <<= 8;
        if (i < octets) address |= rest_[1 + i];
      }
      current_.address = address;
    }
    std::span<const std::uint8_t> rest_;
    Ipv4Prefix current_;
  };

  /// Iteration is meaningful for IPv4 lists only.
  Ipv4Iterator begin() const { return Ipv4Iterator(wire_); }
  Ipv4Iterator end() const { return Ipv4Iterator(wire_.last(0)); }

 private:
  std::span<const std::uint8_t> wire_;
  std::size_t count_ = 0;
  std::uint16_t afi_ = kAfiIpv4;
};

class AsPath;

/// One decoded BGP4MP or BGP4MP_ET UPDATE message.
struct BgpUpdate {
  std::int64_t time = 0;           // seconds since the Unix epoch, from the MRT header
  std::uint32_t microseconds = 0;  // BGP4MP_ET only
  std::uint16_t type = 0;          // MRT type
  std::uint16_t subtype = 0;       // MRT subtype
  std::uint8_t bgpType = 0;        // BGP message type
  std::uint32_t peerAs = 0;
  std::uint32_t localAs = 0;
  std::uint16_t addressFamily = 0;              // AFI of the two session addresses
  std::array<std::uint8_t, 16> peerAddress{};   // IPv4 in the first four bytes
  std::array<std::uint8_t, 16> localAddress{};  // IPv4 in the first four bytes

  PrefixList withdrawn;  // IPv4 withdrawn routes of the message itself
  PrefixList announced;  // IPv4 NLRI of the message itself

  bool hasAttributes = false;        // the message carried a path attribute block
  std::uint32_t attributeFlags = 0;  // attributeBit(type) for every type 1..32 present

  /// MP_UNREACH_NLRI and MP_REACH_NLRI lists, indexed [afi][safi] for AFI 1..2, SAFI 1..3.
  std::array<std::array<PrefixList, 4>, 3> mpWithdrawn{};
  std::array<std::array<PrefixList, 4>, 3> mpAnnounced{};

  /// The AS path, or null when the message carries no AS_PATH attribute.
  const AsPath* asPath = nullptr;
};

}  // namespace tarvex::mrt
