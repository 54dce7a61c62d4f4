#include "mrt/prefix_list.h"

namespace tarvex::mrt {

bool parsePrefixList(std::span<const std::uint8_t> wire, std::uint16_t afi, PrefixList& out) {
  const unsigned maxLength = afi == kAfiIpv6 ? 128 : 32;
  // The hot loop of decoding: each prefix is a length byte and the bytes it asks for. A length is
  // read only from inside `wire`, and a prefix that runs past the end shows as `at` passing it.
  std::size_t at = 0;
  std::size_t count = 0;
  while (at < wire.size()) {
    const unsigned length = wire[at];
    if (length > maxLength) return false;
    at += 1 + (length + 7) / 8;
    ++count;
  }
  if (at != wire.size()) return false;
  out = PrefixList(wire, count, afi);
  return true;
}

}  // namespace tarvex::mrt
