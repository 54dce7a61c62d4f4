// A set of IPv4 and IPv6 address blocks with an overlap test.
//
// IPv4 blocks are held as IPv4-mapped IPv6 blocks (a.b.c.d/n as ::ffff:a.b.c.d/96+n), so an
// IPv6 line such as ::/1 or ::ffff:0:0/96 covers IPv4 addresses too. Blocks are added while the
// CIDR list loads; `seal()` then sorts and merges them once, after which the set is only read
// and a test is a binary search.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tarvex {

using Ipv6Address = std::array<std::uint8_t, 16>;

class IpSet {
 public:
  /// Adds the block `address`/`prefixLength` (0..128); host bits are masked.
  void insert(const Ipv6Address& address, unsigned prefixLength);
  /// Adds the IPv4 block `address`/`prefixLength` (0..32), address in host byte order.
  void insertIpv4(std::uint32_t address, unsigned prefixLength);

  /// Sorts and merges the blocks; call once, after the last insert and before any test.
  void seal();

  /// True when any address of the block `address`/`prefixLength` is in the set.
  bool overlaps(const Ipv6Address& address, unsigned prefixLength) const;
  /// The same for an IPv4 block, address in host byte order, length 0..32.
  bool overlapsIpv4(std::uint32_t address, unsigned prefixLength) const;

  bool empty() const;

 private:
  __extension__ typedef unsigned __int128 Address128;  // an IPv6 address as one number
  struct Range {
    Address128 first;
    Address128 last;
  };
  std::vector<Range> ranges_;
};

}  // namespace tarvex
