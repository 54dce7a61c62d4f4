#include "criteria/ip_set.h"

#include <algorithm>

namespace tarvex {

namespace {

__extension__ typedef unsigned __int128 U128;

U128 toNumber(const Ipv6Address& address) {
  U128 value = 0;
  for (std::uint8_t byte : address) value = (value << 8) | byte;
  return value;
}

U128 hostMask(unsigned prefixLength) {
  if (prefixLength >= 128) return 0;
  return (~U128{0}) >> prefixLength;
}

U128 mappedIpv4(std::uint32_t address) {
  return (U128{0xffff} << 32) | address;
}

}  // namespace

void IpSet::insert(const Ipv6Address& address, unsigned prefixLength) {
  U128 mask = hostMask(prefixLength);
  U128 first = toNumber(address) & ~mask;
  ranges_.push_back({first, first | mask});
}

void IpSet::insertIpv4(std::uint32_t address, unsigned prefixLength) {
  U128 mask = hostMask(96 + prefixLength);
  U128 first = mappedIpv4(address) & ~mask;
  ranges_.push_back({first, first | mask});
}

void IpSet::seal() {
  std::sort(ranges_.begin(), ranges_.end(),
            [](const Range& a, const Range& b) { return a.first < b.first; });
  std::vector<Range> merged;
  merged.reserve(ranges_.size());
  for (const Range& range : ranges_) {
    if (!merged.empty() &&
        (merged.back().last == ~U128{0} || range.first <= merged.back().last + 1)) {
      merged.back().last = std::max(merged.back().last, range.last);
    } else {
      merged.push_back(range);
    }
  }
  ranges_ = std::move(merged);
}

bool IpSet::overlaps(const Ipv6Address& address, unsigned prefixLength) const {
  U128 mask = hostMask(prefixLength);
  U128 first = toNumber(address) & ~mask;
  U128 last = first | mask;
  // The first range that ends at or after `first` overlaps exactly when it starts by `last`.
  auto it = std::lower_bound(ranges_.begin(), ranges_.end(), first,
                             [](const Range& range, U128 value) { return range.last < value; });
  return it != ranges_.end() && it->first <= last;
}

bool IpSet::overlapsIpv4(std::uint32_t address, unsigned prefixLength) const {
  U128 mask = hostMask(96 + prefixLength);
  U128 first = mappedIpv4(address) & ~mask;
  U128 last = first | mask;
  auto it = std::lower_bound(ranges_.begin(), ranges_.end(), first,
                             [](const Range& range, U128 value) { return range.last < value; });
  return it != ranges_.end() && it->first <= last;
}

bool IpSet::empty() const {
  return ranges_.empty();
}

}  // namespace tarvex
