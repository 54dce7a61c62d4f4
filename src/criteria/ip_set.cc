#include "criteria/ip_set.h"

#include <algorithm>
#include <cassert>

namespace tarvex {

namespace {

__extension__ typedef unsigned __int128 U128;

// ::ffff:a.b.c.d/96+n holds a.b.c.d/n: the IPv4-mapped addresses are one run of 2^32.
constexpr U128 kMappedIpv4First = U128{0xffff} << 32;
constexpr U128 kMappedIpv4Last = kMappedIpv4First | 0xffffffffu;
constexpr std::size_t kBuckets = std::size_t{1} << 16;  // one per /16 of the IPv4 space

U128 toNumber(const Ipv6Address& address) {
  U128 value = 0;
  for (std::uint8_t byte : address) value = (value << 8) | byte;
  return value;
}

/// The host bits of a block of `prefixLength` bits (0..128).
U128 hostMask(unsigned prefixLength) {
  if (prefixLength >= 128) return 0;
  return (~U128{0}) >> prefixLength;
}

std::uint32_t ipv4HostMask(unsigned prefixLength) {
  if (prefixLength >= 32) return 0;
  return ~std::uint32_t{0} >> prefixLength;
}

}  // namespace

bool holdsIpv4MappedAddresses(const Ipv6Address& address, unsigned prefixLength) {
  const U128 mask = hostMask(prefixLength);
  const U128 first = toNumber(address) & ~mask;
  const U128 last = first | mask;
  return first <= kMappedIpv4Last && last >= kMappedIpv4First;
}

void IpSet::insert(const Ipv6Address& address, unsigned prefixLength) {
  U128 mask = hostMask(prefixLength);
  U128 first = toNumber(address) & ~mask;
  ranges_.push_back({first, first | mask});
  sealed_ = false;
}

void IpSet::insertIpv4(std::uint32_t address, unsigned prefixLength) {
  std::uint32_t mask = ipv4HostMask(prefixLength);
  U128 first = kMappedIpv4First | (address & ~mask);
  ranges_.push_back({first, first | mask});
  sealed_ = false;
}

void IpSet::seal() {
  std::sort(ranges_.begin(), ranges_.end(),
            [](const Range& a, const Range& b) { return a.first < b.first; });
  // Merge in place: overlapping and adjacent ranges become one, so that the ranges are ordered
  // by their last address as well and a test needs one binary search.
  std::size_t kept = 0;
  for (const Range& range : ranges_) {
    if (kept != 0) {
      Range& previous = ranges_[kept - 1];
      if (previous.last == ~U128{0} || range.first <= previous.last + 1) {
        previous.last = std::max(previous.last, range.last);
        continue;
      }
    }
    ranges_[kept++] = range;
  }
  ranges_.resize(kept);
  ranges_.shrink_to_fit();
  buildIpv4Table();
  sealed_ = true;
}

void IpSet::buildIpv4Table() {
  ipv4Ranges_.clear();
  auto firstMapped =
      std::lower_bound(ranges_.begin(), ranges_.end(), kMappedIpv4First,
                       [](const Range& range, U128 value) { return range.last < value; });
  for (auto it = firstMapped; it != ranges_.end() && it->first <= kMappedIpv4Last; ++it) {
    U128 first = std::max(it->first, kMappedIpv4First);
    U128 last = std::min(it->last, kMappedIpv4Last);
    ipv4Ranges_.push_back({static_cast<std::uint32_t>(first - kMappedIpv4First),
                           static_cast<std::uint32_t>(last - kMappedIpv4First)});
  }
  ipv4Ranges_.shrink_to_fit();

  usedSixteens_.fill(0);
  for (const Ipv4Range& range : ipv4Ranges_) {
    for (std::uint32_t sixteen = range.first >> 16; sixteen <= range.last >> 16; ++sixteen) {
      usedSixteens_[sixteen >> 6] |= std::uint64_t{1} << (sixteen & 63);
    }
  }

  bucketStart_.assign(kBuckets + 1, static_cast<std::uint32_t>(ipv4Ranges_.size()));
  std::size_t index = 0;
  for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) {
    std::uint32_t bucketFirst = static_cast<std::uint32_t>(bucket << 16);
    while (index < ipv4Ranges_.size() && ipv4Ranges_[index].last < bucketFirst) ++index;
    bucketStart_[bucket] = static_cast<std::uint32_t>(index);
  }
}

bool IpSet::overlaps(const Ipv6Address& address, unsigned prefixLength) const {
  assert(sealed_);
  U128 mask = hostMask(prefixLength);
  U128 first = toNumber(address) & ~mask;
  U128 last = first | mask;
  // The first range that ends at or after `first` overlaps exactly when it starts by `last`.
  auto it = std::lower_bound(ranges_.begin(), ranges_.end(), first,
                             [](const Range& range, U128 value) { return range.last < value; });
  return it != ranges_.end() && it->first <= last;
}

bool IpSet::overlapsIpv4Ranges(std::uint32_t address, unsigned prefixLength) const {
  assert(sealed_);
  if (ipv4Ranges_.empty()) return false;
  std::uint32_t mask = ipv4HostMask(prefixLength);
  std::uint32_t first = address & ~mask;
  std::uint32_t last = first | mask;
  // Every range before bucketStart_[b] ends before the bucket of `first`, and the range at
  // bucketStart_[b + 1] ends after it, so the answer of the search lies between the two.
  std::size_t bucket = first >> 16;
  auto begin = ipv4Ranges_.begin() + bucketStart_[bucket];
  auto end = ipv4Ranges_.begin() + bucketStart_[bucket + 1];
  auto it = std::lower_bound(begin, end, first, [](const Ipv4Range& range, std::uint32_t value) {
    return range.last < value;
  });
  return it != ipv4Ranges_.end() && it->first <= last;
}

}  // namespace tarvex
