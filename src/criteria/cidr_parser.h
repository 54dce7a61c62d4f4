// The parser of one CIDR list line: an IPv4 or IPv6 address with an optional prefix length.
//
// Accepted, and nothing else:
//   - white space (space, tab, CR, LF, VT, FF) before and after the block, so CRLF files work;
//   - IPv4 as a dotted quad of four decimal parts 0..255 (a leading zero is still decimal:
//     010 is 10), or as one decimal integer 0..4294967295 (167772160 is 10.0.0.0, 10 is
//     0.0.0.10); a "+" may stand in front of either;
//   - IPv6 in colon-hex, either case, with at most one "::" and an optional dotted-quad tail
//     (::ffff:1.2.3.4 is an IPv6 address); no brackets, no scope id;
//   - then "/" and the prefix length in decimal, 1..32 for IPv4 and 1..128 for IPv6; white
//     space, a "+" and leading zeros may come after the "/", but no white space before it.
//     Without a length the block is a single address (/32 or /128).
// Host bits past the length are allowed (10.1.2.3/8 is 10.0.0.0/8, masked by the set). A "/0",
// a comment ("# x") and an empty or blank line are rejected. The text ends at its first NUL
// byte, as a C string would. Parsing an accepted line allocates nothing; a rejected one yields
// the reason as text, for a warning.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "criteria/ip_set.h"

namespace tarvex {

struct CidrBlock {
  bool isIpv4 = false;
  std::uint32_t ipv4Address = 0;  // host byte order, when isIpv4
  Ipv6Address ipv6Address{};      // when !isIpv4
  unsigned prefixLength = 0;      // 1..32 for IPv4, 1..128 for IPv6; host bits not yet masked
  /// The IPv4 address was written as one integer (10 for 0.0.0.10), a form easily taken for a
  /// shortened dotted quad, so the caller can say how it was read.
  bool ipv4FromInteger = false;
};

/// Parses one CIDR list line. Returns true and fills `block`, or returns false and sets
/// `reason` (for instance "Unexpected character 'x'" or "Value is below minimum of 1").
bool parseCidrBlock(std::string_view text, CidrBlock& block, std::string& reason);

}  // namespace tarvex
