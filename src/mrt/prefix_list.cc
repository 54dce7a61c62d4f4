#include "mrt/prefix_list.h"

#include "mrt/byte_cursor.h"

namespace tarvex::mrt {

std::optional<PrefixList> parsePrefixList(std::span<const std::uint8_t> wire, std::uint16_t afi) {
  const unsigned maxLength = afi == kAfiIpv6 ? 128 : 32;
  ByteCursor cursor(wire);
  std::size_t count = 0;
  while (!cursor.empty()) {
    std::uint8_t length = 0;
    if (!cursor.u8(length) || length > maxLength) return std::nullopt;
    if (!cursor.skip((length + 7u) / 8u)) return std::nullopt;
    ++count;
  }
  return PrefixList(wire, count, afi);
}

}  // namespace tarvex::mrt
