// A set of IPv4 and IPv6 address blocks with an overlap test: the CIDR list in lookup form.
//
// IPv4 blocks are held as IPv4-mapped IPv6 blocks (a.b.c.d/n as ::ffff:a.b.c.d/96+n), so an
// IPv6 line such as ::/1 or ::ffff:0:0/96 covers IPv4 addresses too, while ::10.0.0.0/104 (not
// mapped) covers none. Host bits past a block's length are ignored on insertion.
//
// Life of a set: blocks are inserted while the CIDR list loads, then `seal()` sorts and merges
// them once; from then on the set is only read and a test is a binary search. IPv4 tests, the
// hot path of a scan, use a second, compact table of the merged ranges as 32-bit numbers with an
// index by the top 16 bits, so a test touches a few cache lines even for a million blocks, and
// a bitmap of the /16s that hold listed addresses, so most tests of a short list touch one.
// The set owns all its memory; it is copyable but is normally built once and shared by pointer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarvex {

/// An IPv6 address in network byte order.
using Ipv6Address = std::array<std::uint8_t, 16>;

/// True when the IPv6 block `address`/`prefixLength` holds an IPv4-mapped address
/// (::ffff:0:0/96), the form in which the set holds IPv4 blocks: only such a block can ever
/// match an IPv4 prefix.
bool holdsIpv4MappedAddresses(const Ipv6Address& address, unsigned prefixLength);

class IpSet {
 public:
  /// Adds the IPv6 block `address`/`prefixLength`; lengths above 128 count as 128.
  void insert(const Ipv6Address& address, unsigned prefixLength);
  /// Adds the IPv4 block `address`/`prefixLength`, address in host byte order (10.0.0.0 is
  /// 0x0A000000); lengths above 32 count as 32.
  void insertIpv4(std::uint32_t address, unsigned prefixLength);

  /// Sorts and merges the blocks and builds the IPv4 table. Call after the last insert and
  /// before the first test; inserting again needs another `seal()`.
  void seal();

  /// True when any address of the block `address`/`prefixLength` is in the set: the block lies
  /// inside a listed one, equals one or contains one. Lengths above 128 count as 128.
  bool overlaps(const Ipv6Address& address, unsigned prefixLength) const;
  /// The same for an IPv4 block (host byte order), tested as its IPv4-mapped block.
  /// Lengths above 32 count as 32.
  bool overlapsIpv4(std::uint32_t address, unsigned prefixLength) const {
    // Most tests of a selective list end here: a block of /16 or longer lies in one /16, and
    // most /16s hold no listed address.
    if (prefixLength >= 16 && !sixteenUsed(address >> 16)) return false;
    return overlapsIpv4Ranges(address, prefixLength);
  }

  bool empty() const { return ranges_.empty(); }

 private:
  __extension__ typedef unsigned __int128 Address128;  // an IPv6 address as one number

  struct Range {  // first and last address, both included
    Address128 first;
    Address128 last;
  };
  struct Ipv4Range {
    std::uint32_t first;
    std::uint32_t last;
  };

  void buildIpv4Table();
  bool overlapsIpv4Ranges(std::uint32_t address, unsigned prefixLength) const;
  bool sixteenUsed(std::uint32_t sixteen) const {
    return ((usedSixteens_[sixteen >> 6] >> (sixteen & 63)) & 1) != 0;
  }

  std::vector<Range> ranges_;          // after seal(): sorted, disjoint and not adjacent
  std::vector<Ipv4Range> ipv4Ranges_;  // ranges_ cut to the IPv4-mapped addresses, as IPv4
  // bucketStart_[b]: index of the first IPv4 range that ends at or after b << 16 (65537 entries).
  std::vector<std::uint32_t> bucketStart_;
  // Bit b: some IPv4 range holds an address of the /16 b (b << 16 to b << 16 | 0xffff).
  std::array<std::uint64_t, 1024> usedSixteens_{};
  bool sealed_ = true;  // an empty set is ready for tests
};

}  // namespace tarvex
