// Fuzz target: the CIDR list line parser on arbitrary bytes. Beyond memory safety (the build
// runs under AddressSanitizer and UndefinedBehaviorSanitizer) it checks what an accepted line
// promises: a length within the family, a block that the set then overlaps, and the same block
// again when the line is written back in canonical form and parsed once more.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "criteria/cidr_parser.h"
#include "criteria/ip_set.h"

namespace {

std::string canonicalText(const tarvex::CidrBlock& block) {
  char text[INET6_ADDRSTRLEN];
  if (block.isIpv4) {
    std::uint32_t network = htonl(block.ipv4Address);
    inet_ntop(AF_INET, &network, text, sizeof text);
  } else {
    inet_ntop(AF_INET6, block.ipv6Address.data(), text, sizeof text);
  }
  return std::string(text) + "/" + std::to_string(block.prefixLength);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  tarvex::CidrBlock block;
  std::string reason;
  if (!tarvex::parseCidrBlock(line, block, reason)) {
    if (reason.empty()) std::abort();
    for (char c : reason) {
      if (c == '\n' || c == '\r') std::abort();  // a warning must stay on one line
    }
    return 0;
  }
  const unsigned maximum = block.isIpv4 ? 32 : 128;
  if (block.prefixLength < 1 || block.prefixLength > maximum) std::abort();

  tarvex::IpSet set;
  if (block.isIpv4) {
    set.insertIpv4(block.ipv4Address, block.prefixLength);
  } else {
    set.insert(block.ipv6Address, block.prefixLength);
  }
  set.seal();
  bool overlaps = block.isIpv4 ? set.overlapsIpv4(block.ipv4Address, block.prefixLength)
                               : set.overlaps(block.ipv6Address, block.prefixLength);
  if (!overlaps) std::abort();

  tarvex::CidrBlock again;
  if (!tarvex::parseCidrBlock(canonicalText(block), again, reason)) std::abort();
  // inet_ntop writes an IPv4-mapped address with a dotted tail; it stays an IPv6 block.
  if (again.isIpv4 != block.isIpv4 || again.prefixLength != block.prefixLength ||
      again.ipv4Address != block.ipv4Address || again.ipv6Address != block.ipv6Address) {
    std::abort();
  }
  return 0;
}
