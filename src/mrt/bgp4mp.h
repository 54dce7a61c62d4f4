// Decodes BGP4MP and BGP4MP_ET records that carry BGP UPDATE messages (RFC 6396 sections 4.4
// and 4.5, RFC 4271 section 4.3).
//
//   [BGP4MP_ET only: microseconds (4)]
//   peer AS (2 or 4) | local AS (2 or 4) | interface index (2) | AFI (2)
//   peer address (4 or 16) | local address (4 or 16)
//   BGP message: marker (16 x 0xff) | length (2) | type (1) | body
//   UPDATE body: withdrawn length (2) | withdrawn routes | attribute length (2) | attributes | NLRI
//
// Selected are MRT types 16 (BGP4MP) and 17 (BGP4MP_ET, the same with a microsecond field),
// subtypes 1 (2-byte ASNs) and 4 (4-byte ASNs), and BGP message type 2 (UPDATE); everything else
// is `kNotSelected`. A selected record that breaks the layout or holds a malformed prefix list or
// AS_PATH is `kMalformed`. The legacy withdrawn routes and NLRI are IPv4 whatever the session's
// family: collectors record IPv4 routes learnt over IPv6 sessions.
//
// The decoder owns the `AsPath` that decoded updates point to; a decoded update is valid until
// the next `decode` call and as long as the record bytes it was decoded from.
#pragma once

#include <array>
#include <cstdint>

#include "mrt/as_path.h"
#include "mrt/attributes.h"
#include "mrt/bgp_update.h"
#include "mrt/byte_cursor.h"
#include "mrt/record_batcher.h"

namespace tarvex::mrt {

enum class DecodeResult {
  kUpdate,       // `update` holds the message
  kNotSelected,  // not a BGP4MP UPDATE: passed over without a word
  kMalformed,    // a BGP4MP UPDATE record that breaks its layout: skipped and counted
};

/// What precedes the BGP message body in a BGP4MP message record: the session header and the
/// BGP header. The subtypes MESSAGE and MESSAGE_AS4 share this layout with LOCAL and ADD-PATH
/// ones, which are not searched but are looked at to say what a file held.
struct Bgp4mpMessageHeader {
  std::uint32_t microseconds = 0;  // BGP4MP_ET only
  std::uint32_t peerAs = 0;
  std::uint32_t localAs = 0;
  std::uint16_t afi = 0;
  std::uint16_t messageLength = 0;  // of the BGP message, its 19-byte header included
  std::uint8_t messageType = 0;
};

/// Reads the header of `record`, whose AS numbers are `asnWidth` (2 or 4) bytes wide, from
/// `body` (a cursor over the record's body), the session's addresses into `peerAddress` and
/// `localAddress`; leaves `body` at the BGP message body. False when the record ends early, its
/// AFI is neither IPv4 nor IPv6 or the BGP marker is not all ones.
bool readBgp4mpMessageHeader(const MrtRecord& record, unsigned asnWidth, ByteCursor& body,
                             Bgp4mpMessageHeader& header, std::array<std::uint8_t, 16>& peerAddress,
                             std::array<std::uint8_t, 16>& localAddress);

class UpdateDecoder {
 public:
  /// Decodes `record` into `update`. Unless the result is `kUpdate`, `update` may have been
  /// partly overwritten and must not be used.
  DecodeResult decode(const MrtRecord& record, BgpUpdate& update);

 private:
  AsPath asPath_;
  PathAttributes attributes_;  // scratch space, reused from message to message
};

}  // namespace tarvex::mrt
